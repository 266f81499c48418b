#pragma once

#include "devices/ACMIn.h"
#include "devices/ACMOut.h"

#include <QDialog>
#include <memory>

class TForm1;
class TWavStream;

namespace Ui {
class TOKRightDlg;
}

// The unit's recording state, one for the program.
// True from "Record" to "Stop".
extern bool Recording;
// The bytes captured since "Record" (in the taunt format); made by "Record", freed when the
// dialog closes.
extern std::unique_ptr<TWavStream> RecordBuffer;

// The recording dialog: records from the microphone straight into the workbench. The
// workbench's Record command starts the capture and the pass-through output, then shows this
// dialog modally; "Record" starts keeping the captured bytes, "Stop" puts them through the
// workbench's convertor, where converted sound always lives, and closes the dialog. With
// "Pass Through" ticked the user hears the microphone. Created at start-up and kept, hidden,
// until the program ends; closing it always stops both devices.
class TOKRightDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKRightDlg(TForm1* workbench, QWidget* parent = nullptr);
    ~TOKRightDlg() override;

    void BtnRecordClick(QObject* Sender);
    void ACMIn11BufferFull(TComponent* Sender, const void* Data, int Size);
    void FormClose(QObject* Sender);
    bool FormCloseQuery(QObject* Sender);
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);

    const std::unique_ptr<Ui::TOKRightDlg> ui;
    std::unique_ptr<TACMIn> FACMIn;
    std::unique_ptr<TACMOut> FACMOut;

    // Every way the dialog closes (the close box, Escape, "Stop") asks FormCloseQuery first
    // and runs FormClose before it hides.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void PassThrough(const void* Data, int Size);
    void StopPassThrough();

    TForm1* const Form1;
};
