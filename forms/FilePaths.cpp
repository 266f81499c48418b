#include "forms/FilePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString ExtractFilePath(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ExtractFileName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

std::string LocalPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QStringList LocalFiles(const QList<QUrl>& locations)
{
    QStringList files;
    for (const QUrl& location : locations) {
        if (!location.isLocalFile())
            continue;
        const QFileInfo file(location.toLocalFile());
        if (file.isFile())
            files << QDir::cleanPath(file.absoluteFilePath());
    }
    return files;
}

QList<QUrl> ArgumentLocations(const QStringList& arguments)
{
    QList<QUrl> locations;
    for (const QString& argument : arguments)
        locations << (argument.startsWith(QStringLiteral("file:"))
                          ? QUrl(argument)
                          : QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath()));
    return locations;
}
