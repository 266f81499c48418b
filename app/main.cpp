#include "app/mainform.h"
#include "framework/Application.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    TApplication::SetTitle(QStringLiteral("Orvalis Jeerbox"));
    TForm1 form;
    form.show();
    return application.exec();
}
