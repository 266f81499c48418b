#pragma once

#include <map>
#include <set>
#include <string>
#include <sys/types.h>

// The local socket of the sound server that one of SDL's backends ("pulseaudio", "pipewire")
// talks to, watched from outside SDL. SDL hears that its server has gone only when it next
// writes to it (PulseAudio) or never (PipeWire), while an idle output writes nothing; the
// socket tells at once whether a server still answers there and whether it is still the one
// the device was opened on, since a server that starts again makes its socket anew. A server
// started by its socket (systemd's socket activation, as Debian's desktops start PipeWire and
// its PulseAudio service) keeps the socket when it starts again: the connections made for the
// device tell then, as they hang up when the server that took them ends, or are closed by the
// library that made them once it has seen so (libpipewire lets go at once). Closing the device
// closes them too, so a watch is asked only while its device is open.
class TSoundServerWatch {
public:
    TSoundServerWatch() = default;
    // Watches the server the backend reaches now, as its environment names it.
    explicit TSoundServerWatch(const char* backend);

    // False when nothing answers at the address, or another server has taken it since; true
    // also when the backend has no local socket to watch (a remote server, a file, no sound).
    bool Same() const;

    // The process's connections to the socket, by descriptor.
    std::set<int> Connections() const;
    // Watches the connections to the socket made since `before` was taken (Connections).
    void WatchConnectionsSince(const std::set<int>& before);

    // The socket's path, empty when there is none to watch.
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    ino_t FNode = 0;
    std::map<int, ino_t> FConnections;  // descriptor -> its socket's inode, so that a reuse tells
};
