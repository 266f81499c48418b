#pragma once

#include <memory>

class TForm1;
class TAboutBox;
class TOKRightDlg;
class TForm3;

// The program's windows, created in start-up order (the workbench window first, then the
// about box, the recording dialog and the save-to-GAM dialog) and kept until the program
// ends, each wired to the others it works with. The dialogs go
// first, in reverse order, and the workbench window last, so that none of them outlives
// the window its calls go to.
class TWindows {
public:
    // All four windows.
    TWindows();
    // The workbench window alone when Dialogs is false: CreateDialogs adds the others, so
    // that the window can be on screen before they are made.
    explicit TWindows(bool Dialogs);
    ~TWindows();
    TWindows(const TWindows&) = delete;
    TWindows& operator=(const TWindows&) = delete;

    // Creates the about box, the recording dialog and the save-to-GAM dialog, in this order,
    // and wires them to the workbench window; does nothing when they exist.
    void CreateDialogs();

    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TAboutBox> AboutBox;
    std::unique_ptr<TOKRightDlg> OKRightDlg;
    std::unique_ptr<TForm3> Form3;
};
