// The player as the user hears it, measured at the sound server's sink: how long a sound takes
// from Play to its first byte at the sink on a kept device, after idle times drawn at random
// (the workbench's way: close, open, play); the same for the first Play of a session, with and
// without the output opened ahead; how long a stopped sound goes on sounding; and whether
// anything but silence reaches the sink while the player idles; and whether a long sound
// arrives unbroken, beside how long the machine itself holds up a thread at real-time
// priority (a virtual machine's host may pause it for longer than a period). Run it through
// scripts/bench-play-latency.sh, which starts each kind of test sound server (null sink "out"
// in the taunt format) and points the program at it.
//
// The sink's monitor is read by parec in small fragments; each read is stamped on one clock
// and a byte's arrival is the stamp of the read that brought it, so each figure also holds
// the monitor's own delay (a few milliseconds; on PipeWire up to one cycle of its graph).
// The long sound is heard through a monitor with a long fragment, so that on PipeWire the graph
// runs at the cycle the player asks for, not at the monitor's.
#include "devices/ACMWaveOut.h"
#include "forms/Application.h"
#include "platform/SdlWaveDriver.h"
#include "platform/WaveDriver.h"
#include "sound/TauntFormat.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <thread>
#include <vector>

namespace {

constexpr int Rate = 22050;
constexpr char Silence = '\x80';

class Monitor {
public:
    explicit Monitor(const QElapsedTimer& clock) : FClock(clock) {}
    bool Start(int fragmentMilliseconds = 5)
    {
        FProcess.start("parec",
                       {"-d", "out.monitor", QString("--latency-msec=%1").arg(fragmentMilliseconds), "--format=u8",
                        "--rate=22050", "--channels=1", "--raw"});
        return FProcess.waitForStarted(5000) && FProcess.waitForReadyRead(5000);
    }
    // Reads what has come, for at least `milliseconds`, handling the player's notices meanwhile.
    void ReadFor(int milliseconds)
    {
        QElapsedTimer wait;
        wait.start();
        do {
            FProcess.waitForReadyRead(1);
            const QByteArray bytes = FProcess.readAllStandardOutput();
            if (!bytes.isEmpty()) {
                Bytes += bytes;
                FEnds.push_back({Bytes.size(), FClock.nsecsElapsed()});
            }
            QCoreApplication::sendPostedEvents();
        } while (wait.elapsed() < milliseconds);
    }
    // Reads until a byte that is not silence arrives after `from`; its offset, or -1.
    qsizetype AwaitSound(qsizetype from, int limit)
    {
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < limit) {
            for (qsizetype at = from; at < Bytes.size(); ++at)
                if (Bytes[at] != Silence)
                    return at;
            from = Bytes.size();
            ReadFor(1);
        }
        return -1;
    }
    // When (ns on the clock) the byte at `offset` was read from the sink's monitor.
    qint64 ArrivalOf(qsizetype offset) const
    {
        for (const auto& [end, stamp] : FEnds)
            if (end > offset)
                return stamp;
        return -1;
    }
    qsizetype Loud(qsizetype from) const
    {
        return std::count_if(Bytes.begin() + from, Bytes.end(), [](char byte) { return byte != Silence; });
    }
    void Stop()
    {
        FProcess.terminate();
        FProcess.waitForFinished(3000);
    }
    ~Monitor() { Stop(); }
    QByteArray Bytes;

private:
    const QElapsedTimer& FClock;
    QProcess FProcess;
    std::vector<std::pair<qsizetype, qint64>> FEnds;
};

void Report(const char* what, std::vector<double> figures)
{
    if (figures.empty()) {
        std::printf("%-44s no figures\n", what);
        return;
    }
    std::sort(figures.begin(), figures.end());
    const auto at = [&](double share) { return figures[std::min(figures.size() - 1, size_t(share * figures.size()))]; };
    std::printf("%-44s n=%-3zu min %5.1f  median %5.1f  p95 %5.1f  max %5.1f ms\n", what, figures.size(),
                figures.front(), at(0.5), at(0.95), figures.back());
}

