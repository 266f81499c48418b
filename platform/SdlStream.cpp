#include "platform/SdlStream.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace {

std::atomic<int> OpenDevices{0};

constexpr Uint8 NarrowSilence = 0x80;

}  // namespace

int SdlOpenDevices()
{
    return OpenDevices.load();
}

bool SdlBackendIs(const char* name)
{
    const char* backend = SDL_GetCurrentAudioDriver();
    return backend && std::strcmp(backend, name) == 0;
}

TSdlStream::TSdlStream(TWaveDirection direction, const SDL_AudioSpec& request) : Direction(direction), FRequest(request)
{
}

TSdlStream::~TSdlStream()
{
    Close();
}

bool TSdlStream::Fits(TWaveDirection direction, const SDL_AudioSpec& request) const
{
    return direction == Direction && request.freq == FRequest.freq && request.format == FRequest.format &&
        request.channels == FRequest.channels && request.samples == FRequest.samples;
}

MMRESULT TSdlStream::Open()
{
    SDL_AudioSpec request = FRequest;
    request.callback = &TSdlStream::Callback;
    request.userdata = this;
    FWide = Direction == TWaveDirection::Output && SdlBackendIs("pulseaudio") && request.format == AUDIO_U8;
    if (FWide)
        request.format = AUDIO_S16SYS;
    FWaitIdle = !SdlBackendIs("pipewire");
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        FClosing = false;
        FReleased = false;
        FLost = false;
        FIdle = true;
        FIdleSince = std::chrono::steady_clock::now();
    }
    FServer = TSoundServerWatch(SDL_GetCurrentAudioDriver());
    const std::set<int> connections = FServer.Connections();
    // The callback may run before the open returns, so what it reads is set first.
    FSilence = FWide || request.format == AUDIO_U8 ? NarrowSilence : 0;
    FNarrow.assign(FWide ? size_t{request.samples} * request.channels : 0, NarrowSilence);
    SDL_AudioSpec obtained;
    const SDL_AudioDeviceID id =
        SDL_OpenAudioDevice(nullptr, Direction == TWaveDirection::Input, &request, &obtained, 0);
    if (!id)
        return MMSYSERR_BADDEVICEID;
    ++OpenDevices;
    FServer.WatchConnectionsSince(connections);
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        FId = id;
        FSilence = FWide ? NarrowSilence : obtained.silence;
    }
    // Output runs from the start, idle until its first buffer; input waits for Start.
    if (Direction == TWaveDirection::Output)
        SDL_PauseAudioDevice(FId, 0);
    return MMSYSERR_NOERROR;
}

void TSdlStream::Close()
{
    if (!FId)
        return;
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        FClosing = true;
    }
    FWake.notify_all();
    // Closing waits for SDL's thread to end; the queue is ours alone afterwards.
    SDL_CloseAudioDevice(FId);
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        FId = 0;
    }
    --OpenDevices;
    HandBack();
}

void TSdlStream::Attach(IWaveDone& done)
{
    std::lock_guard<TInheritingLock> lock(FLock);
    FDone = &done;
}

void TSdlStream::Detach(bool report)
{
    if (Direction == TWaveDirection::Input && FId)
        SDL_PauseAudioDevice(FId, 1);
    std::lock_guard<TInheritingLock> lock(FLock);
    if (!FIdle)
        FIdleSince = std::chrono::steady_clock::now();
    FIdle = true;
    if (report)
        HandBackLocked();
    FQueue.clear();
    FPos = 0;
    FDone = nullptr;
}

MMRESULT TSdlStream::Queue(WAVEHDR* header)
{
    {
        std::lock_guard<TInheritingLock> lock(FLock);
        if (!FId || FReleased || LostLocked())
            return MMSYSERR_NODRIVER;
        FQueue.push_back(header);
        if (Direction == TWaveDirection::Output)
            FIdle = false;
    }
    FWake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT TSdlStream::Start()
{
    if (Lost())
        return MMSYSERR_NODRIVER;
    SDL_PauseAudioDevice(FId, 0);
    return MMSYSERR_NOERROR;
}

bool TSdlStream::Lost()
{
    // The socket is asked outside the lock: the callback must never wait for it. A closing
    // device lets its connections go itself.
    const bool same = FServer.Same();
    std::lock_guard<TInheritingLock> lock(FLock);
    if (!same && FId && !FClosing && !FLost) {
        FLost = true;
        if (FDone)
            HandBackLocked();
    }
    return LostLocked();
}

bool TSdlStream::InUse()
{
    std::lock_guard<TInheritingLock> lock(FLock);
    return FDone != nullptr;
}

bool TSdlStream::Working()
{
    std::lock_guard<TInheritingLock> lock(FLock);
    return FId && !FReleased && !LostLocked();
}

bool TSdlStream::ReleaseIfIdle(std::chrono::milliseconds time)
{
    std::lock_guard<TInheritingLock> lock(FLock);
    if (Direction != TWaveDirection::Output || !FId || FReleased || !FIdle || !FQueue.empty() ||
        std::chrono::steady_clock::now() - FIdleSince < time)
        return false;
    FReleased = true;
    return true;
}

void TSdlStream::Reset()
{
    if (Direction == TWaveDirection::Input && FId)
        SDL_PauseAudioDevice(FId, 1);
    HandBack();
}

// Nothing may unwind into SDL's thread: a buffer whose notice could not be posted stays
// with its wave device, which returns it at the next reset or close.
void SDLCALL TSdlStream::Callback(void* self, Uint8* stream, int length)
{
    auto* device = static_cast<TSdlStream*>(self);
    const size_t size = static_cast<size_t>(length);
    try {
        device->Run(stream, size);
    } catch (...) {
        if (device->Direction == TWaveDirection::Output)
            std::memset(stream, device->FWide ? 0 : device->FSilence, size);
    }
}

void TSdlStream::Run(Uint8* stream, size_t length)
{
    std::unique_lock<TInheritingLock> lock(FLock);
    const bool lost = LostLocked();
    if (Direction == TWaveDirection::Input) {
        if (!lost)
            Capture(stream, length);
        return;
    }
    if (FWaitIdle)
        FWake.wait(lock, [this] { return !FIdle || FClosing || FLost; });
    Uint8* narrow = FWide ? FNarrow.data() : stream;
    const size_t count = FWide ? length / 2 : length;
    if (FLost || (!Play(narrow, count) && FQueue.empty())) {
        std::memset(narrow, FSilence, count);
        if (!FIdle)
            FIdleSince = std::chrono::steady_clock::now();
        FIdle = true;
    }
    if (FWide) {
        auto* wide = reinterpret_cast<Sint16*>(stream);
        for (size_t i = 0; i < count; ++i)
            wide[i] = static_cast<Sint16>((int(narrow[i]) - 128) * 256);
    }
}

bool TSdlStream::LostLocked()
{
    if (!FLost && FId && SDL_GetAudioDeviceStatus(FId) == SDL_AUDIO_STOPPED) {
        FLost = true;
        if (FDone)
            HandBackLocked();
    }
    return FLost;
}

// Whether any byte of a buffer was played.
bool TSdlStream::Play(Uint8* stream, size_t length)
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

void TSdlStream::Capture(const Uint8* stream, size_t length)
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

void TSdlStream::HandBack()
{
    std::lock_guard<TInheritingLock> lock(FLock);
    HandBackLocked();
}

// Every queued header goes back; a capture buffer keeps what it has caught so far.
void TSdlStream::HandBackLocked()
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
