#include "platform/SoundServerWatch.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Held while a probe of Answers is connected and while the connections are listed, so that a
// probe made on another thread is never taken for a device's connection.
std::mutex ProbeLock;

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Where libpulse connects: the first local server PULSE_SERVER lists, else the user's runtime
// folder; empty when the server is elsewhere (over the network).
std::string PulseSocket()
{
    const std::string servers = Environment("PULSE_SERVER");
    if (!servers.empty()) {
        std::string first = servers.substr(0, servers.find(' '));
        if (first.rfind("unix:", 0) == 0)
            return first.substr(5);
        return first.rfind('/', 0) == 0 ? first : std::string();
    }
    const std::string runtime = Environment("PULSE_RUNTIME_PATH");
    if (!runtime.empty())
        return runtime + "/native";
    const std::string user = Environment("XDG_RUNTIME_DIR");
    return user.empty() ? std::string() : user + "/pulse/native";
}

// Where libpipewire connects: PIPEWIRE_REMOTE (pipewire-0 unless set) in its runtime folder.
std::string PipeWireSocket()
{
    std::string remote = Environment("PIPEWIRE_REMOTE");
    if (remote.empty())
        remote = "pipewire-0";
    if (remote.front() == '/')
        return remote;
    for (const char* folder : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR", "USERPROFILE"}) {
        const std::string dir = Environment(folder);
        if (!dir.empty())
            return dir + "/" + remote;
    }
    return {};
}

ino_t NodeOf(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode) ? status.st_ino : 0;
}

// Whether a server takes a connection at the socket; a refusal other than "nobody is there"
// is taken as an answer.
bool Answers(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return true;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    std::lock_guard<std::mutex> probing(ProbeLock);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true;
    const bool refused = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        (errno == ECONNREFUSED || errno == ENOENT);
    close(fd);
    return !refused;
}

// Whether the descriptor is a local socket connected to the socket at path.
bool ConnectedTo(int fd, const std::string& path)
{
    sockaddr_un peer{};
    socklen_t size = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0 || peer.sun_family != AF_UNIX ||
        size <= offsetof(sockaddr_un, sun_path))
        return false;
    const size_t length = strnlen(peer.sun_path, size - offsetof(sockaddr_un, sun_path));
    return path.compare(0, std::string::npos, peer.sun_path, length) == 0;
}

// Whether a connection has ended: its other end has gone, or the descriptor no longer holds it
// (closed, perhaps taken since by another file).
bool Ended(int fd, ino_t node)
{
    struct stat status;
    if (fstat(fd, &status) != 0 || status.st_ino != node)
        return true;
    pollfd watched{fd, POLLRDHUP, 0};
    return poll(&watched, 1, 0) == 1 && (watched.revents & (POLLHUP | POLLRDHUP | POLLERR));
}

}  // namespace

TSoundServerWatch::TSoundServerWatch(const char* backend)
{
    if (!backend)
        return;
    if (std::strcmp(backend, "pulseaudio") == 0)
        FPath = PulseSocket();
    else if (std::strcmp(backend, "pipewire") == 0)
        FPath = PipeWireSocket();
    FNode = FPath.empty() ? 0 : NodeOf(FPath);
    if (FNode == 0)
        FPath.clear();
}

bool TSoundServerWatch::Same() const
{
    return FPath.empty() ||
        (NodeOf(FPath) == FNode && Answers(FPath) &&
         std::none_of(FConnections.begin(), FConnections.end(),
                      [](const auto& connection) { return Ended(connection.first, connection.second); }));
}

std::set<int> TSoundServerWatch::Connections() const
{
    std::set<int> found;
    if (FPath.empty())
        return found;
    std::lock_guard<std::mutex> probing(ProbeLock);
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return found;
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0' && fd != dirfd(folder) && ConnectedTo(int(fd), FPath))
            found.insert(int(fd));
    }
    closedir(folder);
    return found;
}

void TSoundServerWatch::WatchConnectionsSince(const std::set<int>& before)
{
    FConnections.clear();
    struct stat status;
    for (const int fd : Connections())
        if (!before.count(fd) && fstat(fd, &status) == 0)
            FConnections.emplace(fd, status.st_ino);
}