struct TBench {
    QElapsedTimer Clock;
    Monitor Sink{Clock};
    TACMWaveOut* Player = nullptr;
    QByteArray Click = QByteArray(2205, '\xFF');  // a tenth of a second, never silence

    // Close, open, play, as the workbench plays; ms from the call to the first byte at the sink.
    double Play(const QByteArray& sound)
    {
        Sink.ReadFor(0);
        const qsizetype from = Sink.Bytes.size();
        const qint64 start = Clock.nsecsElapsed();
        Player->Close();
        Player->Open(&TauntFormat);
        Player->Play(sound.constData(), uint32_t(sound.size()));
        const qsizetype at = Sink.AwaitSound(from, 3000);
        return at < 0 ? -1 : (Sink.ArrivalOf(at) - start) / 1e6;
    }
};

// How late a thread at real-time priority (when the system grants it) wakes from 1 ms sleeps:
// the stalls of the machine itself, which no sound buffer shorter than them rides through.
class TStallProbe {
public:
    explicit TStallProbe(const QElapsedTimer& clock)
    {
        FThread = std::thread([this, &clock] {
            const sched_param priority{50};
            FRealTime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
            while (!FDone) {
                const qint64 start = clock.nsecsElapsed();
                const timespec millisecond{0, 1000000};
                nanosleep(&millisecond, nullptr);
                const qint64 end = clock.nsecsElapsed();
                if (end - start > 5000000)
                    Stalls.push_back({end, (end - start) / 1e6 - 1});
            }
        });
    }
    // Ends the probe; its stalls are then what it saw: (when it ended, ns; how late, ms).
    void Finish(double seconds)
    {
        FDone = true;
        FThread.join();
        double longest = 0;
        for (const auto& stall : Stalls)
            longest = std::max(longest, stall.second);
        std::printf("%-44s %zu over 4 ms in %.0f s, longest %.1f ms (%s)\n", "the machine's stalls meanwhile",
                    Stalls.size(), seconds, longest,
                    FRealTime ? "real-time thread" : "ordinary thread: no real-time priority granted");
    }
    std::vector<std::pair<qint64, double>> Stalls;

private:
    std::thread FThread;
    std::atomic<bool> FDone{false};
    bool FRealTime = false;
};

