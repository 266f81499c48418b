#include "platform/Messages.h"

#include <QCoreApplication>
#include <atomic>
#include <memory>

QEvent::Type TMessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

namespace {

std::atomic<void (*)()> ErrorDisplay{nullptr};

}  // namespace

void SetMessageErrorDisplay(void (*display)())
{
    ErrorDisplay = display;
}

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!window)
        return false;
    auto event = std::make_unique<TMessageEvent>(TMessage{msg, wParam, lParam});
    QCoreApplication::postEvent(window, event.release());
    return true;
}

const TMessage* WindowMessage(const QEvent* event)
{
    if (event->type() != TMessageEvent::EventType())
        return nullptr;
    return &static_cast<const TMessageEvent*>(event)->Message;
}

TMessageWindow::TMessageWindow(THandler handler, QObject* parent) : QObject(parent), FHandler(std::move(handler)) {}

bool TMessageWindow::event(QEvent* event)
{
    if (const TMessage* message = WindowMessage(event)) {
        try {
            FHandler(*message);
        } catch (...) {
            const auto display = ErrorDisplay.load();
            if (!display)
                throw;
            display();
        }
        return true;
    }
    return QObject::event(event);
}
