#include "about/Unit2.h"

#include "forms/TitleBar.h"
#include "forms/Application.h"
#include "forms/WindowPlacement.h"
#include "ui_Unit2.h"

#include <QHideEvent>
#include <QKeyEvent>
#include <QShowEvent>
#include <algorithm>

namespace {

// Sizes a label to its text, ink included: a glyph that reaches left of where the text starts
// (the tail of a "j") gets room instead of being cut off, and only the mail address itself is
// a link, not the empty width beside it.
void FitToText(QLabel& label)
{
    const QRect ink = label.fontMetrics().boundingRect(label.text());
    const int before = std::max(0, -ink.left());
    label.setContentsMargins(before, 0, 0, 0);
    label.adjustSize();
    label.resize(std::max(label.width(), before + ink.right() + 1), label.height());
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>())
{
    ui->setupUi(this);
    // A dialog border: the box keeps its designed size.
    setFixedSize(size());
    FitLabels();
    GiveFixedDialogTitleBar(*this);
    connect(ui->OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

TAboutBox::~TAboutBox() = default;

void TAboutBox::FitLabels()
{
    for (QLabel* label : {ui->ProductName, ui->Version, ui->Copyright, static_cast<QLabel*>(ui->UrlLabel1)})
        FitToText(*label);
}

void TAboutBox::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // A new font for the box is a new width for every text in it.
    if (event->type() == QEvent::FontChange)
        FitLabels();
}

void TAboutBox::FormHide()
{
    if (ClosePlayer)
        RunGuarded(ClosePlayer);
}

void TAboutBox::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Each showing is centred on the screen, not on the window that opened it.
    if (!event->spontaneous())
        CentreOnScreen(*this);
}

void TAboutBox::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    // Being minimised does not close the box, so the jingle plays on.
    if (!event->spontaneous())
        FormHide();
}

void TAboutBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
