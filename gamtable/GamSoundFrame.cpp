#include "gamtable/GamSoundFrame.h"

#include "ui_GamSoundFrame.h"

#include <QResizeEvent>

TFrmGamSound::TFrmGamSound(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TFrmGamSound>())
{
    ui->setupUi(this);
    UseLayoutFont(*this);
    FLaidOutWidth = width();
}

TFrmGamSound::~TFrmGamSound() = default;

void UseLayoutFont(QWidget& window)
{
    QFont font = window.font();
    font.setPixelSize(LayoutFontPixels);
    window.setFont(font);
}

QCheckBox* TFrmGamSound::FlagBox(int bit) const
{
    QCheckBox* const boxes[] = {ui->CheckBox1, ui->CheckBox2, ui->CheckBox3, ui->CheckBox4, ui->CheckBox5,
                                ui->CheckBox6, ui->CheckBox7, ui->CheckBox8, ui->CheckBox9};
    return boxes[bit];
}

void TFrmGamSound::FitToWidth()
{
    const int grown = width() - FLaidOutWidth;
    FLaidOutWidth = width();
    for (QWidget* edit : {static_cast<QWidget*>(ui->edSoundName), static_cast<QWidget*>(ui->edFileName)})
        edit->resize(edit->width() + grown, edit->height());
}

void TFrmGamSound::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FitToWidth();
}
