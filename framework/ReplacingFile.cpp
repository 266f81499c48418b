#include "framework/ReplacingFile.h"

#include "framework/Exception.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <pthread.h>
#include <set>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <thread>
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

// The hidden files that hold a content not yet committed, so that a signal that ends the
// program can take them away. The lock is held while such a file is made, renamed or removed:
// the signals' thread, which takes it and never lets go, removes every one that exists.
struct TTemporaries {
    std::mutex Lock;
    std::set<std::string> Names;
};

TTemporaries& Temporaries()
{
    // Never destroyed: a signal may come while the program's static objects go.
    static TTemporaries& temporaries = *new TTemporaries;
    return temporaries;
}

// The signals that end the program reach the hidden files through a pipe, read by a thread that
// starts with the first hidden file: most runs make none (a new file has no name until it is
// whole), and a thread is a good part of a short run. Until then a signal ends the program at
// once. Whether a thread watches and whether a signal is ending the program are told to each
// other in the order that lets no hidden file be made unwatched: the maker says it watches
// before it looks for an ending signal, the signal says it ends before it looks for a watcher.
std::atomic<bool> SignalsWatched{false};
std::atomic<bool> SignalEnding{false};
int SignalPipe[2] = {-1, -1};

// The signal's own way out, so that whoever started the program learns why it ended.
[[noreturn]] void EndBy(int signal)
{
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    sigset_t mine;
    sigemptyset(&mine);
    sigaddset(&mine, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &mine, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

extern "C" void OnEndingSignal(int signal)
{
    const int saved = errno;
    SignalEnding = true;
    if (!SignalsWatched)
        EndBy(signal);
    const unsigned char word = static_cast<unsigned char>(signal);
    while (::write(SignalPipe[1], &word, 1) < 0 && errno == EINTR) {}
    errno = saved;
}

void RemoveAllOnSignal()
{
    unsigned char word = 0;
    ssize_t got = 0;
    while ((got = ::read(SignalPipe[0], &word, 1)) < 0 && errno == EINTR) {}
    if (got != 1)
        return;
    TTemporaries& temporaries = Temporaries();
    temporaries.Lock.lock();
    for (const std::string& name : temporaries.Names)
        ::unlink(name.c_str());
    EndBy(word);
}

// Called with the temporaries' lock held, before a hidden file is made.
void WatchSignals()
{
    if (SignalsWatched || SignalPipe[0] < 0)
        return;
    std::thread(RemoveAllOnSignal).detach();
    SignalsWatched = true;
    // A signal came before the watch: it is ending the program, which may make nothing more.
    if (SignalEnding)
        for (;;)
            ::pause();
}

// A name nobody guesses for a file beside target; getrandom costs one call where setting up
// a random device costs a noticeable part of a short conversion.
std::string HiddenName(const fs::path& target)
{
    unsigned value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != ssize_t(sizeof value))
        value = unsigned(::getpid()) * 2654435761u ^ unsigned(::clock());
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", value);
    return target.parent_path() / ("." + target.filename().string() + "." + tag + ".tmp");
}

// Gives a hidden name beside target to what `make` makes under it, and notes the name for the
// signals; `make` returns false with errno set when the name is taken or nothing can be made.
// Returns false with errno set when the folder takes no new file.
template <typename Make>
bool MakeHidden(const fs::path& target, const std::string& fileName, std::string& name, Make&& make)
{
    constexpr int attempts = 100;
    TTemporaries& temporaries = Temporaries();
    for (int attempt = 1;; ++attempt) {
        name = HiddenName(target);
        std::lock_guard<std::mutex> guard(temporaries.Lock);
        WatchSignals();
        if (make(name)) {
            temporaries.Names.insert(name);
            return true;
        }
        if (errno != EEXIST)
            return false;
        if (attempt == attempts)
            RaiseCreateError(fileName, SystemErrorText(errno));
    }
}

void RemoveHidden(const std::string& name)
{
    TTemporaries& temporaries = Temporaries();
    std::lock_guard<std::mutex> guard(temporaries.Lock);
    ::unlink(name.c_str());
    temporaries.Names.erase(name);
}

// Whether a file without a name can be given one later: linking it needs its descriptor's
// entry in /proc.
bool CanLinkUnnamed()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// A new, empty file for the content of target: one without a name in target's folder where the
// file system makes such files, else a hidden one beside target, made by this call alone.
// Returns its open handle, or -1 with errno set when the folder takes no new file.
int CreateTemporary(const fs::path& target, const std::string& fileName, std::string& name, bool& unnamed)
{
    unnamed = false;
    if (CanLinkUnnamed()) {
        const int handle = ::open(target.parent_path().c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (handle >= 0) {
            unnamed = true;
            return handle;
        }
    }
    int handle = -1;
    const bool made = MakeHidden(target, fileName, name, [&](const std::string& hidden) {
        handle = ::open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return handle >= 0;
    });
    return made ? handle : -1;
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

    const int handle = CreateTemporary(FTarget, fileName, FTemporary, FUnnamed);
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
        if (!FUnnamed)
            RemoveHidden(FTemporary);
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
    if (!FCommitted && !FInPlace && !FUnnamed)
        RemoveHidden(FTemporary);
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
    if (FUnnamed) {
        LinkUnnamed();
        return;
    }
    FStream->Close();
    TTemporaries& temporaries = Temporaries();
    std::lock_guard<std::mutex> guard(temporaries.Lock);
    if (std::rename(FTemporary.c_str(), FTarget.c_str()) != 0)
        RaiseCreateError(FFileName, SystemErrorText(errno));
    temporaries.Names.erase(FTemporary);
    FCommitted = true;
}

// A new file takes its name at once. Where a file has the name, the content gets a hidden name
// beside it first, as no call gives a file without a name the name of another.
void TReplacingFile::LinkUnnamed()
{
    const std::string self = "/proc/self/fd/" + std::to_string(FStream->Handle());
    const auto link = [&](const std::string& name) {
        return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
    };
    const bool linked = !FReplacing && link(FTarget);
    if (!linked) {
        if (!FReplacing && errno != EEXIST)
            RaiseCreateError(FFileName, SystemErrorText(errno));
        if (!MakeHidden(FTarget, FFileName, FTemporary, link))
            RaiseCreateError(FFileName, SystemErrorText(errno));
        TTemporaries& temporaries = Temporaries();
        std::lock_guard<std::mutex> guard(temporaries.Lock);
        const bool renamed = std::rename(FTemporary.c_str(), FTarget.c_str()) == 0;
        const int error = errno;
        if (!renamed)
            ::unlink(FTemporary.c_str());
        temporaries.Names.erase(FTemporary);
        if (!renamed)
            RaiseCreateError(FFileName, SystemErrorText(error));
    }
    FCommitted = true;
    try {
        FStream->Close();
    } catch (...) {
        // What the system lost on the way must not pass for the file; a replaced file's
        // content was on the disk already.
        if (linked)
            ::unlink(FTarget.c_str());
        throw;
    }
}

void RemoveTemporariesOnSignals()
{
    if (::pipe2(SignalPipe, O_CLOEXEC) != 0)
        SignalPipe[0] = SignalPipe[1] = -1;
    // A signal the program was started to ignore stays ignored.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action;
        if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        action = {};
        action.sa_handler = OnEndingSignal;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}
