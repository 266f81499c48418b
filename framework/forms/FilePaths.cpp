#include "framework/forms/FilePaths.h"

#include <QFile>

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
