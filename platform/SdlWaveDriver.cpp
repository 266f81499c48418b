#include "platform/SdlWaveDriver.h"

#include "platform/SdlStream.h"
#include "platform/SoundServerWatch.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>

namespace {

std::atomic<int64_t> KeepMilliseconds{3000};

// How often the open streams are looked at while any is open: a lost one gives its buffers
// back, an idle output is released after the keep time.
constexpr std::chrono::milliseconds WatchTime{100};

// Samples per SDL period: a power of two lasting about 20 ms for an output on the PulseAudio
// protocol. SDL keeps about one period queued at the sound server and cannot take it back, so
// this is how long a stopped sound sounds on (about 35 ms, at most 50) and how long SDL's
// thread may be held up before the sound breaks off into silence: with every core kept busy
// the soak plays every sound whole; with builds running beside the busy loops as well, 90 ms
// periods still did and 20 ms ones lost a sound now and then.
// SDL's PipeWire backend keeps nothing queued: the graph calls for each period on a thread
// of its own, at real-time priority, and runs its whole cycle at the length the device asks
// for, so there an output's period is as long as the wait before a sound starts: about 12 ms.
// Capture keeps a long period: a recording waits for whole blocks anyway.
Uint16 PeriodSamples(uint32_t rate, TWaveDirection direction)
{
    const uint64_t milliseconds = direction == TWaveDirection::Input ? 90 : SdlBackendIs("pipewire") ? 10 : 20;
    Uint16 samples = 64;
    while (samples < 8192 && uint64_t{samples} * 1000 < uint64_t{rate} * milliseconds)
        samples *= 2;
    return samples;
}

// The SDL form of a wave format, or false for one the devices refuse.
bool RequestFor(const WAVEFORMATEX& format, TWaveDirection direction, SDL_AudioSpec& request)
{
    if (format.nChannels < 1 || format.nChannels > 8 || format.nSamplesPerSec < 1000 || format.nSamplesPerSec > 384000)
        return false;
    SDL_AudioFormat sdlFormat = 0;
    if (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 8)
        sdlFormat = AUDIO_U8;
    else if (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16)
        sdlFormat = AUDIO_S16LSB;
    else if (format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 32)
        sdlFormat = AUDIO_S32LSB;
    else if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT && format.wBitsPerSample == 32)
        sdlFormat = AUDIO_F32LSB;
    else
        return false;
    // A block that is not one sample per channel would make the device split frames wrongly.
    if (format.nBlockAlign != format.nChannels * (format.wBitsPerSample / 8))
        return false;
    SDL_zero(request);
    request.freq = static_cast<int>(format.nSamplesPerSec);
    request.format = sdlFormat;
    request.channels = static_cast<Uint8>(format.nChannels);
    request.samples = PeriodSamples(format.nSamplesPerSec, direction);
    return true;
}

// Whether this session has a desktop sound server: its address is named, or its socket is
// in the session's runtime folder (left there also by one that crashed).
bool DesktopServerExpected()
{
    return std::getenv("PULSE_SERVER") || !TSoundServerWatch("pulseaudio").Path().empty() ||
        !TSoundServerWatch("pipewire").Path().empty();
}

// One open wave device on a stream; closing it hands the stream to the driver to keep.
class TSdlWaveDevice final : public IWaveDevice {
public:
    TSdlWaveDevice(TSdlWaveDriver& driver, std::unique_ptr<TSdlStream> stream)
        : FDriver(driver), FStream(std::move(stream))
    {
    }

    ~TSdlWaveDevice() override
    {
        if (FStream) {
            FStream->Detach(false);
            FDriver.Keep(std::move(FStream));
        }
    }

    // An output whose stream was released while idle, or lost, opens one anew for the buffer.
    MMRESULT Queue(WAVEHDR* header) override
    {
        MMRESULT result = FStream->Queue(header);
        if (result == MMSYSERR_NODRIVER && FStream->Direction == TWaveDirection::Output) {
            result = FDriver.Reopen(*FStream);
            if (result == MMSYSERR_NOERROR)
                result = FStream->Queue(header);
        }
        return result;
    }

    MMRESULT Start() override { return FStream->Start(); }

    MMRESULT Reset() override
    {
        FStream->Reset();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Close() override
    {
        FStream->Detach(true);
        FDriver.Keep(std::move(FStream));
        return MMSYSERR_NOERROR;
    }

private:
    TSdlWaveDriver& FDriver;
    std::unique_ptr<TSdlStream> FStream;
};

}  // namespace