// Plays `seconds` of a sound that is never silence and reads what reaches the sink: the gaps of
// silence in it (the server's filler when the stream was late), and bytes lost or changed.
void ReportContinuity(TACMWaveOut& player, const QElapsedTimer& clock, int seconds)
{
    QByteArray sound(Rate * seconds, Silence);
    for (qsizetype i = 0; i < sound.size(); ++i)
        sound[i] = char(0x81 + i % 127);
    Monitor sink(clock);
    if (!sink.Start(40)) {
        std::printf("%-44s parec could not read the sink's monitor\n", "a long sound");
        return;
    }
    sink.ReadFor(500);
    TStallProbe probe(clock);
    player.Close();
    player.Open(&TauntFormat);
    player.Play(sound.constData(), uint32_t(sound.size()));
    sink.ReadFor(seconds * 1000 + 1000);
    player.Close();
    probe.Finish(seconds);
    // A break (a gap of silence, or bytes lost or changed) counts as the machine's when it
    // reached the monitor within 100 ms after a stall (the monitor's fragment and a cycle of the
    // graph lie between them).
    qsizetype next = 0, gaps = 0, breaks = 0, afterStall = 0, filler = 0, run = 0, longest = 0, astray = 0;
    bool inOrder = true;
    const auto broke = [&](qsizetype at) {
        ++breaks;
        const qint64 heard = sink.ArrivalOf(at);
        afterStall += std::any_of(probe.Stalls.begin(), probe.Stalls.end(), [heard](const auto& stall) {
            return heard >= stall.first && heard - stall.first < 100000000;
        });
    };
    for (qsizetype at = 0; at < sink.Bytes.size(); ++at) {
        const char byte = sink.Bytes[at];
        if (byte == Silence) {
            run += next > 0 && next < sound.size();
            continue;
        }
        if (run > 0) {
            ++gaps;
            broke(at);
            filler += run;
            longest = std::max(longest, run);
            run = 0;
        }
        const bool expected = next < sound.size() && byte == sound[next];
        if (!expected && inOrder)
            broke(at);
        inOrder = expected;
        next += expected;
        astray += !expected;
    }
    std::printf("%-44s %lld of %lld bytes arrived in order, %lld astray; %lld gaps of silence inside (%.1f ms in "
                "all, longest %.1f ms)\n",
                "a long sound at the sink", static_cast<long long>(next), static_cast<long long>(sound.size()),
                static_cast<long long>(astray), static_cast<long long>(gaps), filler * 1000.0 / Rate,
                longest * 1000.0 / Rate);
    std::printf("%-44s %lld, %lld of them within 100 ms after a stall\n", "breaks in it (gaps, bytes lost or changed)",
                static_cast<long long>(breaks), static_cast<long long>(afterStall));
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr, "PULSE_SERVER must name the test sound server; run scripts/bench-play-latency.sh\n");
        return 2;
    }
    TApplication application(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
    TBench bench;
    TMessageWindow owner([&bench](const TMessage& message) {
        if (message.Msg == MM_WOM_DONE)
            bench.Player->PlayerBufferDone(message.LParam);
    });
    bench.Player = new TACMWaveOut(&owner);
    bench.Clock.start();
    if (!bench.Sink.Start()) {
        std::fprintf(stderr, "parec could not read the sink's monitor\n");
        return 1;
    }
    QRandomGenerator random(7);

    // The first Play of a session, cold and with the output opened ahead once the program is
    // up (as the workbench does after showing its window).
    std::vector<double> cold, warm;
    for (int round = 0; round < 8; ++round) {
        for (bool ahead : {false, true}) {
            bench.Player->Close();
            SetWaveDriver(nullptr);
            if (ahead) {
                PrepareWaveOutput(TauntFormat);
                bench.Sink.ReadFor(500);
            }
            const double heard = bench.Play(bench.Click);
            (ahead ? warm : cold).push_back(heard);
            bench.Sink.ReadFor(300);
        }
    }

    // Plays on a kept device after random idle times within the keep time; what reaches the
    // sink while idle is counted, from 300 ms after each sound began.
    std::vector<double> kept;
    qsizetype idleBytes = 0, idleNoise = 0;
    bench.Play(bench.Click);
    for (int round = 0; round < rounds; ++round) {
        bench.Sink.ReadFor(300);
        const qsizetype from = bench.Sink.Bytes.size();
        bench.Sink.ReadFor(int(random.bounded(100, 2500)));
        idleBytes += bench.Sink.Bytes.size() - from;
        idleNoise += bench.Sink.Loud(from);
        kept.push_back(bench.Play(bench.Click));
    }

    // Stop in the middle of a long sound: ms from Close to the last byte of it at the sink.
    std::vector<double> stops;
    const QByteArray longSound(Rate * 3, '\x30');
    for (int round = 0; round < 10; ++round) {
        bench.Play(longSound);
        bench.Sink.ReadFor(int(random.bounded(200, 800)));
        const qsizetype from = bench.Sink.Bytes.size();
        const qint64 stop = bench.Clock.nsecsElapsed();
        bench.Player->Close();
        bench.Sink.ReadFor(600);
        qsizetype last = -1;
        for (qsizetype at = from; at < bench.Sink.Bytes.size(); ++at)
            if (bench.Sink.Bytes[at] != Silence)
                last = at;
        stops.push_back(last < 0 ? 0 : (bench.Sink.ArrivalOf(last) - stop) / 1e6);
        bench.Sink.ReadFor(300);
    }
    bench.Player->Close();

    Report("first Play of a session, cold", cold);
    Report("first Play, output opened ahead", warm);
    Report("Play on a kept device -> first byte", kept);
    Report("Stop -> last byte of the sound", stops);
    std::printf("%-44s %lld of %lld bytes not silence\n", "idle at the sink between plays",
                static_cast<long long>(idleNoise), static_cast<long long>(idleBytes));
    bench.Sink.Stop();
    if (seconds > 0)
        ReportContinuity(*bench.Player, bench.Clock, seconds);
    QCoreApplication::sendPostedEvents();
    return 0;
}
