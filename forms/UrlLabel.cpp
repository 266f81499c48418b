#include "forms/UrlLabel.h"

#include "forms/Application.h"
#include "framework/Exception.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QMainWindow>
#include <QMouseEvent>

namespace {

// The window the program was started with, which the shell may place its own windows over.
QWidget* MainWindow()
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(window))
            return window;
    return nullptr;
}

}  // namespace

TUrlLabel::TUrlLabel(QWidget* owner) : QLabel(owner)
{
    setTextFormat(Qt::PlainText);
    OnClick = [this](QObject* sender) { UrlClick(sender); };
}

void TUrlLabel::SetCaption(const QString& value)
{
    setText(value);
    if (!FURLSet)
        FURL = value;
}

void TUrlLabel::SetURL(const QString& value)
{
    FURLSet = true;
    FURL = value;
    const bool link = !value.isEmpty();

    QPalette colours = palette();
    const QPalette system = QApplication::palette(this);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        colours.setColor(group, QPalette::WindowText,
                         link ? QColor(0, 0, 255) : system.color(group, QPalette::WindowText));
    setPalette(colours);

    QFont look = font();
    look.setUnderline(link);
    setFont(look);

    if (link)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void TUrlLabel::UrlClick(QObject*)
{
    if (!FURL.isEmpty())
        OpenURL();
}

void TUrlLabel::OpenURL()
{
    if (FURL.isEmpty())
        return;
    QWidget* parentWindow = parent() ? MainWindow() : nullptr;
    const intptr_t result = ShellExecute(parentWindow, QStringLiteral("open"), FURL, Param, QString(), SW_SHOWNORMAL);
    if (result > 32)
        return;
    if (OnExecFail) {
        OnExecFail(int(result));
        return;
    }
    throw Exception("Action failed! Win32 error code: " + std::to_string(result));
}

void TUrlLabel::mousePressEvent(QMouseEvent* event)
{
    FPressed = event->button() == Qt::LeftButton;
    if (FPressed)
        event->accept();
    else
        QLabel::mousePressEvent(event);
}

void TUrlLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    FPressed = false;
    QLabel::mouseReleaseEvent(event);
    // An error leaving the handler goes to the default error display, and the window stays.
    if (click && OnClick)
        RunGuarded([this] { OnClick(this); });
}
