#include "framework/Streams.h"

#include "framework/Exception.h"
#include "platform/HugePages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError(QStringLiteral("Stream read error"));
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError(QStringLiteral("Stream write error"));
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    if (auto* memory = dynamic_cast<TMemoryStream*>(&source)) {
        const int64_t start = memory->Position();
        if (start + count > memory->Size())
            throw EReadError(QStringLiteral("Stream read error"));
        WriteBuffer(memory->Memory() + start, count);
        memory->Seek(count, TSeekOrigin::Current);
        return count;
    }
    std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
    int64_t left = count;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(block.size()));
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        left -= n;
    }
    return count;
}

TMemoryStream::~TMemoryStream()
{
    std::free(FMemory);
}

void TMemoryStream::SetCapacity(int64_t capacity)
{
    if (capacity == FCapacity)
        return;
    if (capacity == 0) {
        std::free(FMemory);
        FMemory = nullptr;
    } else {
        auto* grown = static_cast<uint8_t*>(std::realloc(FMemory, static_cast<size_t>(capacity)));
        if (!grown)
            throw std::bad_alloc();
        if (capacity > FCapacity)
            AdviseHugePages(grown + FCapacity, static_cast<size_t>(capacity - FCapacity));
        FMemory = grown;
    }
    FCapacity = capacity;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || FPosition < 0 || FPosition >= FSize)
        return 0;
    const int64_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0 || FPosition < 0)
        return 0;
    const int64_t end = FPosition + count;
    if (end > FCapacity)
        SetCapacity(std::max(end, FCapacity + FCapacity / 2));
    if (FPosition > FSize)
        std::memset(FMemory + FSize, 0, static_cast<size_t>(FPosition - FSize));
    std::memcpy(FMemory + FPosition, buffer, static_cast<size_t>(count));
    FSize = std::max(FSize, end);
    FPosition = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case TSeekOrigin::Beginning: FPosition = offset; break;
    case TSeekOrigin::Current: FPosition += offset; break;
    case TSeekOrigin::End: FPosition = FSize + offset; break;
    }
    return FPosition;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    newSize = std::max<int64_t>(newSize, 0);
    const int64_t old = FSize;
    SetCapacity(newSize);
    if (newSize > old)
        std::memset(FMemory + old, 0, static_cast<size_t>(newSize - old));
    FSize = newSize;
    FPosition = std::min(FPosition, FSize);
}

void TMemoryStream::Clear()
{
    SetCapacity(0);
    FSize = 0;
    FPosition = 0;
}

void TMemoryStream::LoadFromFile(const QString& fileName)
{
    TFileStream file(fileName, TFileMode::OpenRead);
    LoadFromStream(file);
}

void TMemoryStream::LoadFromStream(TStream& source)
{
    source.SetPosition(0);
    const int64_t size = source.Size();
    // The bytes are read straight into fresh memory: zeroing it first would only be overwritten.
    TMemoryStream loaded;
    loaded.SetCapacity(size);
    loaded.FSize = size;
    source.ReadBuffer(loaded.FMemory, size);
    std::swap(FMemory, loaded.FMemory);
    std::swap(FSize, loaded.FSize);
    std::swap(FCapacity, loaded.FCapacity);
    FPosition = 0;
}

void TMemoryStream::SaveToFile(const QString& fileName) const
{
    TFileStream file(fileName, TFileMode::Create);
    file.WriteBuffer(FMemory, FSize);
    file.Flush();
}

TFileStream::TFileStream(const QString& fileName, TFileMode mode) : FFileName(fileName), FFile(fileName)
{
    switch (mode) {
    case TFileMode::Create:
        if (!FFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, FFile.errorString()));
        break;
    case TFileMode::OpenRead:
    case TFileMode::OpenReadWrite:
        if (!FFile.open(mode == TFileMode::OpenRead ? QIODevice::ReadOnly : QIODevice::ReadWrite))
            throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, FFile.errorString()));
        break;
    }
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    const qint64 n = FFile.read(static_cast<char*>(buffer), count);
    return n < 0 ? 0 : n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    const qint64 n = FFile.write(static_cast<const char*>(buffer), count);
    return n < 0 ? 0 : n;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t target = offset;
    if (origin == TSeekOrigin::Current)
        target += FFile.pos();
    else if (origin == TSeekOrigin::End)
        target += FFile.size();
    FFile.seek(target);
    return FFile.pos();
}

void TFileStream::SetSize(int64_t newSize)
{
    if (!FFile.resize(newSize))
        throw EWriteError(QStringLiteral("Stream write error"));
}

void TFileStream::Flush()
{
    if (!FFile.flush())
        throw EWriteError(QStringLiteral("Stream write error"));
}
