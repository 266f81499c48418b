#pragma once

#include <QFlags>
#include <QWidget>
#include <functional>

class QPainter;

// What a mouse event of a control carries besides its position: the keys and buttons held,
// and whether the press is the second one of a double click.
enum TShiftFlag {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20,
    ssDouble = 0x40,
};
Q_DECLARE_FLAGS(TShiftState, TShiftFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TShiftState)

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// The shift state for these keyboard modifiers and held buttons. Keys and buttons that
// have no flag (the meta key, extra mouse buttons) are left out.
TShiftState ShiftState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

// A plain drawing surface whose window draws it and reads the mouse over it: each paint
// starts from the window's face colour, lines are drawn without antialiasing so that they
// land on whole pixels, and every mouse event reaches the window with its shift state.
// Moves reach it also with nothing held, and while a button pressed over it is held they
// reach it wherever the mouse goes, so X and Y may lie outside the surface.
// Errors that leave a handler go to the default error display.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* parent = nullptr);

    std::function<void(QObject* Sender, QPainter& Canvas)> OnPaint;
    std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)> OnMouseDown;
    std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)> OnMouseMove;
    std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Press(QMouseEvent* event, TShiftState extra);
};
