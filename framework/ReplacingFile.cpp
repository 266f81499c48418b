#include "framework/ReplacingFile.h"

#include "framework/Exception.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {
EFCreateError CreateError(const std::string& fileName, const std::string& reason)
{
    return EFCreateError("Cannot create file \"" + fileName + "\". " + reason);
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char folder[PATH_MAX];
    if (!::getcwd(folder, sizeof folder))
        return path;
    return std::string(folder) + "/" + path;
}

// The file that receives the content: an existing file's real path, the file a dangling
// link points at, or the name itself.
std::string TargetOf(const std::string& fileName)
{
    if (char* real = ::realpath(fileName.c_str(), nullptr)) {
        std::string target = real;
        std::free(real);
        return target;
    }
    struct stat info;
    if (::lstat(fileName.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        std::string link(size_t(PATH_MAX), '\0');
        const ssize_t n = ::readlink(fileName.c_str(), link.data(), link.size());
        if (n > 0) {
            link.resize(size_t(n));
            return link[0] == '/' ? link : FolderOf(Absolute(fileName)) + "/" + link;
        }
    }
    return Absolute(fileName);
}

// A new, empty file beside target, made by this call alone; returns its open handle.
int CreateTemporary(const std::string& target, const std::string& fileName, std::string& name)
{
    const size_t slash = target.rfind('/');
    const std::string folder = target.substr(0, slash + 1);
    const std::string base = target.substr(slash + 1);
    std::random_device random;
    constexpr int attempts = 100;
    for (int attempt = 1;; ++attempt) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "%08x", unsigned(random()));
        name = folder + "." + base + "." + tag + ".tmp";
        const int handle = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (handle >= 0)
            return handle;
        if (errno != EEXIST || attempt == attempts)
            throw CreateError(fileName, SystemErrorText(errno));
    }
}
}

TReplacingFile::TReplacingFile(const std::string& fileName) : FFileName(fileName)
{
    if (fileName.empty())
        throw CreateError(fileName, "No file name specified");
    FTarget = TargetOf(fileName);

    // What could not be written in place is not replaced either.
    struct stat existing;
    const bool exists = ::stat(FTarget.c_str(), &existing) == 0;
    FReplacing = exists;
    if (exists) {
        const int handle = ::open(FTarget.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (handle < 0)
            throw CreateError(fileName, SystemErrorText(errno));
        ::close(handle);
    }

    const int handle = CreateTemporary(FTarget, fileName, FTemporary);
    try {
        if (exists && ::fchmod(handle, existing.st_mode & 07777) != 0)
            throw CreateError(fileName, "Cannot keep the file's permissions");
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
        throw CreateError(FFileName, SystemErrorText(errno));
    FCommitted = true;
}
