#include "forms/WindowPlacement.h"

#include <QScreen>
#include <QWidget>

void CentreOnScreen(QWidget& window)
{
    const QWidget* owner = window.parentWidget();
    const QScreen* display = owner ? owner->screen() : window.screen();
    if (!display)
        return;
    const QRect frame = window.frameGeometry();
    window.move(display->availableGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}
