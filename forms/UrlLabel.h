#pragma once

#include <QLabel>
#include <QString>
#include <functional>

class QMouseEvent;

// Told the shell's result code when a label's URL could not be opened.
using TOnExecFail = std::function<void(int WinCode)>;
using TNotifyEvent = std::function<void(QObject* Sender)>;

// A label that opens a URL through the shell when clicked: a mail address, a web page, a file.
// Until a URL is given, every caption is its URL too, so a label made with only a caption opens
// what it says. A label with a URL looks like a link (blue, underlined, hand cursor); one with an
// empty URL is plain text and does nothing. Its text is always shown as plain text.
class TUrlLabel : public QLabel {
    Q_OBJECT
    // The stored properties, in the order a layout sets them: a caption given before the URL
    // does not replace it.
    Q_PROPERTY(QString URL READ URL WRITE SetURL)
    Q_PROPERTY(QString Param MEMBER Param)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    explicit TUrlLabel(QWidget* owner = nullptr);

    const QString& URL() const { return FURL; }
    // Makes the URL explicit: later captions leave it alone. Non-empty: the label looks like a
    // link; empty: like plain text. Bold and italic stay as they were.
    void SetURL(const QString& value);
    QString Caption() const { return text(); }
    // Sets the text, and the URL too while none was given explicitly.
    void SetCaption(const QString& value);
    // True once a URL was given explicitly.
    bool URLSet() const { return FURLSet; }

    // Handed to the shell together with the URL; empty by default.
    QString Param;
    // Called instead of raising an error when the shell cannot open the URL.
    TOnExecFail OnExecFail;
    // The click event: UrlClick from construction on; a handler assigned here replaces it.
    TNotifyEvent OnClick;

    // Opens the URL, if there is one.
    void UrlClick(QObject* Sender);
    // Asks the shell to open the URL. When the shell fails, OnExecFail is told the code, or,
    // without a handler, an Exception says "Action failed! Win32 error code: " and the code.
    void OpenURL();

protected:
    // A click is a left press and release on the label.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString FURL;
    bool FURLSet = false;
    bool FPressed = false;
};
