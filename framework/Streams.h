#pragma once

#include <QFile>
#include <QString>
#include <cstdint>
#include <memory>
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
    void LoadFromFile(const QString& fileName);
    void LoadFromStream(TStream& source);
    void SaveToFile(const QString& fileName) const;

private:
    void SetCapacity(int64_t capacity);

    uint8_t* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FCapacity = 0;
    int64_t FPosition = 0;
};

enum class TFileMode { Create, OpenRead, OpenReadWrite };

// A file on disk as a stream. Create makes a new file or empties an existing one.
class TFileStream : public TStream {
public:
    TFileStream(const QString& fileName, TFileMode mode);
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return FFile.size(); }
    void SetSize(int64_t newSize) override;
    const QString& FileName() const { return FFileName; }

    // Writes what is buffered and reports a failure as EWriteError.
    void Flush();

private:
    QString FFileName;
    QFile FFile;
};
