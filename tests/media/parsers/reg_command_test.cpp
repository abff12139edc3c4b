#include "media/parsers/reg_command.h"

#include "platform/win/registry.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The registration of a private decoder: import its settings file, later
// delete its key. Runs against a registry file of its own.
TEST(RunRegCommand, ImportsAndDeletesKeys)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    qputenv("KESTROVA_REGISTRY", dir.filePath("registry.reg").toUtf8());
    ASSERT_EQ(RegistryStore::instance().filePath(), dir.filePath("registry.reg"));

    const QString settings = dir.filePath("décodeur.reg");
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_CURRENT_USER\\Software\\LBV]\r\n\"Mode\"=dword:00000002\r\n");
    file.close();

    EXPECT_TRUE(RunRegCommand("import \"" + settings + "\"", true));
    EXPECT_EQ(RegistryStore::instance().readDword("Software\\LBV", "Mode"), 2u);
    EXPECT_TRUE(RunRegCommand("delete HKCU\\Software\\LBV /F", true));
    EXPECT_FALSE(RegistryStore::instance().keyExists("Software\\LBV"));

    // Failures are no success: a missing file, a missing key, an unknown verb.
    EXPECT_FALSE(RunRegCommand("import \"" + dir.filePath("missing.reg") + "\"", true));
    EXPECT_FALSE(RunRegCommand("delete HKCU\\Software\\LBV /F", false));
    EXPECT_FALSE(RunRegCommand("query HKCU\\Software", true));
}

} // namespace
