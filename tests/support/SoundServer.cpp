#include "support/SoundServer.h"

#include "platform/WaveDriver.h"

#include <QElapsedTimer>
#include <QTest>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

const QStringList TauntStream = {"--format=u8", "--rate=22050", "--channels=1", "--raw"};

// Played as 16-bit samples: at its end a stream runs dry, and pipewire-pulse fills a dry 8-bit
// stream with zeros, which the microphone would then hear.
bool StartPlaying(QProcess& pacat, const QString& sink, const QByteArray& bytes)
{
    pacat.start("pacat", QStringList{"-d", sink, "--format=s16le", "--rate=22050", "--channels=1", "--raw"});
    if (!pacat.waitForStarted(5000))
        return false;
    QByteArray wide;
    for (char byte : bytes) {
        const auto sample = static_cast<int16_t>((uint8_t(byte) - 128) * 256);
        wide.append(char(sample & 0xFF)).append(char(sample >> 8));
    }
    pacat.write(wide);
    pacat.closeWriteChannel();
    return true;
}

bool PlayedWhole(const QProcess& pacat)
{
    return pacat.state() == QProcess::NotRunning && pacat.exitStatus() == QProcess::NormalExit && pacat.exitCode() == 0;
}

}  // namespace

bool OnPipeWire()
{
    return qgetenv("JEERBOX_TEST_SOUND_SERVER") == "pipewire";
}

bool UseTestSoundServer(ScopedEnvironment& environment, const QTemporaryDir& cookieDir)
{
    const QByteArray server = qgetenv("JEERBOX_TEST_PULSE_SERVER");
    if (server.isEmpty())
        return false;
    environment.Set("PULSE_SERVER", server);
    // The server takes anyone; the cookie only keeps the client away from the user's own.
    environment.Set("PULSE_COOKIE", cookieDir.filePath("cookie").toUtf8());
    // The PipeWire stack is reached through its PulseAudio service too, unless the run asks for
    // SDL's own PipeWire backend (JEERBOX_TEST_SDL_AUDIODRIVER=pipewire).
    const QByteArray backend = qgetenv("JEERBOX_TEST_SDL_AUDIODRIVER");
    environment.Set("SDL_AUDIODRIVER", backend.isEmpty() ? QByteArray("pulseaudio") : backend);
    const QByteArray dir = qgetenv("JEERBOX_TEST_SOUND_DIR");
    if (!dir.isEmpty())
        environment.Set("PIPEWIRE_RUNTIME_DIR", dir);
    // Two channels mix down to one as their mean, as the stack's own clients are told to.
    environment.Set("PIPEWIRE_PROPS", "{ channelmix.normalize = true }");
    SetWaveDriver(nullptr);
    return true;
}

