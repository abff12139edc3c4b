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
    return app.exec();
}
