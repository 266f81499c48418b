// Two figures of recording, measured on the test sound server: the pass-through latency (from
// a marker entering the microphone feed "micfeed" to its arrival at the output's monitor
// "out.monitor", through a capture and an output set up as the recording dialog sets them up:
// 2 capture buffers of 2048 bytes, 2 blocks held back), and the continuity of a 60-second
// capture fed with a known signal (bytes lost or inserted). Run it through
// scripts/bench-recording.sh, which starts the server and points the program at it.
//
// A marker is timed where it enters (the monitor of "micfeed") and where it comes out (the
// monitor of "out"), each read by parec in 10 ms fragments and stamped on one clock; each
// figure is good to about 10 ms.
#include "devices/ACMIn.h"
#include "devices/ACMOut.h"
#include "sound/TauntFormat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int Rate = 22050;
const QStringList TauntStream = {"--format=u8", "--rate=22050", "--channels=1", "--raw"};
constexpr char Silence = '\x80';

TWaveFormatBlock TauntBlock()
{
    TWaveFormatBlock block{};
    block.Format = TauntFormat;
    return block;
}

// Noise that never holds silence, so that it stands out in a captured stream.
QByteArray Noise(qsizetype size, uint32_t seed)
{
    QByteArray bytes(size, '\0');
    uint32_t state = seed * 2654435761u | 1;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state >> 24);
        if (byte == Silence)
            byte = 0x7F;
    }
    return bytes;
}

void RunFor(int milliseconds)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Plays raw taunt-format bytes into a sink without waiting for them to be out.
class Player {
public:
    Player(const QString& sink, const QByteArray& bytes)
    {
        FProcess.start("pacat", QStringList{"-d", sink} + TauntStream);
        FProcess.waitForStarted(5000);
        FProcess.write(bytes);
        FProcess.closeWriteChannel();
    }
    ~Player()
    {
        if (!FProcess.waitForFinished(10000))
            FProcess.kill();
    }

private:
    QProcess FProcess;
};

// A source of the server, read as it arrives; each read is stamped with the clock.
class Monitor {
public:
    Monitor(const QString& source, const QElapsedTimer& clock) : FClock(clock)
    {
        FProcess.start("parec", QStringList{"-d", source, "--latency-msec=10"} + TauntStream);
        FProcess.waitForStarted(5000);
        QObject::connect(&FProcess, &QProcess::readyReadStandardOutput, [this] {
            Bytes += FProcess.readAllStandardOutput();
            FEnds.push_back({Bytes.size(), FClock.nsecsElapsed()});
        });
    }
    ~Monitor()
    {
        FProcess.terminate();
        FProcess.waitForFinished(3000);
    }
    // When (ns on the clock) the byte at `offset` reached the source: the stamp of the read
    // that brought it, less the bytes that came after it in that read.
    qint64 ArrivalOf(qsizetype offset) const
    {
        for (const auto& [end, stamp] : FEnds)
            if (end > offset)
                return stamp - (end - 1 - offset) * 1000000000 / Rate;
        return -1;
    }
    QByteArray Bytes;

private:
    const QElapsedTimer& FClock;
    QProcess FProcess;
    std::vector<std::pair<qsizetype, qint64>> FEnds;
};

