#include "platform/SdlWaveDriver.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <utility>

namespace {

std::atomic<int64_t> KeepMilliseconds{3000};
std::atomic<int> OpenDevices{0};

// How often an idle output stream lets SDL write a period of silence. SDL learns that the
// sound server has gone only when it writes, and a stream that is never told so would be
// handed to the next open and play into a connection that no longer leads anywhere.
constexpr std::chrono::milliseconds IdleCheck{250};

// Samples per SDL period: a power of two lasting about 90 ms. SDL keeps about one period
// queued at the sound server, so this is how long SDL's thread may be held up before the
// sound breaks off into silence: on a busy machine 40 ms was often not enough, and a taunt
// that stutters is worse than one that ends a tenth of a second late after a stop.
Uint16 PeriodSamples(uint32_t rate)
{
    Uint16 samples = 256;
    while (samples < 8192 && uint64_t{samples} * 1000 < uint64_t{rate} * 90)
        samples *= 2;
    return samples;
}

// The SDL form of a wave format, or false for one the devices refuse.
bool RequestFor(const WAVEFORMATEX& format, SDL_AudioSpec& request)
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
    request.samples = PeriodSamples(format.nSamplesPerSec);
    return true;
}

}  // namespace

// One SDL audio device, which outlives the wave devices that use it one after the other. Its
// queue of headers is shared with SDL's audio thread under the stream's lock; the thread
// drains it (output) or fills it (input) and reports each header as soon as the device has
// taken all its bytes or filled it.
//
// An idle output stream (kept for reuse, or with nothing to play for a whole period) holds
// SDL's thread in the callback, so nothing reaches the sound server and its buffer runs
// empty: the next sound starts as soon as it is queued, not behind a buffer of silence. It
// lets one period of silence through every IdleCheck, so that a lost server is noticed. An
// idle input stream is paused, which makes SDL throw away what it captures.
//
// A stream whose device SDL reports stopped (the sound server or the device has gone; SDL
// goes on calling back at the device's pace) is lost for good: every queued buffer goes back
// at once, an input buffer with what it caught, and it takes no buffer any more.
class TSdlStream {
public:
    TSdlStream(TWaveDirection direction, const SDL_AudioSpec& request) : Direction(direction), FRequest(request) {}

    ~TSdlStream() { Close(); }
    TSdlStream(const TSdlStream&) = delete;
    TSdlStream& operator=(const TSdlStream&) = delete;

    const TWaveDirection Direction;

    bool Fits(TWaveDirection direction, const SDL_AudioSpec& request) const
    {
        return direction == Direction && request.freq == FRequest.freq && request.format == FRequest.format &&
            request.channels == FRequest.channels && request.samples == FRequest.samples;
    }

    MMRESULT Open()
    {
        SDL_AudioSpec request = FRequest;
        request.callback = &TSdlStream::Callback;
        request.userdata = this;
        SDL_AudioSpec obtained;
        FId = SDL_OpenAudioDevice(nullptr, Direction == TWaveDirection::Input, &request, &obtained, 0);
        if (!FId)
            return MMSYSERR_BADDEVICEID;
        ++OpenDevices;
        FSilence = obtained.silence;
        // Output runs from the start, playing a period of silence and then waiting for a
        // buffer; input waits for Start.
        if (Direction == TWaveDirection::Output)
            SDL_PauseAudioDevice(FId, 0);
        return MMSYSERR_NOERROR;
    }

    // Closes the SDL device; whatever is still queued goes back.
    void Close()
    {
        if (!FId)
            return;
        {
            std::lock_guard<std::mutex> lock(FLock);
            FClosing = true;
        }
        FWake.notify_all();
        // Closing waits for SDL's thread to end; the queue is ours alone afterwards.
        SDL_CloseAudioDevice(FId);
        FId = 0;
        --OpenDevices;
        HandBack();
    }

    // A wave device takes the stream over; output stays idle until its first buffer.
    void Attach(IWaveDone& done)
    {
        std::lock_guard<std::mutex> lock(FLock);
        FDone = &done;
    }

    // The wave device lets go and the stream falls idle. Every queued buffer goes back to
    // it, unless it is being torn down and can take no notice any more.
    void Detach(bool report)
    {
        if (Direction == TWaveDirection::Input)
            SDL_PauseAudioDevice(FId, 1);
        std::lock_guard<std::mutex> lock(FLock);
        FIdle = true;
        if (report)
            HandBackLocked();
        FQueue.clear();
        FPos = 0;
        FDone = nullptr;
    }

    MMRESULT Queue(WAVEHDR* header)
    {
        {
            std::lock_guard<std::mutex> lock(FLock);
            if (LostLocked())
                return MMSYSERR_NODRIVER;
            FQueue.push_back(header);
            if (Direction == TWaveDirection::Output)
                FIdle = false;
        }
        FWake.notify_all();
        return MMSYSERR_NOERROR;
    }

    MMRESULT Start()
    {
        if (Lost())
            return MMSYSERR_NODRIVER;
        SDL_PauseAudioDevice(FId, 0);
        return MMSYSERR_NOERROR;
    }

    // Whether SDL has given the device up (asked of a stream that is not in use, the answer
    // is SDL's latest word: an idle output stream hears it within IdleCheck).
    bool Lost()
    {
        std::lock_guard<std::mutex> lock(FLock);
        return LostLocked();
    }

