#pragma once

#include "support/WaveTesting.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

class QTemporaryDir;

// Points the sound system's driver at the test sound server from now on (for as long as
// `environment` lives), or returns false when ./test.sh has started none.
bool UseTestSoundServer(ScopedEnvironment& environment, const QTemporaryDir& cookieDir);

// The streams playing into the test server right now, by the server's index for each.
QStringList ServerPlayers();

// Tests that sound through the test suite's own PulseAudio server, which ./test.sh starts
// (scripts/sound-server.sh): the sound system's driver is pointed at it for each test. Its
// sink "out" is where the program plays, its sink "micfeed" what the program hears.
class SoundServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    QTemporaryDir FCookie;
    ScopedEnvironment FEnvironment;
};

// The test server goes away as a desktop's does when it crashes or restarts, and comes back
// at the same address with the same sinks (scripts/sound-server.sh). The server is back when
// the test ends, whatever happened in it.
class SoundServerLossTest : public SoundServerTest {
protected:
    void TearDown() override;
    // Ends the server at once; true once it is gone.
    bool KillServer();
    // Starts it again; true once it answers.
    bool RestartServer();

private:
    bool FKilled = false;
};

// The client streams recording from the test server right now.
QStringList ServerRecorders();

// Records what reaches a source of the test server, as raw taunt-format bytes.
class ServerRecorder {
public:
    // Starts recording; true once the first bytes have come, so that the stream runs.
    bool Start(const QString& source);
    // Reads on until the bytes so far satisfy `enough` or the time is up; returns them all.
    QByteArray ReadUntil(const std::function<bool(const QByteArray&)>& enough, int milliseconds);
    // Like ReadUntil, but the event loop keeps running meanwhile, so that capture notices and
    // pass-through writes go on.
    QByteArray ReadWhileLoopRuns(const std::function<bool(const QByteArray&)>& enough, int milliseconds);
    ~ServerRecorder();

private:
    QProcess FProcess;
    QByteArray FBytes;
};

// Plays raw taunt-format bytes into a sink of the test server and waits until they are out.
bool PlayIntoServer(const QString& sink, const QByteArray& bytes);

// The same, with the event loop running until the bytes are out.
bool PlayIntoServerWhileLoopRuns(const QString& sink, const QByteArray& bytes);

// True once `stream` holds `sound` followed by at least `after` more bytes.
bool HoldsSoundAndMore(const QByteArray& stream, const QByteArray& sound, qsizetype after);
