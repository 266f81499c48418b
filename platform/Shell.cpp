#include "platform/Shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

IShell*& InstalledShell()
{
    static IShell* shell = nullptr;
    return shell;
}

// A scheme of one letter would take a drive letter ("C:") for one.
bool HasScheme(const QString& target)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(target).hasMatch();
}

}  // namespace

IShell& Shell()
{
    static TDesktopShell desktop;
    IShell* installed = InstalledShell();
    return installed ? *installed : desktop;
}

void SetShell(IShell* shell)
{
    InstalledShell() = shell;
}

intptr_t ShellExecute(HWND parent, const QString& operation, const QString& file, const QString& parameters,
                      const QString& directory, int showCmd)
{
    return Shell().Execute(parent, operation, file, parameters, directory, showCmd);
}

TDesktopShell::TDesktopShell(TUrlHandler handler) : FHandler(std::move(handler))
{
    if (!FHandler)
        FHandler = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

intptr_t TDesktopShell::Execute(HWND, const QString& operation, const QString& file, const QString&,
                                const QString& directory, int)
{
    if (!operation.isEmpty() && operation.compare(QStringLiteral("open"), Qt::CaseInsensitive) != 0)
        return SE_ERR_NOASSOC;
    if (file.isEmpty())
        return SE_ERR_FNF;

    QUrl url;
    if (HasScheme(file)) {
        url = QUrl(file, QUrl::TolerantMode);
        if (!url.isValid())
            return SE_ERR_FNF;
        if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
            return SE_ERR_FNF;
    } else {
        if (!directory.isEmpty() && !QFileInfo(directory).isDir())
            return SE_ERR_PNF;
        const QString path = QDir(directory.isEmpty() ? QDir::currentPath() : directory).absoluteFilePath(file);
        if (!QFileInfo::exists(path))
            return SE_ERR_FNF;
        url = QUrl::fromLocalFile(path);
    }
    return FHandler(url) ? SE_OPENED : SE_ERR_NOASSOC;
}
