#pragma once

#include <QApplication>
#include <QFont>
#include <QString>
#include <exception>
#include <utility>

// The program's application object: its title captions the message boxes, and an error
// that leaves a handler is shown by the default error display while the program runs on.
// Every window it shows uses the layout font.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    // The font the windows' pixel layouts were made for: Liberation Sans, 11 pixels high,
    // carried in the program's resources.
    static QFont LayoutFont();

    static QString Title();
    static void SetTitle(const QString& title);

    // The default error display: an error box with the title as caption and the message,
    // with "." appended when the message's last character sorts after ".".
    static void ShowException(const std::exception& e);
    // The text the default error display shows for a message.
    static QString ErrorText(const QString& message);
    // Shows the exception being handled (call from a catch block).
    static void HandleException();

    bool notify(QObject* receiver, QEvent* event) override;
};

// The message of any exception, as the program shows it.
QString ExceptionMessage(const std::exception& e);

// Runs f, and shows any error that leaves it through the default error display: for
// handlers called directly by the program rather than through a Qt event.
template <typename F>
void RunGuarded(F&& f)
{
    try {
        std::forward<F>(f)();
    } catch (...) {
        TApplication::HandleException();
    }
}

// Wraps a handler without arguments so that errors leaving it reach the default error
// display before they could unwind through the toolkit.
template <typename F>
auto Guarded(F f)
{
    return [f = std::move(f)]() { RunGuarded(f); };
}
