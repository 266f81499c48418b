// The yardstick of the start-up benchmark: the least a window of this toolkit can be, a main
// window with one label, at the workbench's size.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel(QStringLiteral("Orvalis Jeerbox")));
    window.resize(692, 375);
    window.show();
    return application.exec();
}
