#include "platform/SoundServerWatch.h"
#include "support/WaveTesting.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int Connect(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// A server started by its socket keeps the socket when it starts again: the watch tells by the
// connections made for the device, which hang up when the server that took them ends, or which
// their library closes as soon as it sees so (libpipewire does, before the watch looks; the
// number may then be taken by the next file opened).
TEST(ServerSocketWatchTest, TheDevicesConnectionHangingUpMeansTheServerEndedThoughItsSocketStays)
{
    QTemporaryDir dir(QDir::tempPath() + "/server-XXXXXX");  // PULSE_SERVER is a list split at spaces
    const std::string path = dir.filePath("native").toStdString();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listening, 16), 0);
    ScopedEnvironment environment;
    environment.Set("PULSE_SERVER", QByteArray("unix:") + path.c_str());

    TSoundServerWatch watch("pulseaudio");
    ASSERT_EQ(watch.Path(), path);
    const int earlier = Connect(path);
    const int earlierServed = accept(listening, nullptr, nullptr);
    const std::set<int> before = watch.Connections();
    EXPECT_EQ(before, std::set<int>{earlier});
    const int device = Connect(path);
    const int deviceServed = accept(listening, nullptr, nullptr);
    watch.WatchConnectionsSince(before);
    EXPECT_TRUE(watch.Same());
    close(earlierServed);
    EXPECT_TRUE(watch.Same()) << "a connection made before the device's is not the device's";
    close(deviceServed);
    EXPECT_FALSE(watch.Same()) << "the server that took the device's connection has ended";

    close(device);
    const int next = Connect(path);
    const int nextServed = accept(listening, nullptr, nullptr);
    watch.WatchConnectionsSince(before);
    ASSERT_TRUE(watch.Same());
    close(next);
    EXPECT_FALSE(watch.Same()) << "the device's connection closed on its own side";
    ASSERT_EQ(Connect(path), next);
    EXPECT_FALSE(watch.Same()) << "its number taken by another connection";
    for (const int fd : {earlier, next, nextServed, listening})
        close(fd);
}

}  // namespace
