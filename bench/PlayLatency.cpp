// How long a sound takes from the player's Play to its first byte at the sound server's sink.
// Run it through scripts/bench-play-latency.sh, which starts the test sound server (null sink
// "out" in the taunt format) and points the program at it. The sink's monitor is read by
// parec in 5 ms fragments, so each figure includes up to about 5 ms of reading.
#include "devices/ACMWaveOut.h"
#include "forms/Application.h"
#include "sound/TauntFormat.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Reads the monitor of the sink the player plays into.
class Monitor {
public:
    bool Start()
    {
        FProcess.start(
            "parec", {"-d", "out.monitor", "--latency-msec=5", "--format=u8", "--rate=22050", "--channels=1", "--raw"});
        return FProcess.waitForStarted(5000) && FProcess.waitForReadyRead(5000);
    }
    // Reads for a while and throws it away, so that nothing of an earlier sound is left.
    void Drain()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 50) {
            FProcess.waitForReadyRead(5);
            FProcess.readAllStandardOutput();
        }
    }
    // Milliseconds on the clock when the first byte that is not silence arrives, or -1.
    double FirstSound(const QElapsedTimer& clock, int limit)
    {
        while (clock.elapsed() < limit) {
            FProcess.waitForReadyRead(1);
            const QByteArray bytes = FProcess.readAllStandardOutput();
            if (std::any_of(bytes.begin(), bytes.end(), [](char byte) { return byte != '\x80'; }))
                return clock.nsecsElapsed() / 1e6;
        }
        return -1;
    }
    ~Monitor()
    {
        FProcess.terminate();
        FProcess.waitForFinished(3000);
    }

private:
    QProcess FProcess;
};

void Report(const char* what, std::vector<double> delays)
{
    std::sort(delays.begin(), delays.end());
    std::printf("%-40s n=%zu  min %.1f ms  median %.1f ms  max %.1f ms\n", what, delays.size(), delays.front(),
                delays[delays.size() / 2], delays.back());
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
    TACMWaveOut* player = nullptr;
    TMessageWindow owner([&player](const TMessage& message) {
        if (message.Msg == MM_WOM_DONE)
            player->PlayerBufferDone(message.LParam);
    });
    player = new TACMWaveOut(&owner);
    Monitor monitor;
    if (!monitor.Start()) {
        std::fprintf(stderr, "parec could not read the sink's monitor\n");
        return 1;
    }
    const QByteArray click(2205, '\xFF');  // a tenth of a second, never silence

    std::vector<double> openThenPlay;
    std::vector<double> playOnly;
    std::vector<double> opens;
    for (int round = 0; round < 20; ++round) {
        for (bool alreadyOpen : {false, true}) {
            player->Close();
            QCoreApplication::sendPostedEvents();
            if (alreadyOpen) {
                player->Open(&TauntFormat);
                QThread::msleep(300);
            }
            monitor.Drain();
            QElapsedTimer clock;
            clock.start();
            if (!alreadyOpen)
                player->Open(&TauntFormat);
            const double played = clock.nsecsElapsed() / 1e6;
            player->Play(click.constData(), static_cast<uint32_t>(click.size()));
            const double heard = monitor.FirstSound(clock, 3000);
            if (heard < 0) {
                std::fprintf(stderr, "the sound never reached the sink\n");
                return 1;
            }
            (alreadyOpen ? playOnly : openThenPlay).push_back(heard);
            if (!alreadyOpen)
                opens.push_back(played);
            QThread::msleep(300);  // the click plays out
        }
    }
    Report("Play on an open device -> first byte", playOnly);
    Report("Open + Play -> first byte", openThenPlay);
    Report("Open alone", opens);
    player->Close();
    QCoreApplication::sendPostedEvents();
    return 0;
}
