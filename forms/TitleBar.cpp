#include "forms/TitleBar.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QWindow>

namespace {

// The dialog's edge, drawn over everything it holds (a frameless window has no border).
class TEdge final : public QWidget {
public:
    explicit TEdge(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

class TTitleBar final : public QWidget {
public:
    explicit TTitleBar(QDialog& dialog) : QWidget(&dialog), FDialog(dialog), FEdge(new TEdge(&dialog))
    {
        setObjectName(QStringLiteral("TitleBar"));
        auto* caption = new QLabel(dialog.windowTitle(), this);
        caption->setObjectName(QStringLiteral("TitleCaption"));
        QFont font = caption->font();
        font.setBold(true);
        caption->setFont(font);
        connect(&dialog, &QWidget::windowTitleChanged, caption, &QLabel::setText);
        auto* close = new QToolButton(this);
        close->setObjectName(QStringLiteral("TitleClose"));
        close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
        close->setAutoRaise(true);
        close->setFocusPolicy(Qt::NoFocus);
        close->setAccessibleName(tr("Close"));
        connect(close, &QToolButton::clicked, &dialog, &QWidget::close);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(8, 2, 2, 2);
        row->addWidget(caption, 1);
        row->addWidget(close);
        setFixedHeight(std::max(24, caption->fontMetrics().height() + 10));
        dialog.installEventFilter(this);
    }

    // Across the dialog's top, and its edge around all of it.
    void Fit()
    {
        setGeometry(0, 0, FDialog.width(), height());
        FEdge->setGeometry(FDialog.rect());
        FEdge->raise();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &FDialog && event->type() == QEvent::Resize)
            Fit();
        else if (watched == &FDialog && event->type() == QEvent::ActivationChange)
            update();
        return false;
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(FDialog.isActiveWindow() ? QPalette::Midlight : QPalette::Window));
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawLine(0, height() - 1, width(), height() - 1);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && FDialog.windowHandle())
            FDialog.windowHandle()->startSystemMove();
    }

private:
    QDialog& FDialog;
    TEdge* FEdge;
};

}  // namespace

bool GiveFixedDialogTitleBar(QDialog& dialog)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return false;
    const QList<QWidget*> held = dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    const bool fixed = dialog.minimumSize() == dialog.maximumSize();
    dialog.setWindowFlag(Qt::FramelessWindowHint);
    auto* bar = new TTitleBar(dialog);
    const int height = bar->height();
    if (dialog.layout()) {
        // The layout sizes the dialog: it leaves the bar its room.
        QMargins margins = dialog.contentsMargins();
        margins.setTop(margins.top() + height);
        dialog.setContentsMargins(margins);
    } else {
        for (QWidget* child : held)
            child->move(child->x(), child->y() + height);
        if (fixed)
            dialog.setFixedSize(dialog.width(), dialog.height() + height);
    }
    bar->Fit();
    return true;
}
