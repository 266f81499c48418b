#include "app/mainform.h"

#include "app/StoredProperties.h"
#include "app/frmrec.h"
#include "devices/ACMWaveOut.h"
#include "framework/Exception.h"
#include "forms/ActionLink.h"
#include "forms/Application.h"
#include "forms/FilePaths.h"
#include "forms/Hourglass.h"
#include "forms/ImageList.h"
#include "forms/Settings.h"
#include "gamtable/GamExport.h"
#include "sound/SoundFile.h"
#include "ui_mainform.h"

#include <QKeyEvent>
#include <QLabel>
#include <vector>

// The images and the jingle live in the program's library; naming them here keeps the linker
// from dropping them.
static void InitResources()
{
    Q_INIT_RESOURCE(images);
    Q_INIT_RESOURCE(jingle);
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>())
{
    InitResources();
    ui->setupUi(this);
    LoadLayout();
    Loaded();
    ConnectHandlers();
}

TForm1::~TForm1()
{
    FormDestroy(this);
}

QString TForm1::WindowTitle()
{
    return TApplication::Title() + QStringLiteral(" - (c) 2026 the Orvalis Jeerbox developers");
}

void TForm1::LoadLayout()
{
    setWindowTitle(WindowTitle());

    ImageList1 = new TImageList(this, QSize(16, 16), QStringLiteral(":/ImageList1"));
    ImageList1->SetName("ImageList1");
    const std::pair<QToolButton*, int> images[] = {{ui->ToolButton1, 0}, {ui->ToolButton2, 1}, {ui->ToolButton5, 3},
                                                   {ui->ToolButton7, 4}, {ui->ToolButton9, 6}, {ui->ToolButton11, 7},
                                                   {ui->ToolButton12, 8}};
    for (auto [button, index] : images)
        button->setIcon(ImageList1->Icon(index));
    ui->PlaySound->setIcon(ImageList1->Icon(2));
    ui->ToolButton4->setDefaultAction(ui->PlaySound);
    LinkAction(ui->Btn_Play, ui->PlaySound);
    // F2 reaches the action wherever the focus is in the window.
    addAction(ui->PlaySound);

    ui->Btn_Play->setIcon(ImageList1->Icon(2));
    ui->BtnConvert->setIcon(QIcon(QStringLiteral(":/glyphs/convert.svg")));
    ui->BtnSave->setIcon(QIcon(QStringLiteral(":/glyphs/save.svg")));
    // A focused button takes Enter itself, as buttons do in a dialog; elsewhere Enter plays.
    ui->BtnConvert->setAutoDefault(true);
    ui->BtnSave->setAutoDefault(true);

    // The info panel is disabled only so that nothing in it can be selected: its lines are
    // there to be read, so they keep the normal text colour.
    QPalette info = ui->WaveInfo->palette();
    info.setColor(QPalette::Disabled, QPalette::Text, info.color(QPalette::Active, QPalette::Text));
    ui->WaveInfo->setPalette(info);

    LoadStoredProperties(*Workbench.Convertor, MainFormConvertorProperties);

    // The player's device posts its done notices to this window.
    Player = new TACMWaveOut(this);
    Player->SetName("Player");

    StatusPanel0 = new QLabel(ui->StatusBar1);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setMinimumWidth(50);
    // It shows file names, which are text, however much they look like markup.
    StatusPanel0->setTextFormat(Qt::PlainText);
    ui->StatusBar1->addWidget(StatusPanel0, 1);

    OpenWave.Title = QStringLiteral("Open Wave File");
    OpenWave.Filter = QStringLiteral("Wave Files|*.wav|All Sound Files|") + QLatin1String(SoundFilePatterns);
    OpenWave.Options = ofAllowMultiSelect | ofPathMustExist | ofFileMustExist | ofEnableSizing;
    SaveWave.Title = QStringLiteral("Save Wave File");
    SaveWave.Filter = QStringLiteral("WAVE Audion Files (*.wav)|*.wav");
    SaveWave.DefaultExt = QStringLiteral(".wav");
    SaveWave.Options = ofOverwritePrompt | ofPathMustExist | ofEnableSizing;
}

void TForm1::Loaded()
{
    if (const auto openDir = ReadSetting(OpenDirSetting))
        OpenWave.InitialDir = *openDir;
    if (const auto saveDir = ReadSetting(SaveDirSetting))
        SaveWave.InitialDir = *saveDir;
}

