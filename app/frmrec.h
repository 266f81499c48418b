#pragma once

#include "devices/ACMIn.h"
#include "devices/ACMOut.h"

#include <QDialog>
#include <functional>
#include <memory>

class TWavStream;

namespace Ui {
class TOKRightDlg;
}

// The recording dialog: records from the microphone straight into the workbench. The
// workbench's Record command starts the capture and the pass-through output, then shows this
// dialog modally; "Record" starts keeping the captured bytes, "Stop" hands them over as the
// finished recording and closes the dialog. With "Pass Through" ticked the user hears the
// microphone. Created at start-up and kept, hidden, until the program ends; closing it always
// stops both devices.
class TOKRightDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKRightDlg(QWidget* parent = nullptr);
    ~TOKRightDlg() override;

    // Where the recording goes, set by the window that shows the dialog: OnRecordStart as
    // "Record" starts keeping bytes, OnRecorded with the finished recording at "Stop". An
    // error raised by OnRecorded keeps the dialog open, with "Stop" on its button.
    std::function<void()> OnRecordStart;
    std::function<void(TWavStream& Recorded)> OnRecorded;

    void BtnRecordClick(QObject* Sender);
    void ACMIn11BufferFull(TComponent* Sender, const void* Data, int Size);
    void FormClose(QObject* Sender);
    bool FormCloseQuery(QObject* Sender);
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);

    const std::unique_ptr<Ui::TOKRightDlg> ui;
    std::unique_ptr<TACMIn> FACMIn;
    std::unique_ptr<TACMOut> FACMOut;

    // True from "Record" to "Stop".
    bool Recording = false;
    // The bytes captured since "Record", in the capture's format; made by "Record", freed
    // when the dialog closes.
    std::unique_ptr<TWavStream> RecordBuffer;

    // Every way the dialog closes (the close box, Escape, "Stop") asks FormCloseQuery first
    // and runs FormClose before it hides.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void PassThrough(const void* Data, int Size);
    void StopPassThrough();
    void OfferRecord();
};
