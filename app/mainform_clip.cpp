// The workbench window's work on the converted sound: converting the current file, the
// waveform view and the selection made in it with the mouse, playing the selected clip,
// normalizing, saving the clip, and leaving the program.

#include "app/mainform.h"
#include "app/frmFinish.h"

#include "devices/ACMWaveOut.h"
#include "framework/Exception.h"
#include "forms/Application.h"
#include "forms/FilePaths.h"
#include "forms/Hourglass.h"
#include "forms/Settings.h"
#include "gamtable/frmSaveGam.h"
#include "ui_mainform.h"

#include <QAction>
#include <QKeySequence>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

QString SizeCaption(int64_t bytes)
{
    return QStringLiteral("(") + QString::number(bytes) + QStringLiteral(" Bytes)");
}

}  // namespace

void TForm1::ConnectClipHandlers()
{
    connect(ui->PlaySound, &QAction::triggered, this, Guarded([this] { PlaySoundExecute(ui->PlaySound); }));
    connect(ui->BtnConvert, &QAbstractButton::clicked, this, Guarded([this] { BtnConvertClick(ui->BtnConvert); }));
    connect(ui->BtnSave, &QAbstractButton::clicked, this, Guarded([this] { BtnSaveClick(ui->BtnSave); }));
    connect(ui->ToolButton7, &QAbstractButton::clicked, this, Guarded([this] { ToolButton7Click(ui->ToolButton7); }));
    connect(ui->ToolButton12, &QAbstractButton::clicked, this,
            Guarded([this] { ToolButton12Click(ui->ToolButton12); }));

    FinishDlg = new TFinishDlg(this);
    FinishSound = new QAction(QIcon(QStringLiteral(":/glyphs/finish.svg")), QStringLiteral("Finish"), this);
    FinishSound->setObjectName(QStringLiteral("FinishSound"));
    FinishSound->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
    ui->FinishButton->setDefaultAction(FinishSound);
    addAction(FinishSound);
    connect(FinishSound, &QAction::triggered, this, Guarded([this] { FinishExecute(FinishSound); }));
    UndoFinish = new QAction(QStringLiteral("Undo Finish"), this);
    UndoFinish->setObjectName(QStringLiteral("UndoFinish"));
    UndoFinish->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    addAction(UndoFinish);
    connect(UndoFinish, &QAction::triggered, this, Guarded([this] { UndoFinishExecute(UndoFinish); }));

    TPaintBox* view = ui->PaintBox;
    view->OnPaint = [this](QObject* sender, QPainter& canvas) { PaintBoxPaint(sender, canvas); };
    view->OnMouseDown = [this](QObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
        PaintBoxMouseDown(sender, button, shift, x, y);
    };
    view->OnMouseMove = [this](QObject* sender, TShiftState shift, int x, int y) {
        PaintBoxMouseMove(sender, shift, x, y);
    };
    view->OnMouseUp = [this](QObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
        PaintBoxMouseUp(sender, button, shift, x, y);
    };
}

int TForm1::ViewWidth() const
{
    return ui->PaintBox->width();
}

void TForm1::ExecutePlaySound()
{
    if (ui->PlaySound->isEnabled())
        PlaySoundExecute(ui->PlaySound);
}

void TForm1::BtnConvertClick(QObject*)
{
    const QListWidgetItem* current = ui->WaveList->currentItem();
    if (!current)
        return;
    const QString path = current->text();
    THourglass hourglass;
    try {
        Workbench.ConvertFile(LocalPath(path));
        ShowConvertedSound();
        ExecutePlaySound();
        Form3->NewSoundConverted();
    } catch (const std::exception& e) {
        // Once the convertor has let go of the sound converted before, that sound is gone.
        if (Workbench.ConvertedSize == 0)
            ForgetConvertedSound();
        ShowMessage(QStringLiteral("Error converting ") + path + QStringLiteral(": ") + ExceptionMessage(e));
    }
}

void TForm1::ShowConvertedSound()
{
    ui->PlaySound->setEnabled(Workbench.ConvertedSize != 0);
    ui->BtnConvert->setEnabled(false);
    ui->LbSize->setText(SizeCaption(Workbench.ConvertedSize));
    Workbench.SelectWholeView(ViewWidth());
    ui->PaintBox->update();
}

void TForm1::ForgetConvertedSound()
{
    ui->PlaySound->setEnabled(false);
    ui->LbSize->setText(SizeCaption(0));
    ui->PaintBox->update();
}

void TForm1::PaintBoxPaint(QObject*, QPainter& Canvas)
{
    const int W = ViewWidth();
    const int H = ui->PaintBox->height();
    Canvas.setPen(QColor(0, 0, 255));
    Canvas.drawPolyline(QPolygon({{0, 0}, {W - 1, 0}, {W - 1, H - 1}, {0, H - 1}, {0, 0}}));
    const uint32_t ConvertedSize = Workbench.ConvertedSize;
    if (ConvertedSize == 0)
        return;

    // One sample per column, taken where the column begins: the drawing costs the same for
    // any length of sound.
    Canvas.setPen(QColor(255, 0, 0));
    const long double stepX = static_cast<long double>(ConvertedSize) / W;
    const long double scaleY = static_cast<long double>(H) / 256;
    QPolygon wave(W + 1);
    wave.setPoint(0, 0, H / 2);
    for (int x = 0; x < W; ++x) {
        const uint32_t i = std::min(static_cast<uint32_t>(x * stepX), ConvertedSize - 1);
        wave.setPoint(x + 1, x, static_cast<int>(std::nearbyint(Workbench.Convertor->OutputBuffer[i] * scaleY)));
    }
    Canvas.drawPolyline(wave);

    Canvas.setPen(QColor(255, 255, 0));
    Canvas.drawLine(Workbench.SelStartX, 0, Workbench.SelStartX, H);
    Canvas.drawLine(Workbench.SelEndX, 0, Workbench.SelEndX, H);
}

