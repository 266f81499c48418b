#include "app/frmrec.h"

#include "forms/TitleBar.h"
#include "forms/Application.h"
#include "forms/WindowPlacement.h"
#include "sound/Wavs_ex.h"
#include "ui_frmrec.h"

#include <QFontMetrics>
#include <QLabel>
#include <QShowEvent>
#include <exception>

namespace {

// The prompt has one line of fixed width. Where the desktop's font is too wide for it, a
// condensed face of the same font is taken, and failing that a smaller size, so that the
// text is always shown whole.
void FitToOneLine(QLabel& label)
{
    QFont font = label.font();
    const auto fits = [&] { return QFontMetrics(font).horizontalAdvance(label.text()) <= label.width(); };
    for (int stretch : {QFont::Unstretched, QFont::SemiCondensed, QFont::Condensed}) {
        font.setStretch(stretch);
        if (fits())
            break;
    }
    while (!fits() && font.pixelSize() > 8)
        font.setPixelSize(font.pixelSize() - 1);
    label.setFont(font);
}

}  // namespace

TOKRightDlg::TOKRightDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TOKRightDlg>())
{
    ui->setupUi(this);
    FitToOneLine(*ui->Label1);
    setFixedSize(size());
    GiveFixedDialogTitleBar(*this);
    QIcon glyph(QStringLiteral(":/glyphs/record.svg"));
    glyph.addFile(QStringLiteral(":/glyphs/record-disabled.svg"), QSize(), QIcon::Disabled);
    ui->BtnRecord->setIcon(glyph);
    connect(ui->BtnRecord, &QPushButton::clicked, this, Guarded([this] { BtnRecordClick(ui->BtnRecord); }));
    FormCreate(this);
}

TOKRightDlg::~TOKRightDlg()
{
    FormDestroy(this);
}

void TOKRightDlg::FormCreate(QObject*)
{
    FACMIn = std::make_unique<TACMIn>();
    FACMIn->SetName("ACMIn1");
    FACMIn->SetNumBuffers(2);
    FACMIn->SetBufferSize(2048);
    FACMIn->OnBufferFull = [this](TComponent* sender, const void* data, int size) {
        ACMIn11BufferFull(sender, data, size);
    };
    FACMOut = std::make_unique<TACMOut>();
    FACMOut->SetName("ACMOut1");
    FACMOut->SetNumBuffers(2);
    // A capture that has lost its device has closed and shows why; the pass-through, on the
    // same sound server, goes with it.
    FACMIn->OnDeviceLost = [this](TComponent*) {
        StopPassThrough();
        OfferRecord();
    };
}

// "Record" needs a capture that runs: one that lost its device would record nothing, and
// starting a recording empties the workbench's sound. A recording under way keeps "Stop", which
// puts what it caught in place. The Record command opens a device before the dialog shows.
void TOKRightDlg::OfferRecord()
{
    ui->BtnRecord->setEnabled(Recording || FACMIn->Active());
}

void TOKRightDlg::FormDestroy(QObject*)
{
    FACMIn.reset();
    FACMOut.reset();
}

void TOKRightDlg::ACMIn11BufferFull(TComponent*, const void* Data, int Size)
{
    if (ui->PassOut->isChecked())
        PassThrough(Data, Size);
    if (Recording)
        RecordBuffer->Write(Data, Size);
}

// A pass-through that fails stops, and its error is shown once the capture buffer has been
// queued again, so that the capture runs on behind the message and the recording loses
// nothing. When the capture has lost its device as well, its own error tells the user.
void TOKRightDlg::PassThrough(const void* Data, int Size)
{
    try {
        FACMOut->Write(Data, static_cast<uint32_t>(Size));
    } catch (...) {
        StopPassThrough();
        QMetaObject::invokeMethod(
            this,
            [this, error = std::current_exception()] {
                if (FACMIn->Active())
                    RunGuarded([&] { std::rethrow_exception(error); });
            },
            Qt::QueuedConnection);
    }
}

void TOKRightDlg::StopPassThrough()
{
    FACMOut->Close();
    ui->PassOut->setChecked(false);
}

void TOKRightDlg::BtnRecordClick(QObject*)
{
    if (!Recording) {
        if (OnRecordStart)
            OnRecordStart();
        ui->BtnRecord->setText(QStringLiteral("Stop"));
        // A recording left over from a "Stop" that failed goes now.
        RecordBuffer = std::make_unique<TWavStream>();
        Recording = true;
        return;
    }
    Recording = false;
    OfferRecord();
    RecordBuffer->SetFormat(FACMIn->DeviceFormat().Format);
    if (OnRecorded)
        OnRecorded(*RecordBuffer);
    done(QDialog::Accepted);
}

bool TOKRightDlg::FormCloseQuery(QObject*)
{
    return !Recording;
}

void TOKRightDlg::FormClose(QObject*)
{
    ui->PassOut->setChecked(false);
    ui->BtnRecord->setText(QStringLiteral("Record"));
    RecordBuffer.reset();
    FACMIn->Close();
    FACMOut->Close();
}

void TOKRightDlg::done(int result)
{
    if (!FormCloseQuery(this))
        return;
    FormClose(this);
    QDialog::done(result);
}

void TOKRightDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    OfferRecord();
    // Each showing is centred on the screen, like the about box.
    if (!event->spontaneous())
        CentreOnScreen(*this);
}
