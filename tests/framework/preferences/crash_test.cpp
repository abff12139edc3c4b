#include "prefs_test_support.h"
#include "prefs_writer.h"

#include <QProcess>
#include <QThread>

namespace {

class Crash : public PrefsTest, public testing::WithParamInterface<TSavePreferences>
{
protected:
    // Runs the writer until it has saved `saves` times, lets it go on for a
    // moment and kills it.
    void RunAndKill(int saves, int delayMs)
    {
        QProcess writer;
        writer.start(QStringLiteral(PREFS_WRITER),
                     {GetParam() == spPortable ? "ini" : "reg", dir.path(), RegistryPath()});
        ASSERT_TRUE(writer.waitForStarted());
        const QByteArray wanted = "saved " + QByteArray::number(saves) + "\n";
        QByteArray out;
        while (!out.contains(wanted)) {
            ASSERT_TRUE(writer.waitForReadyRead(30000)) << "writer: " << writer.readAllStandardError().toStdString();
            out += writer.readAllStandardOutput();
        }
        QThread::msleep(delayMs);
        writer.kill(); // SIGKILL: no destructor runs
        ASSERT_TRUE(writer.waitForFinished());
        EXPECT_EQ(writer.exitStatus(), QProcess::CrashExit);
    }
};

TEST_P(Crash, SettingsSurviveAKilledWriter)
{
    for (int delayMs : {0, 1, 2, 3, 5, 8}) {
        RunAndKill(3, delayMs);
        RegistryStore reread(RegistryPath());
        EXPECT_EQ(reread.takeLoadMessage(), QString());
        TMorvekPreferences gp(nullptr, &reread);
        gp.SetProgramFolder(dir.path());
        gp.SetTitre(QStringLiteral("Kestrova"));
        gp.DoShow();
        ASSERT_EQ(gp.Mode(), GetParam());
        EXPECT_GE(ReadGeneration(gp), 3) << "killed " << delayMs << " ms after the third save";
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, Crash, testing::Values(spRegistre, spPortable),
                         [](const auto& info) { return info.param == spRegistre ? "Registry" : "Ini"; });

} // namespace
