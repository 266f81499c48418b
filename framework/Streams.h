#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TSeekOrigin { Beginning, Current, End };

// A sequence of bytes with a position, read and written in blocks.
class TStream {
public:
    virtual ~TStream() = default;
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size() const = 0;
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }

    // Read or write exactly count bytes, or raise EReadError / EWriteError.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);

    // Copies count bytes from source's position (count 0: the whole of source from its start).
    int64_t CopyFrom(TStream& source, int64_t count);
};

// One contiguous, growable byte buffer whose address clients may use directly.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return FSize; }
    // Grows or shrinks the buffer to exactly newSize bytes, keeping the leading bytes.
    void SetSize(int64_t newSize) override;

    uint8_t* Memory() { return FMemory; }
    const uint8_t* Memory() const { return FMemory; }
    void Clear();
    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(TStream& source);
    void SaveToFile(const std::string& fileName) const;

private:
    void SetCapacity(int64_t capacity);

    uint8_t* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FCapacity = 0;
    int64_t FPosition = 0;
};

enum class TFileMode { Create, OpenRead, OpenReadWrite };

// Raises the error for a file that could not be made (EFCreateError, "Cannot create file
// "<name>". <reason>") or opened (EFOpenError, "Cannot open file ...").
[[noreturn]] void RaiseFileError(TFileMode mode, const std::string& fileName, const std::string& reason);

// A file on disk as a stream, unbuffered: every Write reaches the file at once. Create makes
// a new file or empties an existing one. Raises EFCreateError / EFOpenError naming the file.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, TFileMode mode);
    // Takes over a file already open as handle (closed with the stream).
    TFileStream(const std::string& fileName, int handle);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override;
    void SetSize(int64_t newSize) override;
    const std::string& FileName() const { return FFileName; }
    // The open file's descriptor, for mapping its pages.
    int Handle() const { return FHandle; }

    // Puts what was written on the disk itself; raises EWriteError when it cannot.
    void Sync();
    // Closes the file now; raises EWriteError when the system reports that written bytes
    // were lost on the way.
    void Close();

private:
    std::string FFileName;
    int FHandle = -1;
};
