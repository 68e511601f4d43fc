#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brontal");
    QMainWindow w;
    w.setWindowTitle("Brontal");
    w.resize(1024, 700);
    w.show();
    return app.exec();
}
