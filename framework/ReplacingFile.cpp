#include "framework/ReplacingFile.h"

#include "framework/Exception.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
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

// A new, empty file beside target, made by this call alone; returns its open handle.
int CreateTemporary(const fs::path& target, const std::string& fileName, std::string& name)
{
    std::random_device random;
    constexpr int attempts = 100;
    for (int attempt = 1;; ++attempt) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "%08x", unsigned(random()));
        name = target.parent_path() / ("." + target.filename().string() + "." + tag + ".tmp");
        const int handle = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle >= 0)
            return handle;
        if (errno != EEXIST || attempt == attempts)
            RaiseCreateError(fileName, SystemErrorText(errno));
    }
}
}

TReplacingFile::TReplacingFile(const std::string& fileName) : FFileName(fileName)
{
    if (fileName.empty())
        RaiseCreateError(fileName, "No file name specified");
    FTarget = TargetOf(fileName);

    // What could not be written in place is not replaced either.
    struct stat existing;
    const bool exists = ::stat(FTarget.c_str(), &existing) == 0;
    FReplacing = exists;
    if (exists) {
        const int handle = ::open(FTarget.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (handle < 0)
            RaiseCreateError(fileName, SystemErrorText(errno));
        ::close(handle);
    }

    const int handle = CreateTemporary(FTarget, fileName, FTemporary);
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

TReplacingFile::~TReplacingFile()
{
    FStream.reset();
    if (!FCommitted)
        ::unlink(FTemporary.c_str());
}

void TReplacingFile::Commit()
{
    // The content is on the disk before the old file's name is taken, so that a crash
    // leaves either file.
    if (FReplacing)
        FStream->Sync();
    FStream->Close();
    if (std::rename(FTemporary.c_str(), FTarget.c_str()) != 0)
        RaiseCreateError(FFileName, SystemErrorText(errno));
    FCommitted = true;
}
