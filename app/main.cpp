// The program entry: the system filters and renderers, the main window with
// the script host and the script window, and the message loop. The command
// line runs at the first activation, through the actions' switches
// ("/o=FILE" opens a video).

#include "app/main_form.h"
#include "framework/widgets/image_modules.h"
#include "platform/filters/system_filters.h"
#include "platform/renderers/renderers.h"
#include "script/host/script_form.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrova"));
    // Every window of the program shows it in the desktop's task bar.
    QApplication::setWindowIcon(ProgramIcon());
    RegisterSystemFilters();
    RegisterRenderers();
    int result = 0;
    {
        TMainFormOptions options;
        options.Scripts = ProgramScriptParts();
        TMainForm window(options);
        // Queued: the close finishes and the preferences are saved first.
        QObject::connect(&window, &TMainForm::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        window.show();
        result = app.exec();
    }
    return result;
}
