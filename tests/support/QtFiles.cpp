#include "support/QtFiles.h"

#include "forms/FilePaths.h"

QByteArray ReadFile(const QString& path)
{
    return ToQt(ReadFile(LocalPath(path)));
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    WriteFile(LocalPath(path), ToStd(bytes));
}

void WriteWithSndfile(const QString& path, int format, int rate, int channels, const std::vector<int16_t>& samples,
                      double compressionLevel)
{
    WriteWithSndfile(LocalPath(path), format, rate, channels, samples, compressionLevel);
}
