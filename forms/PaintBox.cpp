#include "forms/PaintBox.h"

#include "forms/Application.h"

#include <QMouseEvent>
#include <QPainter>
#include <cmath>
#include <optional>

namespace {

std::optional<TMouseButton> ButtonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return TMouseButton::mbLeft;
    case Qt::RightButton: return TMouseButton::mbRight;
    case Qt::MiddleButton: return TMouseButton::mbMiddle;
    default: return std::nullopt;
    }
}

// The pixel the mouse is on: positions can be fractional on scaled screens.
QPoint PixelOf(const QMouseEvent* event)
{
    const QPointF position = event->position();
    return {int(std::floor(position.x())), int(std::floor(position.y()))};
}

}  // namespace

TShiftState ShiftState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons)
{
    TShiftState shift;
    shift.setFlag(ssShift, modifiers.testFlag(Qt::ShiftModifier));
    shift.setFlag(ssAlt, modifiers.testFlag(Qt::AltModifier));
    shift.setFlag(ssCtrl, modifiers.testFlag(Qt::ControlModifier));
    shift.setFlag(ssLeft, buttons.testFlag(Qt::LeftButton));
    shift.setFlag(ssRight, buttons.testFlag(Qt::RightButton));
    shift.setFlag(ssMiddle, buttons.testFlag(Qt::MiddleButton));
    return shift;
}

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
}

void TPaintBox::paintEvent(QPaintEvent*)
{
    QPainter canvas(this);
    canvas.fillRect(rect(), palette().color(QPalette::Window));
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (OnPaint)
        RunGuarded([&] { OnPaint(this, canvas); });
}

void TPaintBox::Press(QMouseEvent* event, TShiftState extra)
{
    const std::optional<TMouseButton> button = ButtonOf(event->button());
    if (!button || !OnMouseDown)
        return;
    const TShiftState shift = ShiftState(event->modifiers(), event->buttons()) | extra;
    const QPoint at = PixelOf(event);
    RunGuarded([&] { OnMouseDown(this, *button, shift, at.x(), at.y()); });
}

void TPaintBox::mousePressEvent(QMouseEvent* event)
{
    Press(event, {});
}

// The second press of a double click comes as its own event; the handler sees it as a press
// that carries the double-click flag.
void TPaintBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    Press(event, ssDouble);
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    if (!OnMouseMove)
        return;
    const TShiftState shift = ShiftState(event->modifiers(), event->buttons());
    const QPoint at = PixelOf(event);
    RunGuarded([&] { OnMouseMove(this, shift, at.x(), at.y()); });
}

void TPaintBox::mouseReleaseEvent(QMouseEvent* event)
{
    const std::optional<TMouseButton> button = ButtonOf(event->button());
    if (!button || !OnMouseUp)
        return;
    const TShiftState shift = ShiftState(event->modifiers(), event->buttons());
    const QPoint at = PixelOf(event);
    RunGuarded([&] { OnMouseUp(this, *button, shift, at.x(), at.y()); });
}
