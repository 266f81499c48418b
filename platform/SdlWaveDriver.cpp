#include "platform/SdlWaveDriver.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <deque>

namespace {

// Samples per SDL period: a power of two lasting about 40 ms. SDL keeps about one period
// queued at the sound server, so this is both how late a sound starts on an open device and
// how long SDL's thread may be held up before the sound breaks off into silence.
Uint16 PeriodSamples(uint32_t rate)
{
    Uint16 samples = 256;
    while (samples < 8192 && uint64_t{samples} * 1000 < uint64_t{rate} * 40)
        samples *= 2;
    return samples;
}

// The SDL form of a wave format, or false for one the devices refuse.
bool RequestFor(const WAVEFORMATEX& format, SDL_AudioSpec& request)
{
    if (format.nChannels < 1 || format.nChannels > 8 || format.nSamplesPerSec < 1000 ||
        format.nSamplesPerSec > 384000)
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

// One SDL audio device. Its queue of headers is shared with SDL's audio thread under the
// device lock; the thread drains it (output) or fills it (input) and reports each header as
// soon as the device has taken all its bytes or filled it.
class TSdlWaveDevice final : public IWaveDevice {
public:
    TSdlWaveDevice(TWaveDirection direction, IWaveDone& done) : FDirection(direction), FDone(done) {}

    ~TSdlWaveDevice() override
    {
        if (FId)
            SDL_CloseAudioDevice(FId);
    }

    MMRESULT OpenDevice(SDL_AudioSpec& request)
    {
        request.callback = &TSdlWaveDevice::Callback;
        request.userdata = this;
        SDL_AudioSpec obtained;
        FId = SDL_OpenAudioDevice(nullptr, FDirection == TWaveDirection::Input, &request, &obtained, 0);
        if (!FId)
            return MMSYSERR_BADDEVICEID;
        FSilence = obtained.silence;
        // Output runs from the start, playing silence until a buffer comes; input waits
        // for Start.
        if (FDirection == TWaveDirection::Output)
            SDL_PauseAudioDevice(FId, 0);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Queue(WAVEHDR* header) override
    {
        SDL_LockAudioDevice(FId);
        FQueue.push_back(header);
        SDL_UnlockAudioDevice(FId);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Start() override
    {
        SDL_PauseAudioDevice(FId, 0);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Reset() override
    {
        if (FDirection == TWaveDirection::Input)
            SDL_PauseAudioDevice(FId, 1);
        SDL_LockAudioDevice(FId);
        HandBack();
        SDL_UnlockAudioDevice(FId);
        return MMSYSERR_NOERROR;
    }

    MMRESULT Close() override
    {
        // Closing waits for SDL's thread to end; the queue is ours alone afterwards.
        SDL_CloseAudioDevice(FId);
        FId = 0;
        HandBack();
        return MMSYSERR_NOERROR;
    }

private:
    static void SDLCALL Callback(void* self, Uint8* stream, int length)
    {
        auto* device = static_cast<TSdlWaveDevice*>(self);
        if (device->FDirection == TWaveDirection::Output)
            device->Play(stream, static_cast<size_t>(length));
        else
            device->Capture(stream, static_cast<size_t>(length));
    }

    void Play(Uint8* stream, size_t length)
    {
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
            FDone.BufferDone(header);
        }
        std::memset(stream, FSilence, length);
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
            FDone.BufferDone(header);
        }
    }

    // Every queued header goes back; a capture buffer keeps what it has caught so far.
    void HandBack()
    {
        bool first = true;
        for (WAVEHDR* header : FQueue) {
            if (FDirection == TWaveDirection::Input)
                header->dwBytesRecorded = first ? static_cast<DWORD>(FPos) : 0;
            first = false;
            FDone.BufferDone(header);
        }
        FQueue.clear();
        FPos = 0;
    }

    const TWaveDirection FDirection;
    IWaveDone& FDone;
    SDL_AudioDeviceID FId = 0;
    Uint8 FSilence = 0;
    std::deque<WAVEHDR*> FQueue;
    size_t FPos = 0;  // bytes of the front header already played or filled
};

}  // namespace

TSdlWaveDriver::~TSdlWaveDriver()
{
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
    auto opened = std::make_unique<TSdlWaveDevice>(direction, done);
    if (const MMRESULT result = opened->OpenDevice(request))
        return result;
    device = std::move(opened);
    return MMSYSERR_NOERROR;
}
