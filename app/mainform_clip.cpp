// The workbench window's work on the converted sound: converting the current file, the
// waveform view and the selection made in it with the mouse, playing the selected clip,
// normalizing, saving the clip, and leaving the program.

#include "app/mainform.h"

#include "sound/Normalize.h"
#include "devices/ACMWaveOut.h"
#include "framework/Exception.h"
#include "forms/Application.h"
#include "forms/FilePaths.h"
#include "forms/Hourglass.h"
#include "forms/Settings.h"
#include "gamtable/frmSaveGam.h"
#include "sound/ACMConvertor.h"
#include "sound/SoundFile.h"
#include "ui_mainform.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

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

int64_t TForm1::ColumnsToBytes(int64_t columns) const
{
    return columns * ConvertedSize / ui->PaintBox->width();
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
    // Once the convertor has let go of its buffers, the sound that ConvertedSize counted is
    // gone; until a new count replaces it, nothing may read those bytes.
    bool released = false;
    bool converted = false;
    try {
        Convertor->SetActive(false);
        released = true;
        SourceWave->Clear();
        LoadSoundFile(*SourceWave, LocalPath(path));
        ConvertedSize = ConvertWave(*Convertor, *SourceWave);
        converted = true;
        ShowConvertedSound();
        ExecutePlaySound();
        Form3->SoundName = "New Sound";
        Form3->FileName = TShortString();
    } catch (const std::exception& e) {
        if (released && !converted)
            ForgetConvertedSound();
        ShowMessage(QStringLiteral("Error converting ") + path + QStringLiteral(": ") + ExceptionMessage(e));
    }
}

void TForm1::ShowConvertedSound()
{
    ui->PlaySound->setEnabled(ConvertedSize != 0);
    ui->BtnConvert->setEnabled(false);
    ui->LbSize->setText(SizeCaption(ConvertedSize));
    SelStartX = 1;
    SelEndX = ui->PaintBox->width() - 1;
    ui->PaintBox->update();
    SelStartOffset = uint32_t(ColumnsToBytes(SelStartX));
}

void TForm1::ForgetConvertedSound()
{
    ConvertedSize = 0;
    ui->PlaySound->setEnabled(false);
    ui->LbSize->setText(SizeCaption(0));
    ui->PaintBox->update();
}

void TForm1::PaintBoxPaint(QObject*, QPainter& Canvas)
{
    const int W = ui->PaintBox->width();
    const int H = ui->PaintBox->height();
    Canvas.setPen(QColor(0, 0, 255));
    Canvas.drawPolyline(QPolygon({{0, 0}, {W - 1, 0}, {W - 1, H - 1}, {0, H - 1}, {0, 0}}));
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
        wave.setPoint(x + 1, x, static_cast<int>(std::nearbyint(Convertor->OutputBuffer[i] * scaleY)));
    }
    Canvas.drawPolyline(wave);

    Canvas.setPen(QColor(255, 255, 0));
    Canvas.drawLine(SelStartX, 0, SelStartX, H);
    Canvas.drawLine(SelEndX, 0, SelEndX, H);
}

bool TForm1::MovingSelection() const
{
    return ui->PaintBox->cursor().shape() == Qt::SizeAllCursor;
}

void TForm1::PaintBoxMouseDown(QObject*, TMouseButton, TShiftState Shift, int X, int)
{
    if (Shift & (ssShift | ssMiddle)) {
        DragAnchorX = X;
        DragAnchorStartX = SelStartX;
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
    const int W = ui->PaintBox->width();
    X = std::max(X, 1);
    bool moved = false;
    if (Shift == ssLeft) {
        if (SelEndX == 0)
            SelEndX = W - 1;
        if (X < SelEndX)
            SelStartX = X;
    } else if (Shift == ssRight) {
        if (X > SelStartX)
            SelEndX = std::min(X, W - 1);
    } else if ((Shift == (ssShift | ssLeft) || Shift == ssMiddle) && MovingSelection()) {
        const int64_t width = int64_t(SelEndX) - SelStartX;
        int64_t newStart = std::max<int64_t>(1, int64_t(DragAnchorStartX) + X - DragAnchorX);
        int64_t newEnd = newStart + width;
        if (newEnd >= W) {
            newEnd = W - 1;
            newStart = newEnd - width;
        }
        SelStartX = int32_t(newStart);
        SelEndX = int32_t(newEnd);
        moved = true;
    }
    if (SelStartX > 0 && SelEndX > 0) {
        if (ConvertedSize > 0)
            SelStartOffset = uint32_t(ColumnsToBytes(SelStartX));
        ui->LbSize->setText(SizeCaption(ColumnsToBytes(int64_t(SelEndX) - SelStartX)));
    }
    // A move plays at every step, and what it plays starts where the selection now is.
    if (moved)
        ExecutePlaySound();
    ui->PaintBox->update();
}

void TForm1::PlaySoundExecute(QObject*)
{
    const int64_t clipBytes = ColumnsToBytes(int64_t(SelEndX) - SelStartX);
    if (ConvertedSize == 0) {
        ui->PlaySound->setEnabled(false);
        return;
    }
    Player->Close();
    ClipWave->Clear();
    ClipWave->SetFormat(Convertor->FormatOut.Format);
    Player->Open(&ClipWave->Format);
    // The selection's bytes always lie within the converted sound; the bounds hold that even
    // for a selection another window left behind.
    const uint32_t offset = std::min(SelStartOffset, ConvertedSize);
    const uint32_t size = uint32_t(std::clamp<int64_t>(clipBytes, 0, ConvertedSize - offset));
    ClipWave->SetSize(size);
    if (size > 0)
        std::memcpy(ClipWave->Memory(), Convertor->OutputBuffer + offset, size);
    Player->Play(ClipWave->Memory(), size);
    Form3->Params.LoopEnd = int32_t(ClipWave->Size() - 1);
}

void TForm1::ToolButton7Click(QObject*)
{
    if (ConvertedSize == 0)
        return;
    NormalizeSamples(Convertor->OutputBuffer, ConvertedSize);
    ui->PaintBox->update();
    ExecutePlaySound();
}

void TForm1::BtnSaveClick(QObject*)
{
    ExecutePlaySound();
    if (ClipWave->Size() == 0 || ConvertedSize == 0)
        return;
    if (OpenWave.InitialDir.isEmpty())
        SaveWave.InitialDir = ExtractFilePath(OpenWave.FileName);
    if (const QListWidgetItem* current = ui->WaveList->currentItem())
        SaveWave.FileName = ExtractFileName(current->text());
    if (!SaveWave.Execute())
        return;
    const QString path = SaveWave.FileName;
    ClipWave->SaveToFile(LocalPath(path));
    Form3->Params.LoopStart = 0;
    Form3->FileName = ExtractFileName(path).toStdString();
    SaveWave.InitialDir = ExtractFilePath(path);
    WriteSetting(SaveDirSetting, SaveWave.InitialDir);
}

void TForm1::ToolButton12Click(QObject*)
{
    close();
}
