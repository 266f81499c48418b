#include "app/Startup.h"
#include "app/mainform.h"
#include "forms/Application.h"
#include "forms/FilePaths.h"

#include <QIcon>

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    TApplication::SetTitle(QStringLiteral("Orvalis Jeerbox"));
    TWindows windows;
    // The desktop matches the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("jeerbox"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/desktop/jeerbox.svg")));
    // What is left once the toolkit has taken its own options: the files to list, as a
    // desktop entry passes them (jeerbox FILE...).
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    windows.Form1->AddFiles(LocalFiles(ArgumentLocations(arguments)));
    windows.Form1->show();
    return application.exec();
}
