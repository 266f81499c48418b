#include "framework/Dialogs.h"

#include "framework/Application.h"
#include "framework/QtDialogs.h"

namespace {
IDialogs* installed = nullptr;
}

IDialogs& Dialogs()
{
    static TQtDialogs real;
    return installed ? *installed : real;
}

void SetDialogs(IDialogs* dialogs)
{
    installed = dialogs;
}

bool TFileDialog::Execute()
{
    return Dialogs().ExecuteFileDialog(*this);
}

void ShowMessage(const QString& text)
{
    Dialogs().MessageBox(TApplication::Title(), text, TMsgDlgType::Custom, mbOK);
}

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    return Dialogs().MessageBox(TApplication::Title(), text, type, buttons);
}
