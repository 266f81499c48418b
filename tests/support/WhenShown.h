#pragma once

#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <functional>

// Runs `action` once a dialog has been shown and everything posted before its showing has been
// handled, inside the dialog's own message loop; `atShow`, if given, runs as it is shown. For
// as long as it lives.
class WhenShown : public QObject {
public:
    WhenShown(QDialog& dialog, std::function<void()> action, std::function<void()> atShow = {})
        : FDialog(dialog), FAction(std::move(action)), FAtShow(std::move(atShow))
    {
        dialog.installEventFilter(this);
    }
    ~WhenShown() override { FDialog.removeEventFilter(this); }
    WhenShown(const WhenShown&) = delete;
    WhenShown& operator=(const WhenShown&) = delete;

    bool Ran = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (FAtShow)
                FAtShow();
            QTimer::singleShot(0, this, [this] {
                Ran = true;
                FAction();
            });
        }
        return false;
    }

private:
    QDialog& FDialog;
    std::function<void()> FAction;
    std::function<void()> FAtShow;
};
