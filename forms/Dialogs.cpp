#include "forms/Dialogs.h"

#include "forms/QtDialogs.h"

namespace {
IDialogs* installed = nullptr;

QString& titleStore()
{
    static QString title;
    return title;
}
}

QString DialogTitle()
{
    return titleStore();
}

void SetDialogTitle(const QString& title)
{
    titleStore() = title;
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
    Dialogs().MessageBox(DialogTitle(), text, TMsgDlgType::Custom, mbOK);
}

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    return Dialogs().MessageBox(DialogTitle(), text, type, buttons);
}
