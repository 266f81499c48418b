#include "forms/FirstPaint.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

class TFirstPaintWatch : public QObject {
public:
    TFirstPaintWatch(QWidget& window, std::function<void()> then) : QObject(&window), FThen(std::move(then))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched == parent() && !FPainted) {
            // The window's own paint comes first, its controls' after it.
            FPainted = true;
            QTimer::singleShot(0, this, [this] { Run(); });
        } else if (StartsCommand(event->type())) {
            Run();
        }
        return false;
    }

private:
    static bool StartsCommand(QEvent::Type type)
    {
        return type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick || type == QEvent::KeyPress ||
            type == QEvent::ShortcutOverride;
    }

    void Run()
    {
        if (!FThen)
            return;
        qApp->removeEventFilter(this);
        const std::function<void()> then = std::exchange(FThen, nullptr);
        deleteLater();
        then();
    }

    std::function<void()> FThen;
    bool FPainted = false;
};

}

void WhenFirstPainted(QWidget& Window, std::function<void()> Then)
{
    new TFirstPaintWatch(Window, std::move(Then));
}
