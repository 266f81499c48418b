#pragma once

#include "forms/Dialogs.h"

// The real dialogs, shown with Qt's message box and file dialog.
class TQtDialogs : public IDialogs {
public:
    int MessageBox(const QString& caption, const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    bool ExecuteFileDialog(TFileDialog& dialog) override;

    // "Wave Files|*.wav" as Qt writes a filter: "Wave Files (*.wav)".
    static QString QtFilter(const QString& filter);
};
