#pragma once

#include "support/Files.h"
#include "support/Signal.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// The file helpers for the window-level tests, which name files and hold bytes in the
// toolkit's types, and the two ways between those bytes and the support's strings.
QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);
void WriteWithSndfile(const QString& path, int format, int rate, int channels, const std::vector<int16_t>& samples,
                      double compressionLevel = -1);

inline QByteArray ToQt(const std::string& bytes)
{
    return QByteArray::fromStdString(bytes);
}
inline std::string ToStd(const QByteArray& bytes)
{
    return bytes.toStdString();
}
