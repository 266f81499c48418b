#pragma once

#include "platform/Messages.h"

#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>

// The shell: opens a document or a URL (a web page, a mail address) with the program the
// desktop has chosen for it. Only the verb "open" exists here, and the shell never starts a
// program by its path: it hands the desktop a URL, so nothing a caller passes can become a
// command or one of its options.

// The show state of a normal window. The desktop's program chooses its own window, so the
// shell accepts the state and does not use it.
constexpr int SW_SHOWNORMAL = 1;

// Result codes of ShellExecute: above 32 the target was opened; 32 or less it was not, and the
// code says why.
constexpr intptr_t SE_ERR_FNF = 2;  // no target, or a local file or folder that does not exist
constexpr intptr_t SE_ERR_PNF = 3;  // the working folder does not exist
constexpr intptr_t SE_ERR_NOASSOC = 31;  // a verb other than "open", or the desktop has no program for it
constexpr intptr_t SE_OPENED = 42;  // handed to the desktop's program for it

class IShell {
public:
    virtual ~IShell() = default;
    // Performs the verb on the target; see ShellExecute.
    virtual intptr_t Execute(HWND parent, const QString& operation, const QString& file, const QString& parameters,
                             const QString& directory, int showCmd) = 0;
};

// The shell in use: the desktop's, unless another one has been installed.
IShell& Shell();
// Installs the shell that answers from now on; nullptr returns to the desktop's.
void SetShell(IShell* shell);

// Performs operation ("open"; empty means "open") on file through the shell in use. file is a
// URL with a scheme of two letters or more ("mailto:...", "https://...", "file:///..."), or
// else the path of a local file, relative to directory (empty: the current folder).
// parameters are for programs started by their path, which this shell does not do: they are
// passed on to the shell in use and not used by the desktop's.
intptr_t ShellExecute(HWND parent, const QString& operation, const QString& file, const QString& parameters,
                      const QString& directory, int showCmd);

// The desktop's shell: a target that names nothing on this machine is refused here, the rest
// goes to the desktop's URL handler (Qt's, which asks the desktop portal or xdg-open).
class TDesktopShell : public IShell {
public:
    using TUrlHandler = std::function<bool(const QUrl&)>;
    // handler: what hands a URL to the desktop; true when a program took it. Empty: Qt's.
    explicit TDesktopShell(TUrlHandler handler = {});

    intptr_t Execute(HWND parent, const QString& operation, const QString& file, const QString& parameters,
                     const QString& directory, int showCmd) override;

private:
    TUrlHandler FHandler;
};