QStringList ServerPlayers(const QString& kind)
{
    QProcess pactl;
    pactl.start("pactl", QStringList{"list", "short", kind});
    if (!pactl.waitForFinished(5000))
        return QStringList{"pactl did not answer"};
    QStringList players;
    for (const QString& line : QString::fromUtf8(pactl.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        players << line.section('\t', 0, 0);
    return players;
}

void SoundServerTest::SetUp()
{
    if (!UseTestSoundServer(FEnvironment, FCookie))
        GTEST_SKIP() << "needs the test sound server that ./test.sh starts (JEERBOX_TEST_PULSE_SERVER)";
}

void SoundServerTest::TearDown()
{
    SetWaveDriver(nullptr);
}

void SoundServerLossTest::TearDown()
{
    EXPECT_TRUE(!FGone || Server("restart")) << "the test sound server did not come back";
    SoundServerTest::TearDown();
}

bool SoundServerLossTest::Server(const char* command)
{
    QProcess script;
    script.start("bash", {JEERBOX_SOURCE_DIR "/scripts/sound-server.sh", command});
    const bool done =
        script.waitForFinished(15000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
    FGone = qstrcmp(command, "kill") == 0 ? FGone || done : FGone && !done;
    return done;
}

bool ServerRecorder::Start(const QString& source)
{
    // Small fragments, so that bytes arrive as they reach the source, not seconds later.
    FProcess.start("parec", QStringList{"-d", source, "--latency-msec=10"} + TauntStream);
    if (!FProcess.waitForStarted(5000) || !FProcess.waitForReadyRead(5000))
        return false;
    FBytes += FProcess.readAllStandardOutput();
    return true;
}

QByteArray ServerRecorder::ReadUntil(const std::function<bool(const QByteArray&)>& enough, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!enough(FBytes) && timer.elapsed() < milliseconds) {
        FProcess.waitForReadyRead(50);
        FBytes += FProcess.readAllStandardOutput();
    }
    return FBytes;
}

QByteArray ServerRecorder::ReadWhileLoopRuns(const std::function<bool(const QByteArray&)>& enough, int milliseconds)
{
    (void)QTest::qWaitFor(
        [&] {
            FBytes += FProcess.readAllStandardOutput();
            return enough(FBytes);
        },
        milliseconds);
    return FBytes;
}

ServerRecorder::~ServerRecorder()
{
    FProcess.terminate();
    if (!FProcess.waitForFinished(3000))
        FProcess.kill();
    FProcess.waitForFinished(3000);
}

bool PlayIntoServer(const QString& sink, const QByteArray& bytes)
{
    QProcess pacat;
    return StartPlaying(pacat, sink, bytes) && pacat.waitForFinished(10000) && PlayedWhole(pacat);
}

bool PlayIntoServerWhileLoopRuns(const QString& sink, const QByteArray& bytes)
{
    QProcess pacat;
    if (!StartPlaying(pacat, sink, bytes))
        return false;
    (void)QTest::qWaitFor([&] { return pacat.state() == QProcess::NotRunning; }, 10000);
    return PlayedWhole(pacat);
}

namespace {

// The sound's bytes found in the stream in order, with only silence around and between them:
// how many came (`next`), where the last one ends, the silence between them, and where a byte
// that is neither the sound's next nor silence came (-1 if none did).
struct TWalk {
    qsizetype next = 0, end = -1, filler = 0, astray = -1;
};

TWalk Walk(const QByteArray& stream, const QByteArray& sound)
{
    TWalk walk;
    // Silence at the sound's start cannot be told from the silence before it.
    while (walk.next < sound.size() && sound[walk.next] == '\x80')
        ++walk.next;
    const qsizetype unheard = walk.next;
    for (qsizetype i = 0; i < stream.size(); ++i) {
        if (walk.next < sound.size() && stream[i] == sound[walk.next]) {
            if (++walk.next == sound.size())
                walk.end = i + 1;
        } else if (stream[i] != '\x80') {
            walk.astray = i;
            break;
        } else if (walk.next > unheard && walk.next < sound.size()) {
            ++walk.filler;
        }
    }
    return walk;
}

}  // namespace

bool HoldsSoundAndMore(const QByteArray& stream, const QByteArray& sound, qsizetype after)
{
    const qsizetype at = stream.indexOf(sound);
    qsizetype end = at >= 0 ? at + sound.size() : -1;
    if (at < 0 && FillerBetween(stream, sound, &end) < 0)
        return false;
    return stream.size() - end >= after;
}

qsizetype FillerBetween(const QByteArray& stream, const QByteArray& sound, qsizetype* end)
{
    const TWalk walk = Walk(stream, sound);
    if (walk.astray >= 0 || walk.next < sound.size())
        return -1;
    if (end)
        *end = walk.end;
    return walk.filler;
}

std::string WhereItBroke(const QByteArray& stream, const QByteArray& sound)
{
    const TWalk walk = Walk(stream, sound);
    const std::string came = std::to_string(walk.next) + " of " + std::to_string(sound.size()) + " bytes in order";
    if (walk.astray < 0)
        return came + ", then nothing more";
    for (qsizetype dropped = 1; dropped <= 8192 && walk.next + dropped + 32 <= sound.size(); ++dropped)
        if (stream.mid(walk.astray, 32) == sound.mid(walk.next + dropped, 32))
            return came + ", then " + std::to_string(dropped) + " of them dropped";
    return came + ", then byte " + std::to_string(uint8_t(stream[walk.astray])) + " at " + std::to_string(walk.astray);
}

void ExpectHeardAmidSilence(const QByteArray& stream, const QByteArray& sound)
{
    const qsizetype filler = FillerBetween(stream, sound);
    ASSERT_GE(filler, 0) << "the sound is not there whole amid silence: " << WhereItBroke(stream, sound);
    EXPECT_LT(filler, 2205) << "the sound stalled for a tenth of a second or more";
    if (filler > 0)
        std::printf("The server filled %lld bytes of gaps with silence.\n", static_cast<long long>(filler));
}