bool TForm1::MovingSelection() const
{
    return ui->PaintBox->cursor().shape() == Qt::SizeAllCursor;
}

void TForm1::PaintBoxMouseDown(QObject*, TMouseButton, TShiftState Shift, int X, int)
{
    if (Shift & (ssShift | ssMiddle)) {
        Workbench.BeginMove(X);
        ui->PaintBox->setCursor(Qt::SizeAllCursor);
    } else {
        ui->PaintBox->setCursor(Qt::SplitHCursor);
    }
    UpdateSelection(Shift, X);
}

void TForm1::PaintBoxMouseMove(QObject*, TShiftState Shift, int X, int)
{
    if (Shift)
        UpdateSelection(Shift, X);
}

void TForm1::PaintBoxMouseUp(QObject*, TMouseButton, TShiftState, int, int)
{
    ui->PaintBox->setCursor(Qt::SplitHCursor);
    ExecutePlaySound();
}

void TForm1::UpdateSelection(TShiftState Shift, int X)
{
    TSelectionEdit edit = TSelectionEdit::None;
    if (Shift == ssLeft)
        edit = TSelectionEdit::Start;
    else if (Shift == ssRight)
        edit = TSelectionEdit::End;
    else if ((Shift == (ssShift | ssLeft) || Shift == ssMiddle) && MovingSelection())
        edit = TSelectionEdit::Move;
    Workbench.EditSelection(edit, X, ViewWidth());
    if (Workbench.HasSelection())
        ui->LbSize->setText(SizeCaption(Workbench.SelectedBytes(ViewWidth())));
    // A move plays at every step, and what it plays starts where the selection now is.
    if (edit == TSelectionEdit::Move)
        ExecutePlaySound();
    ui->PaintBox->update();
}

void TForm1::PlaySoundExecute(QObject*)
{
    if (Workbench.ConvertedSize == 0) {
        ui->PlaySound->setEnabled(false);
        return;
    }
    Player->Close();
    Workbench.CutClip(ViewWidth());
    const TWavStream& clip = *Workbench.ClipWave;
    Player->Open(&clip.Format);
    Player->Play(clip.Memory(), uint32_t(clip.Size()));
    Form3->ClipPlayed(clip.Size());
}

void TForm1::ToolButton7Click(QObject*)
{
    if (Workbench.ConvertedSize == 0)
        return;
    Workbench.Normalize();
    ui->PaintBox->update();
    ExecutePlaySound();
}

void TForm1::FinishExecute(QObject*)
{
    if (Workbench.ConvertedSize == 0)
        return;
    const std::optional<TFinishRecipe> recipe = FinishDlg->Execute(Workbench.ConvertedSize);
    if (!recipe)
        return;
    const uint32_t before = Workbench.ConvertedSize;
    std::vector<std::string> notes;
    {
        THourglass hourglass;
        notes = Workbench.Finish(*recipe);
    }
    ShowChangedSound(before);
    if (!notes.empty())
        StatusPanel0->setText(QString::fromStdString(notes.front()));
}

void TForm1::UndoFinishExecute(QObject*)
{
    const uint32_t before = Workbench.ConvertedSize;
    if (Workbench.UndoFinish())
        ShowChangedSound(before);
}

void TForm1::ShowChangedSound(uint32_t sizeBefore)
{
    if (Workbench.ConvertedSize != sizeBefore) {
        ui->LbSize->setText(SizeCaption(Workbench.ConvertedSize));
        Workbench.SelectWholeView(ViewWidth());
    }
    ui->PaintBox->update();
    ExecutePlaySound();
}

void TForm1::BtnSaveClick(QObject*)
{
    ExecutePlaySound();
    if (Workbench.ClipWave->Size() == 0 || Workbench.ConvertedSize == 0)
        return;
    if (OpenWave.InitialDir.isEmpty())
        SaveWave.InitialDir = ExtractFilePath(OpenWave.FileName);
    if (const QListWidgetItem* current = ui->WaveList->currentItem())
        SaveWave.FileName = ExtractFileName(current->text());
    if (!SaveWave.Execute())
        return;
    const QString path = SaveWave.FileName;
    Workbench.ClipWave->SaveToFile(LocalPath(path));
    Form3->ClipSaved(ExtractFileName(path).toStdString());
    SaveWave.InitialDir = ExtractFilePath(path);
    WriteSetting(SaveDirSetting, SaveWave.InitialDir);
}

void TForm1::ToolButton12Click(QObject*)
{
    close();
}
