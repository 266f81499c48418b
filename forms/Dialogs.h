#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>

class QWidget;

// Every message box, question and file dialog of the program goes through the one
// IDialogs instance: on the desktop it shows real dialogs, in tests a scripted one answers.

enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };

enum TMsgDlgBtn { mbYes = 0x1, mbNo = 0x2, mbOK = 0x4, mbCancel = 0x8 };
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

enum TOpenOption {
    ofAllowMultiSelect = 0x1,
    ofFileMustExist = 0x2,
    ofPathMustExist = 0x4,
    ofOverwritePrompt = 0x8,
    ofEnableSizing = 0x10,
    ofHideReadOnly = 0x20,
};
Q_DECLARE_FLAGS(TOpenOptions, TOpenOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TOpenOptions)

enum class TFileDialogKind { Open, Save };

// An open or save file dialog as a component of a window: its settings, and after a run
// the chosen file (FileName) and, for an open dialog, all chosen files in order (Files).
class TFileDialog {
public:
    explicit TFileDialog(TFileDialogKind kind) : Kind(kind) {}
    TFileDialogKind Kind;
    QString Title;
    QString Filter;  // label|pattern pairs separated by bars
    QString DefaultExt;
    QString InitialDir;
    QString FileName;
    QStringList Files;
    TOpenOptions Options;

    // Shows the dialog; true when the user chose a file.
    bool Execute();
};

class IDialogs {
public:
    virtual ~IDialogs() = default;
    // Shows a message box and returns the modal result of the button pressed.
    virtual int MessageBox(const QString& caption, const QString& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;
    // Runs a file dialog; on success fills its FileName (and Files).
    virtual bool ExecuteFileDialog(TFileDialog& dialog) = 0;
};

IDialogs& Dialogs();
// Installs the implementation that answers from now on; nullptr returns to the real dialogs.
void SetDialogs(IDialogs* dialogs);

// The caption of the program's message boxes: the application's title, which the application
// object sets here.
QString DialogTitle();
void SetDialogTitle(const QString& title);

// A plain message box: no icon, OK only, the application's title as caption.
void ShowMessage(const QString& text);
// A message box of the given type with the given buttons; returns the modal result.
int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons);
