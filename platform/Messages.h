#pragma once

#include "acm/MMSystem.h"

#include <QEvent>
#include <QObject>
#include <functional>

// Window messages: a message number with two parameters, posted to a window and handled
// later on the user-interface thread. Posting is thread-safe; it is the only way a device
// thread reaches the user interface.
using HWND = QObject*;

constexpr UINT WM_USER = 0x400;
constexpr UINT MM_WOM_DONE = 0x3BD;
constexpr UINT MM_WIM_DATA = 0x3C0;

struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
};

class TMessageEvent : public QEvent {
public:
    explicit TMessageEvent(const TMessage& message) : QEvent(EventType()), Message(message) {}
    static QEvent::Type EventType();
    TMessage Message;
};

// Queues the message for the window; false when there is no window.
bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);

// The message an event carries, or nullptr when the event is no window message.
const TMessage* WindowMessage(const QEvent* event);

// Where an error that leaves a message window's handler is shown: the program's default
// error display, which the application object installs; it is called inside the catch block.
// The error is caught where it happens and never unwinds through the toolkit's event loop.
void SetMessageErrorDisplay(void (*display)());

// A window that is never shown: it only receives messages and hands them to its handler.
// An error the handler raises goes to the message error display.
class TMessageWindow : public QObject {
public:
    using THandler = std::function<void(const TMessage&)>;
    explicit TMessageWindow(THandler handler, QObject* parent = nullptr);

protected:
    bool event(QEvent* event) override;

private:
    THandler FHandler;
};
