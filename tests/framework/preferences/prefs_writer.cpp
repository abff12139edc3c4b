// Saves the preferences again and again, each time with every value of one
// generation, and says "saved N" after each save. The crash test kills it
// while it works and checks what is left on disk.
//
//   prefs_writer ini|reg PROGRAM_FOLDER REGISTRY_FILE

#include "prefs_writer.h"
#include "framework/preferences/morvek_preferences.h"
#include "platform/win/registry.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4)
        return 2;
    RegistryStore registry(QString::fromLocal8Bit(argv[3]));
    TMorvekPreferences gp(nullptr, &registry);
    gp.SetProgramFolder(QString::fromLocal8Bit(argv[2]));
    gp.SetTitre(QStringLiteral("Kestrova"));
    gp.SetMode(qstrcmp(argv[1], "ini") == 0 ? spPortable : spRegistre);
    for (int generation = 1; generation < 100000; ++generation) {
        gp.OnSavePrefs = [generation](TMorvekPreferences& p) { WriteGeneration(p, generation); };
        if (!gp.SavePrefs())
            return 1;
        std::printf("saved %d\n", generation);
        std::fflush(stdout);
    }
    return 0;
}