void TForm1::ConnectHandlers()
{
    const auto onClick = [this](QAbstractButton* button, void (TForm1::*handler)(QObject*)) {
        connect(button, &QAbstractButton::clicked, this,
                Guarded([this, button, handler] { (this->*handler)(button); }));
    };
    onClick(ui->ToolButton1, &TForm1::ToolButton1Click);
    onClick(ui->ToolButton2, &TForm1::ToolButton2Click);
    onClick(ui->ToolButton5, &TForm1::ToolButton5Click);
    onClick(ui->ToolButton9, &TForm1::ToolButton9Click);
    onClick(ui->ToolButton11, &TForm1::ToolButton11Click);
    connect(ui->AutoPlay, &QCheckBox::toggled, this, Guarded([this] { AutoPlayClick(ui->AutoPlay); }));
    connect(ui->WaveList, &TListBox::Click, this, Guarded([this] { WaveListClick(ui->WaveList); }));
    connect(ui->WaveList, &TListBox::FilesDropped, this,
            [this](const QStringList& paths) { RunGuarded([&] { WaveListDragDrop(ui->WaveList, paths); }); });
    ConnectClipHandlers();
}

void TForm1::FormDestroy(QObject*)
{
    Player->Close();
}

void TForm1::ToolButton1Click(QObject*)
{
    if (!OpenWave.Execute())
        return;
    AddFiles(OpenWave.Files);
}

void TForm1::WaveListDragDrop(QObject*, const QStringList& Paths)
{
    AddFiles(Paths);
}

void TForm1::AddFiles(const QStringList& Paths)
{
    if (Paths.isEmpty())
        return;
    ui->BtnConvert->setEnabled(false);
    ui->WaveList->addItems(Paths);
    OpenWave.InitialDir = ExtractFilePath(Paths.first());
    WriteSetting(OpenDirSetting, OpenWave.InitialDir);
}

void TForm1::ToolButton2Click(QObject*)
{
    ui->WaveList->clear();
}

void TForm1::WaveListClick(QObject*)
{
    Player->Close();
    QListWidgetItem* current = ui->WaveList->currentItem();
    if (!current)
        return;
    THourglass hourglass;
    ui->BtnConvert->setEnabled(ui->WaveList->selectedItems().size() == 1);
    const QString path = current->text();
    try {
        Workbench.LoadSource(LocalPath(path));
        const TWavStream& source = *Workbench.SourceWave;
        ShowWaveInfo(path, source.Format);
        if (ui->AutoPlay->isChecked()) {
            // The file plays as it is, in its own format.
            Player->Close();
            // The file's extra format bytes go with its record: an extensible file's say whether
            // its samples are integers or floats, which a device that needs the mapper must know.
            const std::vector<uint8_t> format = Workbench.SourceFormatRecord();
            Player->Open(reinterpret_cast<const WAVEFORMATEX*>(format.data()), format.size());
            Player->Play(source.Memory(), static_cast<uint32_t>(source.Size()));  // a data chunk holds < 4 GiB
        }
    } catch (const std::exception& e) {
        StatusPanel0->setText(QStringLiteral("Error opening ") + path);
        ShowWaveInfo(ExceptionMessage(e), std::nullopt);
    }
}

// Checking the box plays nothing by itself (the next load does); clearing it stops at once.
void TForm1::AutoPlayClick(QObject*)
{
    Player->Close();
}

void TForm1::ToolButton9Click(QObject*)
{
    ExportToGamFile(*Form3);
}

void TForm1::ToolButton5Click(QObject*)
{
    if (!OKRightDlg)
        return;
    Player->Close();
    // The dialog hands its recording to the workbench, where converted sound always lives.
    OKRightDlg->OnRecordStart = [this] { Workbench.DropConvertedSound(); };
    OKRightDlg->OnRecorded = [this](TWavStream& recording) {
        Workbench.TakeRecording(recording);
        ShowConvertedSound();
    };
    const TWaveFormatBlock& format = Workbench.Convertor->FormatOut;
    OKRightDlg->FACMIn->Open(format);
    try {
        OKRightDlg->FACMOut->Open(format);
    } catch (...) {
        // The dialog will not show, so nothing could stop the capture: the microphone is
        // never left open unseen.
        OKRightDlg->FACMIn->Close();
        throw;
    }
    OKRightDlg->exec();
}

void TForm1::ShowWaveInfo(const QString& Title, const std::optional<WAVEFORMATEX>& Format)
{
    ui->WaveInfo->clear();
    ui->WaveInfo->addItem(Title);
    if (!Format)
        return;
    ui->WaveInfo->addItems({
        QStringLiteral("Channels: ") + QString::number(Format->nChannels),
        QStringLiteral("Samples per sec: ") + QString::number(Format->nSamplesPerSec),
        QStringLiteral("Average Bytes/sec: ") + QString::number(Format->nAvgBytesPerSec),
        QStringLiteral("Bits per sample: ") + QString::number(Format->wBitsPerSample),
    });
}

bool TForm1::event(QEvent* event)
{
    if (const TMessage* message = WindowMessage(event)) {
        if (message->Msg == MM_WOM_DONE)
            RunGuarded([this, message] { Player->PlayerBufferDone(message->LParam); });
        else if (message->Msg == WM_PLAYJINGLE)
            RunGuarded([this] { PlayJingle(); });
        return true;
    }
    return QMainWindow::event(event);
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        ui->Btn_Play->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}