TSdlWaveDriver::TSdlWaveDriver() = default;

TSdlWaveDriver::~TSdlWaveDriver()
{
    Settle();
    {
        std::lock_guard<std::mutex> lock(FLock);
        FEnding = true;
    }
    FWake.notify_all();
    if (FCloser.joinable())
        FCloser.join();
    for (Kept& kept : FKept)
        CloseForReal(std::move(kept.Stream));
    FKept.clear();
    if (FReady)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool TSdlWaveDriver::Ready()
{
    if (!FReady) {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        FReady = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        // Left to choose, SDL takes ALSA when no desktop sound server answers. Where one is
        // expected (the session has its socket, or names its address) it is merely away, as
        // when it restarts: there is no sound until it is back, which is what the user is told
        // (no driver), not that the sound card cannot be reached; and ALSA, finding the card
        // taken or missing, would fill the terminal at every attempt.
        const char* chosen = std::getenv("SDL_AUDIODRIVER");
        if (FReady && (!chosen || !*chosen) && DesktopServerExpected()) {
            if (!SdlBackendIs("pulseaudio") && !SdlBackendIs("pipewire")) {
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
                FReady = false;
            }
        }
    }
    return FReady;
}

UINT TSdlWaveDriver::DeviceCount(TWaveDirection)
{
    Settle();
    return Ready() ? 1 : 0;
}

void TSdlWaveDriver::Settle()
{
    if (FPreparer.joinable())
        FPreparer.join();
}

void TSdlWaveDriver::Prepare(const WAVEFORMATEX& format)
{
    if (FPreparer.joinable())
        return;
    FPreparer = std::thread([this, format] {
        SDL_AudioSpec request;
        if (!Ready() || !RequestFor(format, TWaveDirection::Output, request))
            return;
        auto stream = std::make_unique<TSdlStream>(TWaveDirection::Output, request);
        if (OpenStream(*stream) == MMSYSERR_NOERROR)
            Keep(std::move(stream));
    });
}

MMRESULT TSdlWaveDriver::Open(TWaveDirection direction, UINT, const WAVEFORMATEX& format, DWORD, IWaveDone& done,
                              std::unique_ptr<IWaveDevice>& device)
{
    Settle();
    SDL_AudioSpec request;
    if (!RequestFor(format, direction, request))
        return WAVERR_BADFORMAT;
    // A kept stream of the format is reused unless it is lost; those of the direction in
    // another format go.
    std::unique_ptr<TSdlStream> stream;
    std::vector<std::unique_ptr<TSdlStream>> others;
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (auto it = FKept.begin(); it != FKept.end();) {
            if (!stream && it->Stream->Fits(direction, request) && !it->Stream->Lost()) {
                stream = std::move(it->Stream);
            } else if (it->Stream->Direction == direction || it->Stream->Lost()) {
                FRestart = FRestart || it->Stream->Lost();
                others.push_back(std::move(it->Stream));
            } else {
                ++it;
                continue;
            }
            it = FKept.erase(it);
        }
    }
    for (auto& other : others)
        CloseForReal(std::move(other));
    if (!stream) {
        // After a loss SDL's audio starts afresh, since its own link to the sound server may
        // have gone with the server; and so it does, once, when an open fails.
        bool restart = false;
        {
            std::lock_guard<std::mutex> lock(FLock);
            restart = std::exchange(FRestart, false);
        }
        if (restart)
            Restart();
        stream = std::make_unique<TSdlStream>(direction, request);
        MMRESULT result = Ready() ? OpenStream(*stream) : MMSYSERR_NODRIVER;
        if (result != MMSYSERR_NOERROR && Restart())
            result = Ready() ? OpenStream(*stream) : MMSYSERR_NODRIVER;
        if (result != MMSYSERR_NOERROR)
            return result;
    }
    stream->Attach(done);
    device = std::make_unique<TSdlWaveDevice>(*this, std::move(stream));
    return MMSYSERR_NOERROR;
}

void TSdlWaveDriver::Keep(std::unique_ptr<TSdlStream> stream)
{
    const std::chrono::milliseconds keep = SdlKeepTime();
    const bool lost = stream->Lost();
    if (keep.count() <= 0 || lost) {
        if (lost) {
            std::lock_guard<std::mutex> lock(FLock);
            FRestart = true;
        }
        CloseForReal(std::move(stream));
        return;
    }
    {
        std::lock_guard<std::mutex> lock(FLock);
        FKept.push_back({std::move(stream), std::chrono::steady_clock::now() + keep});
    }
    Watch();
}

