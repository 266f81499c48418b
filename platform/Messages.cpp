#include "platform/Messages.h"

#include <QCoreApplication>

QEvent::Type TMessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool PostMessage(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!window)
        return false;
    QCoreApplication::postEvent(window, new TMessageEvent(TMessage{msg, wParam, lParam}));
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
        FHandler(*message);
        return true;
    }
    return QObject::event(event);
}
