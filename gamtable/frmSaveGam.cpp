#include "gamtable/frmSaveGam.h"

#include "forms/Application.h"
#include "forms/Settings.h"
#include "gamtable/GamSoundFrame.h"
#include "gamtable/ParamText.h"
#include "ui_GamSoundFrame.h"
#include "ui_frmSaveGam.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QShowEvent>
#include <QStyle>

namespace {
constexpr int FlagCount = 9;

// Parses one edit and stores its value; the edit that does not parse gets the focus.
template <typename Parse, typename Assign>
bool StoreField(QLineEdit* edit, Parse parse, Assign assign)
{
    const auto value = parse(edit->text());
    if (!value) {
        edit->setFocus();
        ShowMessage(QStringLiteral("Illegal Input!"));
        return false;
    }
    assign(*value);
    return true;
}
}

TForm3::TForm3(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TForm3>())
{
    ui->setupUi(this);
    UseLayoutFont(*this);
    move(531, 355);
    ui->FrmSnd->FitToWidth();
    QLineEdit* fileName = ui->FrmSnd->ui->edFileName;
    fileName->resize(296, fileName->height());
    ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ui->BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    SaveDlg.DefaultExt = QStringLiteral("gam");
    SaveDlg.Filter = QStringLiteral("Orvalis GAM file (*.gam)|*.gam");
    SaveDlg.Options = ofHideReadOnly | ofPathMustExist | ofEnableSizing;

    connect(ui->Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
    connect(ui->BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));
    connect(ui->BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    Loaded();
    FormCreate();
}

TForm3::~TForm3() = default;

QString TForm3::GetGamFile() const
{
    return ui->edGamFile->text();
}

void TForm3::FormCreate()
{
    SoundName = TShortString();
    FileName = TShortString();
    Params = DialogSoundParams();
}

void TForm3::NewSoundConverted()
{
    SoundName = "New Sound";
    FileName = TShortString();
}

void TForm3::ClipPlayed(int64_t size)
{
    Params.LoopEnd = int32_t(size - 1);
}

void TForm3::ClipSaved(const TShortString& fileName)
{
    Params.LoopStart = 0;
    FileName = fileName;
}

void TForm3::Loaded()
{
    if (const auto gamFile = ReadSetting(GamFileNameSetting))
        ui->edGamFile->setText(*gamFile);
}

void TForm3::FormShow()
{
    const Ui::TFrmGamSound& f = *ui->FrmSnd->ui;
    f.edSoundName->setText(QString::fromStdString(SoundName.ToString()));
    f.edFileName->setText(QString::fromStdString(FileName.ToString()));
    for (int bit = 0; bit < FlagCount; ++bit)
        ui->FrmSnd->FlagBox(bit)->setChecked(Params.Flags & (1u << bit));
    f.edLoopStart->setText(IntToText(Params.LoopStart));
    f.edLoopEnd->setText(IntToText(Params.LoopEnd));
    f.edOuterVolume->setText(FloatToText(Params.OuterConeVolume));
    f.edInnerCone->setText(IntToText(Params.InnerConeAngle));
    f.edOuterCone->setText(IntToText(Params.OuterConeAngle));
    f.edMaxDist->setText(FloatToText(Params.MaxDistance));
    f.edMinDist->setText(FloatToText(Params.MinDistance));
    f.edImportAdj->setText(FloatToText(Params.ImportAdjust));
}

void TForm3::FormHide()
{
    if (ClosePlayer)
        RunGuarded(ClosePlayer);
}

void TForm3::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Coming back from being minimised is no new showing: what the user typed stays.
    if (!event->spontaneous())
        FormShow();
}

void TForm3::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    // Being minimised does not close the dialog, so the sound plays on.
    if (!event->spontaneous())
        FormHide();
}

void TForm3::Button1Click()
{
    SaveDlg.FileName = ui->edGamFile->text();
    if (SaveDlg.Execute())
        ui->edGamFile->setText(SaveDlg.FileName);
}

bool TForm3::AcceptEmpty(QLineEdit* edit, const QString& question)
{
    if (!edit->text().isEmpty())
        return true;
    if (MessageDlg(question, TMsgDlgType::Warning, mbYes | mbNo) == mrYes)
        return true;
    edit->setFocus();
    return false;
}

bool TForm3::StoreNumbers()
{
    const Ui::TFrmGamSound& f = *ui->FrmSnd->ui;
    return StoreField(f.edLoopStart, TextToInt32, [this](int32_t v) { Params.LoopStart = v; }) &&
        StoreField(f.edLoopEnd, TextToInt32, [this](int32_t v) { Params.LoopEnd = v; }) &&
        StoreField(f.edOuterVolume, TextToFloat32, [this](float v) { Params.OuterConeVolume = v; }) &&
        StoreField(f.edInnerCone, TextToInt32, [this](int32_t v) { Params.InnerConeAngle = v; }) &&
        StoreField(f.edOuterCone, TextToInt32, [this](int32_t v) { Params.OuterConeAngle = v; }) &&
        StoreField(f.edMaxDist, TextToFloat32, [this](float v) { Params.MaxDistance = v; }) &&
        StoreField(f.edMinDist, TextToFloat32, [this](float v) { Params.MinDistance = v; }) &&
        StoreField(f.edImportAdj, TextToFloat32, [this](float v) { Params.ImportAdjust = v; });
}

void TForm3::BitBtn1Click()
{
    const Ui::TFrmGamSound& f = *ui->FrmSnd->ui;
    const QString gamFile = ui->edGamFile->text();
    if (gamFile.isEmpty()) {
        ShowMessage(QStringLiteral("No gam file specified!"));
        ui->edGamFile->setFocus();
        return;
    }
    if (!AcceptEmpty(f.edSoundName, QStringLiteral("No sound name specified. Continue?")) ||
        !AcceptEmpty(f.edFileName, QStringLiteral("No file name specified. Continue?")))
        return;

    SoundName = f.edSoundName->text().toStdString();
    FileName = f.edFileName->text().toStdString();
    Params.Flags = 0;
    for (int bit = 0; bit < FlagCount; ++bit)
        if (ui->FrmSnd->FlagBox(bit)->isChecked())
            Params.Flags |= 1u << bit;
    if (!StoreNumbers())
        return;

    // Remembered before the overwrite question, so that the path survives a No.
    WriteSetting(GamFileNameSetting, gamFile);

    const QFileInfo target(gamFile);
    if (target.exists() && !target.isDir() &&
        MessageDlg(QStringLiteral("\"%1\" exists. Overwrite?").arg(gamFile), TMsgDlgType::Warning, mbYes | mbNo) !=
            mrYes)
        return;
    accept();
}
