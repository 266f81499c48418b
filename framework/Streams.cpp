#include "framework/Streams.h"

#include "framework/Exception.h"
#include "framework/HugePages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
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
            throw EReadError("Stream read error");
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

void TMemoryStream::LoadFromFile(const std::string& fileName)
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
    PrefaultPages(loaded.FMemory, static_cast<size_t>(size));
    loaded.FSize = size;
    source.ReadBuffer(loaded.FMemory, size);
    std::swap(FMemory, loaded.FMemory);
    std::swap(FSize, loaded.FSize);
    std::swap(FCapacity, loaded.FCapacity);
    FPosition = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const
{
    TFileStream file(fileName, TFileMode::Create);
    file.WriteBuffer(FMemory, FSize);
    file.Close();
}

void RaiseFileError(TFileMode mode, const std::string& fileName, const std::string& reason)
{
    if (mode == TFileMode::Create)
        throw EFCreateError("Cannot create file \"" + fileName + "\". " + reason);
    throw EFOpenError("Cannot open file \"" + fileName + "\". " + reason);
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : FFileName(fileName)
{
    if (fileName.empty())
        RaiseFileError(mode, fileName, "No file name specified");
    const int flags = mode == TFileMode::Create ? O_WRONLY | O_CREAT | O_TRUNC
        : mode == TFileMode::OpenRead           ? O_RDONLY
                                                : O_RDWR;
    FHandle = ::open(fileName.c_str(), flags | O_CLOEXEC, 0666);
    if (FHandle < 0)
        RaiseFileError(mode, fileName, SystemErrorText(errno));
    // A folder opens for reading but is no file to read.
    struct stat info;
    if (mode != TFileMode::Create && ::fstat(FHandle, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        RaiseFileError(mode, fileName, SystemErrorText(EISDIR));
    }
}

TFileStream::TFileStream(const std::string& fileName, int handle) : FFileName(fileName), FHandle(handle) {}

TFileStream::~TFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

namespace {
// Repeats a read or write call until count bytes are through, the file ends or it fails.
template <typename Transfer>
int64_t TransferAll(int64_t count, Transfer transfer)
{
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = transfer(done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    return TransferAll(count,
                       [&](int64_t done, size_t n) { return ::read(FHandle, static_cast<char*>(buffer) + done, n); });
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    return TransferAll(
        count, [&](int64_t done, size_t n) { return ::write(FHandle, static_cast<const char*>(buffer) + done, n); });
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == TSeekOrigin::Beginning ? SEEK_SET
        : origin == TSeekOrigin::Current                ? SEEK_CUR
                                                        : SEEK_END;
    const off_t position = ::lseek(FHandle, offset, whence);
    return position < 0 ? ::lseek(FHandle, 0, SEEK_CUR) : position;
}

int64_t TFileStream::Size() const
{
    struct stat info;
    return ::fstat(FHandle, &info) == 0 ? info.st_size : 0;
}

void TFileStream::SetSize(int64_t newSize)
{
    if (::ftruncate(FHandle, newSize) != 0)
        throw EWriteError("Stream write error");
}

void TFileStream::Sync()
{
    if (::fdatasync(FHandle) != 0)
        throw EWriteError("Stream write error");
}

void TFileStream::Close()
{
    const int handle = FHandle;
    FHandle = -1;
    if (handle >= 0 && ::close(handle) != 0 && errno != EINTR)
        throw EWriteError("Stream write error");
}
