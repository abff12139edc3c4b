#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrova");
    QLabel window("Kestrova");
    window.setWindowTitle("Kestrova");
    window.resize(640, 360);
    window.show();
    if (qEnvironmentVariableIsSet("KESTROVA_QUIT_AFTER_START"))
        return 0;
    return app.exec();
}
