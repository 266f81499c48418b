#pragma once

#include "platform/WaveDriver.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TSdlStream;

// The sound system's driver: SDL2 audio, which reaches PulseAudio, PipeWire or ALSA as SDL
// chooses (SDL_AUDIODRIVER overrides the choice). It offers one device each way, the
// system's default, and plays 8-bit mono 22050 Hz natively. SDL keeps its hands off the
// program's signals. Left to choose, SDL never falls back to ALSA while the session's desktop
// sound server is away: opens fail with MMSYSERR_NODRIVER until it is back.
//
// Closing an SDL device takes about a tenth of a second, opening one next to nothing, and the
// player closes before every play. So a closed device is kept open, idle and empty, for the
// next open of the same direction and format; it is closed for real once it has been idle for
// the keep time, when its direction is opened in another format, and when the driver ends (at
// the latest at program exit). An output in use that has had nothing to play for the keep
// time lets its SDL device go too, so that the sound server's sink can rest, and opens one
// anew for its next buffer. A helper thread does the idle closing, so the user-interface
// thread never waits for it; it also looks at every open device about ten times a second.
//
// When the sound server goes away (it ends, restarts or crashes) or a device is unplugged,
// the devices on it are lost: their buffers come back at once and they take no more (calls
// fail with MMSYSERR_NODRIVER). SDL says so when it next writes or reads; the helper thread
// sees sooner, at the server's socket, that nothing answers there or that a new server has
// taken it. A lost stream is never kept, and the next open (or the next buffer of an output
// in use) reconnects, SDL's audio starting afresh first; while no server answers, opens fail.
class TSdlWaveDriver final : public IWaveDriver {
public:
    TSdlWaveDriver();
    ~TSdlWaveDriver() override;
    TSdlWaveDriver(const TSdlWaveDriver&) = delete;
    TSdlWaveDriver& operator=(const TSdlWaveDriver&) = delete;

    // No device at all when SDL finds no way to sound.
    UINT DeviceCount(TWaveDirection direction) override;
    MMRESULT Open(TWaveDirection direction, UINT deviceId, const WAVEFORMATEX& format, DWORD flags, IWaveDone& done,
                  std::unique_ptr<IWaveDevice>& device) override;

    // A closed device's stream, idle and empty, to keep for reuse (or to close at once when
    // there is no keep time).
    void Keep(std::unique_ptr<TSdlStream> stream);
    // Opens the SDL device of a wave device's output stream anew, after it was released while
    // idle or lost; MMSYSERR_NODRIVER when no sound server answers.
    MMRESULT Reopen(TSdlStream& stream);
    // Starts SDL's audio and opens an output device in the format on a thread of its own, to
    // be kept as a closed one is; the next call that needs SDL waits until it is done.
    void Prepare(const WAVEFORMATEX& format);

private:
    struct Kept {
        std::unique_ptr<TSdlStream> Stream;
        std::chrono::steady_clock::time_point Until;
    };

    bool Ready();
    // Waits for Prepare's thread.
    void Settle();
    MMRESULT OpenStream(TSdlStream& stream);
    // Closes SDL devices one at a time, whichever thread asks.
    void CloseForReal(std::unique_ptr<TSdlStream> stream);
    // The helper thread: closes kept streams once idle for the keep time, releases idle
    // outputs in use as long, and asks every open stream whether it is lost, so that one lost
    // with buffers queued gives them back.
    void CloseIdle();
    // Starts the helper thread, or wakes it to look at the streams.
    void Watch();
    // One look at the streams; false when none has a working device (nothing to watch).
    bool WatchStreams();
    // Closes every device and ends SDL's audio, to start afresh at the next Ready; false (and
    // nothing done) while a device in use still works.
    bool Restart();

    bool FReady = false;
    std::mutex FCalls;  // held around SDL's device opening and closing
    std::vector<TSdlStream*> FStreams;  // every stream that has had an SDL device; guarded by FCalls
    std::mutex FLock;  // guards what follows
    std::condition_variable FWake;
    std::vector<Kept> FKept;  // at most one each way
    bool FRestart = false;  // a stream was lost since SDL's audio started
    bool FEnding = false;
    std::thread FCloser;
    std::thread FPreparer;
};

// How long a closed device is kept for reuse; zero closes every device at once. Read at
// each close.
void SetSdlKeepTime(std::chrono::milliseconds time);
std::chrono::milliseconds SdlKeepTime();
