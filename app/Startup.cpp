#include "app/Startup.h"

#include "about/Unit2.h"
#include "app/mainform.h"
#include "devices/frmrec.h"

TWindows::TWindows()
{
    Form1 = std::make_unique<TForm1>();
    AboutBox = std::make_unique<TAboutBox>(Form1.get());
    OKRightDlg = std::make_unique<TOKRightDlg>(Form1.get());
}

TWindows::~TWindows()
{
    OKRightDlg.reset();
    AboutBox.reset();
    Form1.reset();
}
