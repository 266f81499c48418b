#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <string>

// The folder part of a path, up to and including its last separator ("" when it has none).
QString ExtractFilePath(const QString& path);
// The name part of a path, after its last separator.
QString ExtractFileName(const QString& path);

// A path as the file system spells it: the sound components take such paths.
std::string LocalPath(const QString& path);

// The files among locations dropped on a window or named on the command line, in their
// order, as full paths: folders, missing files and anything not on this machine are left out.
// Nothing else is filtered: a location given twice is kept twice.
QStringList LocalFiles(const QList<QUrl>& locations);
// Command-line arguments as locations: a path (relative ones from the working folder) or a
// file URL.
QList<QUrl> ArgumentLocations(const QStringList& arguments);
