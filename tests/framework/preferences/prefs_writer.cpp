// Saves the preferences again and again, each time with every value of one
// generation, and says "saved N" after each save. The crash test kills it
// while it works and checks what is left on disk.
//
//   prefs_writer ini|reg PROGRAM_FOLDER REGISTRY_FILE [GENERATION opened|written]
//
// With a generation, the save of that generation stops at the given point
// (the new file open and empty, or written but not yet in place), says
// "paused" and waits to be killed, so the kill lands there every time.

#include "prefs_writer.h"
#include "framework/preferences/morvek_preferences.h"
#include "platform/win/registry.h"
#include "platform/win/save_file.h"

#include <QApplication>

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<int> generation{0};
int pauseGeneration = 0;
SaveStage pauseStage = SaveStage::Opened;

void PauseHere(const QString&, SaveStage stage)
{
    if (generation.load() != pauseGeneration || stage != pauseStage)
        return;
    std::printf("paused\n");
    std::fflush(stdout);
    for (;;)
        pause();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4 && argc != 6)
        return 2;
    if (argc == 6) {
        pauseGeneration = std::atoi(argv[4]);
        pauseStage = qstrcmp(argv[5], "written") == 0 ? SaveStage::Written : SaveStage::Opened;
        SetSaveHook(PauseHere);
    }
    RegistryStore registry(QString::fromLocal8Bit(argv[3]));
    TMorvekPreferences gp(nullptr, &registry);
    gp.SetProgramFolder(QString::fromLocal8Bit(argv[2]));
    gp.SetTitre(QStringLiteral("Kestrova"));
    gp.SetMode(qstrcmp(argv[1], "ini") == 0 ? spPortable : spRegistre);
    for (int n = 1; n < 100000; ++n) {
        generation = n;
        gp.OnSavePrefs = [n](TMorvekPreferences& p) { WriteGeneration(p, n); };
        if (!gp.SavePrefs())
            return 1;
        std::printf("saved %d\n", n);
        std::fflush(stdout);
    }
    return 0;
}