    // Whether a wave device uses the stream.
    bool InUse()
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FDone != nullptr;
    }

    void Reset()
    {
        if (Direction == TWaveDirection::Input)
            SDL_PauseAudioDevice(FId, 1);
        HandBack();
    }

private:
    // Nothing may unwind into SDL's thread: a buffer whose notice could not be posted stays
    // with its wave device, which returns it at the next reset or close.
    static void SDLCALL Callback(void* self, Uint8* stream, int length)
    {
        auto* device = static_cast<TSdlStream*>(self);
        const size_t size = static_cast<size_t>(length);
        try {
            device->Run(stream, size);
        } catch (...) {
            if (device->Direction == TWaveDirection::Output)
                std::memset(stream, device->FSilence, size);
        }
    }

    void Run(Uint8* stream, size_t length)
    {
        std::unique_lock<std::mutex> lock(FLock);
        const bool lost = LostLocked();
        if (Direction == TWaveDirection::Input) {
            if (!lost)
                Capture(stream, length);
            return;
        }
        const bool wanted = FWake.wait_for(lock, IdleCheck, [this] { return !FIdle || FClosing || FLost; });
        // After a whole period of silence the stream falls idle until the next buffer.
        if (!wanted || FLost || (!Play(stream, length) && FQueue.empty())) {
            std::memset(stream, FSilence, length);
            FIdle = true;
        }
    }

    bool LostLocked()
    {
        if (!FLost && FId && SDL_GetAudioDeviceStatus(FId) == SDL_AUDIO_STOPPED) {
            FLost = true;
            if (FDone)
                HandBackLocked();
        }
        return FLost;
    }

    // Whether any byte of a buffer was played.
    bool Play(Uint8* stream, size_t length)
    {
        const size_t wanted = length;
        while (!FQueue.empty()) {
            WAVEHDR* header = FQueue.front();
            const size_t take = std::min<size_t>(header->dwBufferLength - FPos, length);
            if (take > 0) {
                std::memcpy(stream, header->lpData + FPos, take);
                stream += take;
                length -= take;
                FPos += take;
            }
            if (FPos < header->dwBufferLength)
                break;
            FQueue.pop_front();
            FPos = 0;
            FDone->BufferDone(header);
        }
        std::memset(stream, FSilence, length);
        return length < wanted;
    }

    void Capture(const Uint8* stream, size_t length)
    {
        while (!FQueue.empty()) {
            WAVEHDR* header = FQueue.front();
            const size_t take = std::min<size_t>(header->dwBufferLength - FPos, length);
            if (take > 0) {
                std::memcpy(header->lpData + FPos, stream, take);
                stream += take;
                length -= take;
                FPos += take;
            }
            if (FPos < header->dwBufferLength)
                break;
            header->dwBytesRecorded = header->dwBufferLength;
            FQueue.pop_front();
            FPos = 0;
            FDone->BufferDone(header);
        }
    }

    void HandBack()
    {
        std::lock_guard<std::mutex> lock(FLock);
        HandBackLocked();
    }

    // Every queued header goes back; a capture buffer keeps what it has caught so far.
    void HandBackLocked()
    {
        bool first = true;
        for (WAVEHDR* header : FQueue) {
            if (Direction == TWaveDirection::Input)
                header->dwBytesRecorded = first ? static_cast<DWORD>(FPos) : 0;
            first = false;
            FDone->BufferDone(header);
        }
        FQueue.clear();
        FPos = 0;
    }

    const SDL_AudioSpec FRequest;
    SDL_AudioDeviceID FId = 0;
    Uint8 FSilence = 0;
    std::mutex FLock;
    std::condition_variable FWake;
    IWaveDone* FDone = nullptr;  // the wave device using the stream; nullptr while idle
    std::deque<WAVEHDR*> FQueue;
    size_t FPos = 0;  // bytes of the front header already played or filled
    bool FIdle = false;  // output: SDL's thread waits for a buffer or for the close
    bool FClosing = false;
    bool FLost = false;
};

namespace {

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

    MMRESULT Queue(WAVEHDR* header) override { return FStream->Queue(header); }

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
    }
    return FReady;
}

UINT TSdlWaveDriver::DeviceCount(TWaveDirection)
{
    return Ready() ? 1 : 0;
}

MMRESULT TSdlWaveDriver::Open(TWaveDirection direction, UINT, const WAVEFORMATEX& format, DWORD, IWaveDone& done,
                              std::unique_ptr<IWaveDevice>& device)
{
    SDL_AudioSpec request;
    if (!RequestFor(format, request))
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
        if (!FCloser.joinable())
            FCloser = std::thread(&TSdlWaveDriver::CloseIdle, this);
    }
    FWake.notify_all();
}

MMRESULT TSdlWaveDriver::OpenStream(TSdlStream& stream)
{
    std::lock_guard<std::mutex> calls(FCalls);
    const MMRESULT result = stream.Open();
    if (result == MMSYSERR_NOERROR)
        FStreams.push_back(&stream);
    return result;
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
        if (stream->InUse() && !stream->Lost())
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
    while (!FEnding) {
        if (FKept.empty()) {
            FWake.wait(lock);
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
            FWake.wait_until(lock, next);
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

int SdlOpenDevices()
{
    return OpenDevices.load();
}
