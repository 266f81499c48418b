#pragma once

#include <QString>
#include <string>

// The folder part of a path, up to and including its last separator ("" when it has none).
QString ExtractFilePath(const QString& path);
// The name part of a path, after its last separator.
QString ExtractFileName(const QString& path);

// A path as the file system spells it: the sound components take such paths.
std::string LocalPath(const QString& path);