// Waits for the marker in the monitor's bytes after `from`; its arrival on the clock, or -1.
qint64 AwaitMarker(const Monitor& monitor, const QByteArray& marker, qsizetype from)
{
    QElapsedTimer wait;
    wait.start();
    while (wait.elapsed() < 3000) {
        const qsizetype at = monitor.Bytes.indexOf(marker, from);
        if (at >= 0)
            return monitor.ArrivalOf(at);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return -1;
}

// The marker is timed as it passes the microphone feed's monitor and again at the output's
// monitor; both are read the same way, so the readers' own delay cancels out.
void PassThroughLatency(int rounds)
{
    TACMIn capture;
    capture.SetNumBuffers(2);
    capture.SetBufferSize(2048);
    TACMOut output;
    output.SetNumBuffers(2);
    capture.OnBufferFull = [&](TComponent*, const void* data, int size) { output.Write(data, uint32_t(size)); };

    QElapsedTimer clock;
    clock.start();
    Monitor fed("micfeed.monitor", clock);
    Monitor heard("out.monitor", clock);
    capture.Open(TauntBlock());
    output.Open(TauntBlock());
    RunFor(1000);

    std::vector<double> latencies;
    for (int round = 0; round < rounds; ++round) {
        const QByteArray marker = Noise(256, uint32_t(round + 1));
        const qsizetype fedFrom = fed.Bytes.size();
        const qsizetype heardFrom = heard.Bytes.size();
        Player player("micfeed", QByteArray(2205, Silence) + marker + QByteArray(2205, Silence));
        const qint64 in = AwaitMarker(fed, marker, fedFrom);
        const qint64 out = AwaitMarker(heard, marker, heardFrom);
        if (in < 0 || out < 0)
            std::printf("round %d: the marker did not arrive\n", round + 1);
        else
            latencies.push_back((out - in) / 1e6);
        RunFor(200);
    }
    capture.Close();
    output.Close();
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    const size_t n = latencies.size();
    const double median = n % 2 ? latencies[n / 2] : (latencies[n / 2 - 1] + latencies[n / 2]) / 2;
    std::printf("pass-through latency over %zu rounds: min %.0f ms, median %.0f ms, max %.0f ms\n", n,
                latencies.front(), median, latencies.back());
}

struct TDrift {
    qint64 Lost = 0;
    qint64 Inserted = 0;
    bool Found = false;
};

// Follows the signal through a recording block by block: bytes missing between blocks (or
// blocks not found whole) count as lost, bytes between blocks that do not belong as inserted.
TDrift Follow(const QByteArray& signal, const QByteArray& recording)
{
    constexpr qsizetype Block = 2048;
    TDrift drift;
    qsizetype position = recording.indexOf(signal.left(64));
    if (position < 0)
        return drift;
    drift.Found = true;
    for (qsizetype start = 0; start < signal.size(); start += Block) {
        const QByteArray block = signal.mid(start, Block);
        const qsizetype found = recording.indexOf(block, std::max<qsizetype>(0, position - Rate));
        if (found < 0) {
            drift.Lost += block.size();
            position += block.size();
            continue;
        }
        if (found > position)
            drift.Inserted += found - position;
        else
            drift.Lost += position - found;
        position = found + block.size();
    }
    return drift;
}

void Report(const char* what, const TDrift& drift, qsizetype size)
{
    if (!drift.Found)
        std::printf("  %s: the signal was not found (%lld bytes)\n", what, static_cast<long long>(size));
    else
        std::printf("  %s: %lld bytes lost, %lld inserted (%lld bytes recorded)\n", what,
                    static_cast<long long>(drift.Lost), static_cast<long long>(drift.Inserted),
                    static_cast<long long>(size));
}

// The capture as the recording dialog runs it, and beside it parec on the same source as a
// yardstick: bytes the feed itself lost show in both.
void Continuity(int seconds)
{
    const QByteArray signal = Noise(qsizetype(seconds) * Rate, 77);
    QByteArray captured;
    TACMIn capture;
    capture.SetNumBuffers(2);
    capture.SetBufferSize(2048);
    capture.OnBufferFull = [&](TComponent*, const void* data, int size) {
        captured.append(static_cast<const char*>(data), size);
    };
    QElapsedTimer clock;
    clock.start();
    Monitor yardstick("micfeed.monitor", clock);
    capture.Open(TauntBlock());
    RunFor(500);
    {
        Player player("micfeed", signal);
        RunFor(seconds * 1000 + 2000);
    }
    capture.Close();
    std::printf("capture continuity over %d s (%lld bytes fed):\n", seconds, static_cast<long long>(signal.size()));
    Report("capture (2 buffers of 2048 bytes)", Follow(signal, captured), captured.size());
    Report("parec on the same source", Follow(signal, yardstick.Bytes), yardstick.Bytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    try {
        PassThroughLatency(argc > 1 ? std::atoi(argv[1]) : 25);
        const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
        if (seconds > 0)
            Continuity(seconds);
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
