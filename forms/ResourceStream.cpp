#include "forms/ResourceStream.h"

#include <QFileInfo>
#include <QResource>
#include <algorithm>
#include <cstring>

TResourceStream::TResourceStream(const QString& name, const QString& type)
{
    const QString path = QStringLiteral(":/") + type + QLatin1Char('/') + name;
    const QResource resource(path);
    if (!resource.isValid() || !QFileInfo(path).isFile())
        throw EResNotFound("Resource " + name.toStdString() + " not found");
    // A resource stored uncompressed is read in place, without a copy.
    FData = resource.uncompressedData();
}

int64_t TResourceStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FPosition < 0 || FPosition >= Size())
        return 0;
    const int64_t n = std::min(count, Size() - FPosition);
    std::memcpy(buffer, Memory() + FPosition, size_t(n));
    FPosition += n;
    return n;
}

int64_t TResourceStream::Write(const void*, int64_t)
{
    throw EStreamError("Can't write to a read-only resource stream");
}

void TResourceStream::SetSize(int64_t)
{
    throw EStreamError("Can't write to a read-only resource stream");
}

int64_t TResourceStream::Seek(int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case TSeekOrigin::Beginning: FPosition = offset; break;
    case TSeekOrigin::Current: FPosition += offset; break;
    case TSeekOrigin::End: FPosition = Size() + offset; break;
    }
    return FPosition;
}
