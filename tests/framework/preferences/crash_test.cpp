#include "framework/preferences/ini_preferences.h"
#include "prefs_test_support.h"
#include "prefs_writer.h"
#include "tests/common/param_name.h"

#include <QDir>
#include <QProcess>

namespace {

struct CrashCase
{
    TSavePreferences store;
    const char* stage; // where the writer is killed in its save
};

void PrintTo(const CrashCase& c, std::ostream* os)
{
    *os << (c.store == spRegistre ? "registry" : "ini") << " store killed when " << c.stage;
}

class Crash : public PrefsTest, public testing::WithParamInterface<CrashCase>
{
protected:
    // Runs the writer until its save of generation 3 reaches the stage, and
    // kills it there: in the middle of a save, every time.
    void RunAndKill()
    {
        QProcess writer;
        writer.start(QStringLiteral(PREFS_WRITER), {GetParam().store == spPortable ? "ini" : "reg", dir.path(),
                                                    RegistryPath(), "3", GetParam().stage});
        ASSERT_TRUE(writer.waitForStarted());
        QByteArray out;
        while (!out.contains("paused\n")) {
            ASSERT_TRUE(writer.waitForReadyRead(30000)) << "writer: " << writer.readAllStandardError().toStdString();
            out += writer.readAllStandardOutput();
        }
        EXPECT_TRUE(out.contains("saved 2\n"));
        EXPECT_FALSE(out.contains("saved 3\n"));
        writer.kill(); // SIGKILL: no destructor runs
        ASSERT_TRUE(writer.waitForFinished());
        EXPECT_EQ(writer.exitStatus(), QProcess::CrashExit);
    }
};

TEST_P(Crash, SettingsSurviveAWriterKilledWhileSaving)
{
    RunAndKill();
    RegistryStore reread(RegistryPath());
    EXPECT_EQ(reread.takeLoadMessage(), QString());
    TMorvekPreferences gp(nullptr, &reread);
    gp.SetProgramFolder(dir.path());
    gp.SetTitre(QStringLiteral("Kestrova"));
    gp.DoShow();
    ASSERT_EQ(gp.Mode(), GetParam().store);
    if (const auto* ini = dynamic_cast<const TIniPreferencesMan*>(&gp.Store())) {
        EXPECT_EQ(ini->LoadError(), QString());
    }
    EXPECT_EQ(ReadGeneration(gp), 2) << "the last whole save is kept";

    // A killed save leaves its temporary beside the file where the file
    // system has no unnamed temporary files (and here one as it would be):
    // the next save takes them away, once they are old enough to be no save
    // in progress. What is young or not of the same name stays.
    const QString saved = QFileInfo(GetParam().store == spPortable ? gp.IniFileName() : RegistryPath()).fileName();
    WriteBytes(dir.filePath(saved + QStringLiteral(".QsFtmp")), "half a save");
    const QStringList left = QDir(dir.path()).entryList({saved + QStringLiteral(".*")}, QDir::Files);
    ASSERT_LE(left.size(), 2) << left.join(u' ').toStdString();
    for (const QString& name : left) {
        QFile aged(dir.filePath(name));
        ASSERT_TRUE(aged.open(QIODevice::ReadWrite));
        ASSERT_TRUE(aged.setFileTime(QDateTime::currentDateTime().addSecs(-61), QFileDevice::FileModificationTime));
    }
    const QStringList kept = {saved + QStringLiteral(".Young1"), saved + QStringLiteral(".bak"),
                              saved + QStringLiteral(".Seven77"), QStringLiteral("other.ini.Abcdef")};
    for (const QString& name : kept) {
        WriteBytes(dir.filePath(name), "not the program's");
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        // Only the young one is young.
        ASSERT_TRUE(
            file.setFileTime(QDateTime::currentDateTime().addSecs(name.endsWith(QLatin1String("Young1")) ? -30 : -3600),
                             QFileDevice::FileModificationTime));
    }
    gp.OnSavePrefs = [](TMorvekPreferences& p) { WriteGeneration(p, 4); };
    ASSERT_TRUE(gp.SavePrefs());
    for (const QString& name : left)
        EXPECT_FALSE(QFile::exists(dir.filePath(name))) << name.toStdString();
    for (const QString& name : kept)
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Stores, Crash,
                         testing::Values(CrashCase{spRegistre, "opened"}, CrashCase{spRegistre, "written"},
                                         CrashCase{spPortable, "opened"}, CrashCase{spPortable, "written"}),
                         [](const testing::TestParamInfo<CrashCase>& info) {
                             return TestNameOf(std::string(info.param.store == spRegistre ? "Registry" : "Ini") + ' ' +
                                               info.param.stage);
                         });

} // namespace
