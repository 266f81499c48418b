#include "framework/ReplacingFile.h"

#include "framework/Exception.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
[[noreturn]] void RaiseCreateError(const std::string& fileName, const std::string& reason)
{
    RaiseFileError(TFileMode::Create, fileName, reason);
}

fs::path Absolute(const fs::path& path)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute;
}

// The file that receives the content: an existing file's real path, the file a dangling
// link points at, or the name itself.
std::string TargetOf(const std::string& fileName)
{
    std::error_code error;
    const fs::path real = fs::canonical(fileName, error);
    if (!error)
        return real;
    const fs::path link = fs::read_symlink(fileName, error);
    if (!error)
        return link.is_absolute() ? link : Absolute(fileName).parent_path() / link;
    return Absolute(fileName);
}

// A new, empty file beside target, made by this call alone; returns its open handle, or -1
// with errno set when the folder takes no new file.
int CreateTemporary(const fs::path& target, const std::string& fileName, std::string& name)
{
    // A name nobody guesses; getrandom costs one call where setting up a random device costs
    // a noticeable part of a short conversion.
    auto random = [] {
        unsigned value = 0;
        if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != ssize_t(sizeof value))
            value = unsigned(::getpid()) * 2654435761u ^ unsigned(::clock());
        return value;
    };
    constexpr int attempts = 100;
    for (int attempt = 1;; ++attempt) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "%08x", random());
        name = target.parent_path() / ("." + target.filename().string() + "." + tag + ".tmp");
        const int handle = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle >= 0)
            return handle;
        if (errno != EEXIST)
            return -1;
        if (attempt == attempts)
            RaiseCreateError(fileName, SystemErrorText(errno));
    }
}
}

TReplacingFile::TReplacingFile(const std::string& fileName) : FFileName(fileName)
{
    if (fileName.empty())
        RaiseCreateError(fileName, "No file name specified");
    FTarget = TargetOf(fileName);

    // Only a regular file is replaced: a device or a pipe is no file to put content beside
    // (opening a pipe would wait for a reader, renaming over a device would remove it).
    struct stat existing;
    const bool exists = ::stat(FTarget.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        RaiseCreateError(fileName, SystemErrorText(EISDIR));
    if (exists && !S_ISREG(existing.st_mode))
        RaiseCreateError(fileName, "It is not a regular file");

    // What could not be written in place is not replaced either.
    FReplacing = exists;
    if (exists) {
        const int handle = ::open(FTarget.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (handle < 0)
            RaiseCreateError(fileName, SystemErrorText(errno));
        ::close(handle);
    }

    const int handle = CreateTemporary(FTarget, fileName, FTemporary);
    if (handle < 0) {
        // A folder that takes no new file may still hold a file its user may write: that file
        // is written in place, as a writable file is expected to be.
        const int error = errno;
        if (!exists || (error != EACCES && error != EPERM))
            RaiseCreateError(fileName, SystemErrorText(error));
        OpenInPlace();
        return;
    }
    try {
        if (exists && ::fchmod(handle, existing.st_mode & 07777) != 0)
            RaiseCreateError(fileName, "Cannot keep the file's permissions");
        FStream = std::make_unique<TFileStream>(FTemporary, handle);
    } catch (...) {
        ::close(handle);
        ::unlink(FTemporary.c_str());
        throw;
    }
}

// The old content stays until the new is written over it, and the file is cut to the new
// length only at Commit.
void TReplacingFile::OpenInPlace()
{
    FInPlace = true;
    FTemporary.clear();
    const int handle = ::open(FTarget.c_str(), O_WRONLY | O_CLOEXEC);
    if (handle < 0)
        RaiseCreateError(FFileName, SystemErrorText(errno));
    FStream = std::make_unique<TFileStream>(FTarget, handle);
}

TReplacingFile::~TReplacingFile()
{
    FStream.reset();
    if (!FCommitted && !FInPlace)
        ::unlink(FTemporary.c_str());
}

void TReplacingFile::Commit()
{
    if (FInPlace) {
        FStream->SetSize(FStream->Position());
        FStream->Sync();
        FStream->Close();
        FCommitted = true;
        return;
    }
    // The content is on the disk before the old file's name is taken, so that a crash
    // leaves either file.
    if (FReplacing)
        FStream->Sync();
    FStream->Close();
    if (std::rename(FTemporary.c_str(), FTarget.c_str()) != 0)
        RaiseCreateError(FFileName, SystemErrorText(errno));
    FCommitted = true;
}