MMRESULT TSdlWaveDriver::OpenStream(TSdlStream& stream)
{
    MMRESULT result = MMSYSERR_NOERROR;
    {
        std::lock_guard<std::mutex> calls(FCalls);
        result = stream.Open();
        if (result == MMSYSERR_NOERROR && std::find(FStreams.begin(), FStreams.end(), &stream) == FStreams.end())
            FStreams.push_back(&stream);
    }
    if (result == MMSYSERR_NOERROR)
        Watch();
    return result;
}

MMRESULT TSdlWaveDriver::Reopen(TSdlStream& stream)
{
    Settle();
    const bool lost = stream.Lost();
    {
        std::lock_guard<std::mutex> calls(FCalls);
        stream.Close();
    }
    bool restart = lost;
    {
        std::lock_guard<std::mutex> lock(FLock);
        restart = std::exchange(FRestart, false) || restart;
    }
    if (restart)
        Restart();
    MMRESULT result = Ready() ? OpenStream(stream) : MMSYSERR_NODRIVER;
    if (result != MMSYSERR_NOERROR && Restart())
        result = Ready() ? OpenStream(stream) : MMSYSERR_NODRIVER;
    return result == MMSYSERR_BADDEVICEID ? MMSYSERR_NODRIVER : result;
}

void TSdlWaveDriver::Watch()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (!FCloser.joinable())
            FCloser = std::thread(&TSdlWaveDriver::CloseIdle, this);
    }
    FWake.notify_all();
}

bool TSdlWaveDriver::WatchStreams()
{
    std::lock_guard<std::mutex> calls(FCalls);
    const std::chrono::milliseconds keep = SdlKeepTime();
    for (TSdlStream* stream : FStreams) {
        stream->Lost();
        if (stream->InUse() && keep.count() > 0 && stream->ReleaseIfIdle(keep))
            stream->Close();
    }
    return std::any_of(FStreams.begin(), FStreams.end(), [](TSdlStream* stream) { return stream->Working(); });
}

void TSdlWaveDriver::CloseForReal(std::unique_ptr<TSdlStream> stream)
{
    std::lock_guard<std::mutex> calls(FCalls);
    FStreams.erase(std::remove(FStreams.begin(), FStreams.end(), stream.get()), FStreams.end());
    stream.reset();
}

bool TSdlWaveDriver::Restart()
{
    std::lock_guard<std::mutex> calls(FCalls);
    // Ending SDL's audio ends every device, so it waits while one in use still works.
    for (TSdlStream* stream : FStreams)
        if (stream->InUse() && stream->Working())
            return false;
    std::vector<Kept> kept;
    {
        std::lock_guard<std::mutex> lock(FLock);
        kept.swap(FKept);
    }
    // The devices close first; a lost stream still held stays lost, without a device.
    for (TSdlStream* stream : FStreams)
        stream->Close();
    FStreams.clear();
    kept.clear();
    if (FReady)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    FReady = false;
    return true;
}

void TSdlWaveDriver::CloseIdle()
{
    std::unique_lock<std::mutex> lock(FLock);
    bool watching = true;
    while (!FEnding) {
        if (watching) {
            lock.unlock();
            watching = WatchStreams();
            lock.lock();
            if (FEnding)
                break;
        }
        if (FKept.empty()) {
            if (watching)
                FWake.wait_for(lock, WatchTime);
            else
                FWake.wait(lock);
            watching = true;
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        std::vector<std::unique_ptr<TSdlStream>> expired;
        auto next = std::chrono::steady_clock::time_point::max();
        for (auto it = FKept.begin(); it != FKept.end();) {
            if (it->Until <= now) {
                expired.push_back(std::move(it->Stream));
                it = FKept.erase(it);
            } else {
                next = std::min(next, it->Until);
                ++it;
            }
        }
        if (expired.empty()) {
            FWake.wait_until(lock, watching ? std::min(next, now + WatchTime) : next);
            watching = true;
            continue;
        }
        lock.unlock();
        for (auto& stream : expired)
            CloseForReal(std::move(stream));
        lock.lock();
    }
}

void SetSdlKeepTime(std::chrono::milliseconds time)
{
    KeepMilliseconds = time.count();
}

std::chrono::milliseconds SdlKeepTime()
{
    return std::chrono::milliseconds(KeepMilliseconds.load());
}
