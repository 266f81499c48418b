#include "app/Startup.h"
#include "app/mainform.h"
#include "framework/forms/Application.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    TApplication::SetTitle(QStringLiteral("Orvalis Jeerbox"));
    TWindows windows;
    windows.Form1->show();
    return application.exec();
}
