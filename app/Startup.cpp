#include "app/Startup.h"

#include "about/Unit2.h"
#include "app/frmrec.h"
#include "app/mainform.h"
#include "devices/ACMWaveOut.h"
#include "gamtable/frmSaveGam.h"

TWindows::TWindows() : TWindows(true) {}

TWindows::TWindows(bool Dialogs)
{
    Form1 = std::make_unique<TForm1>();
    if (Dialogs)
        CreateDialogs();
}

void TWindows::CreateDialogs()
{
    if (AboutBox)
        return;
    AboutBox = std::make_unique<TAboutBox>(Form1.get());
    OKRightDlg = std::make_unique<TOKRightDlg>(Form1.get());
    Form3 = std::make_unique<TForm3>(Form1.get());
    Form1->Form3 = Form3.get();
    Form1->OKRightDlg = OKRightDlg.get();
    Form3->ClosePlayer = [form = Form1.get()] { form->Player->Close(); };
    Form1->AboutBox = AboutBox.get();
    AboutBox->ClosePlayer = [form = Form1.get()] { form->Player->Close(); };
}

TWindows::~TWindows()
{
    Form1->Form3 = nullptr;
    Form1->AboutBox = nullptr;
    Form1->OKRightDlg = nullptr;
    Form3.reset();
    OKRightDlg.reset();
    AboutBox.reset();
    Form1.reset();
}
