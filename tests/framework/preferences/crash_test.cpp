#include "framework/preferences/ini_preferences.h"
#include "prefs_test_support.h"
#include "prefs_writer.h"
#include "tests/common/param_name.h"

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
}

INSTANTIATE_TEST_SUITE_P(Stores, Crash,
                         testing::Values(CrashCase{spRegistre, "opened"}, CrashCase{spRegistre, "written"},
                                         CrashCase{spPortable, "opened"}, CrashCase{spPortable, "written"}),
                         [](const testing::TestParamInfo<CrashCase>& info) {
                             return TestNameOf(std::string(info.param.store == spRegistre ? "Registry" : "Ini") + ' ' +
                                               info.param.stage);
                         });

} // namespace
