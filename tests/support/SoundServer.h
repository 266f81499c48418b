#pragma once

#include "support/WaveTesting.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <string>
#include <gtest/gtest.h>

class QTemporaryDir;

// Points the sound system's driver at the test sound server from now on (for as long as
// `environment` lives), or returns false when ./test.sh has started none.
bool UseTestSoundServer(ScopedEnvironment& environment, const QTemporaryDir& cookieDir);

// Whether the test server is the PipeWire stack (JEERBOX_TEST_SOUND_SERVER).
bool OnPipeWire();

// The streams playing into the test server right now, by the server's index for each (or,
// with "source-outputs", recording from it).
QStringList ServerPlayers(const QString& kind = "sink-inputs");

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

// The test server goes away and comes back, as a desktop's does when it crashes or restarts.
class SoundServerLossTest : public SoundServerTest {
protected:
    void TearDown() override;  // the server is back when the test ends
    // scripts/sound-server.sh "kill" (at once, as a crash) or "restart" (at the same address
    // with the same sinks); true when done.
    bool Server(const char* command);

private:
    bool FGone = false;
};

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

// True once `stream` holds `sound` followed by at least `after` more bytes (the sound's bytes
// may stand apart as FillerBetween allows).
bool HoldsSoundAndMore(const QByteArray& stream, const QByteArray& sound, qsizetype after);

// How many bytes of silence the server put between the sound's bytes when the stream holds all
// of them, in order and unchanged, with only silence around and between them; -1 when it does
// not. A client that misses its turn on a loaded machine leaves such a gap, which the server
// fills with silence; a lost, changed or extra byte of sound is never taken for one. `end`, if
// given, gets where the sound's last byte is followed.
qsizetype FillerBetween(const QByteArray& stream, const QByteArray& sound, qsizetype* end = nullptr);

// Where a sound that FillerBetween does not find whole broke: how many of its bytes came in
// order, and what came then (a stretch of it dropped, another byte, or nothing).
std::string WhereItBroke(const QByteArray& stream, const QByteArray& sound);

// What a server's sink heard holds the sound whole amid silence, as FillerBetween allows, with
// at most a tenth of a second of such gaps (reported when there are any).
void ExpectHeardAmidSilence(const QByteArray& stream, const QByteArray& sound);
