#pragma once

#include "platform/InheritingLock.h"
#include "platform/SoundServerWatch.h"
#include "platform/WaveDriver.h"

#include <SDL2/SDL.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

// SDL devices open in this process right now, kept ones included.
int SdlOpenDevices();
// Whether SDL's audio runs on the backend of that name ("pulseaudio", "pipewire").
bool SdlBackendIs(const char* name);

// One SDL audio device, which outlives the wave devices that use it one after the other. Its
// queue of headers is shared with SDL's audio thread under the stream's lock; the thread
// drains it (output) or fills it (input) and reports each header as soon as the device has
// taken all its bytes or filled it.
//
// An output stream sends nothing but sound: it starts idle, and an idle one holds SDL's
// thread in the callback, so nothing reaches the sound server and its buffer runs empty; the
// next sound starts as soon as it is queued, not behind a buffer of silence. A server fills a
// starved stream with its own silence, and pipewire-pulse fills an 8-bit one with zeros, a
// full-scale offset at the speakers, so the taunt format goes to PulseAudio as 16-bit samples
// (whose silence is zero everywhere). SDL's PipeWire backend calls back from the server's
// cycle itself: there an idle stream answers with silence at once.
//
// An idle input stream is paused, which makes SDL throw away what it captures.
//
// A stream whose device SDL reports stopped, or whose sound server has gone or started anew
// (the watch of its socket), is lost for good: every queued buffer goes back at once, an
// input buffer with what it caught, and it takes no buffer any more. An output stream idle
// for the keep time may be released: its SDL device closes, and the next buffer opens one
// anew.
class TSdlStream {
public:
    TSdlStream(TWaveDirection direction, const SDL_AudioSpec& request);
    ~TSdlStream();
    TSdlStream(const TSdlStream&) = delete;
    TSdlStream& operator=(const TSdlStream&) = delete;

    const TWaveDirection Direction;

    bool Fits(TWaveDirection direction, const SDL_AudioSpec& request) const;

    // Opens the SDL device (again, after a release or loss); the stream starts idle.
    MMRESULT Open();
    // Closes the SDL device; whatever is still queued goes back.
    void Close();

    // A wave device takes the stream over; output stays idle until its first buffer.
    void Attach(IWaveDone& done);
    // The wave device lets go and the stream falls idle. Every queued buffer goes back to
    // it, unless it is being torn down and can take no notice any more.
    void Detach(bool report);
    // MMSYSERR_NODRIVER when lost, released or being released: the buffer is left alone.
    MMRESULT Queue(WAVEHDR* header);
    MMRESULT Start();
    void Reset();

    // Whether the stream is lost; asking checks the sound server's socket too.
    bool Lost();
    // Whether a wave device uses the stream.
    bool InUse();
    // Whether it has an SDL device that works.
    bool Working();
    // Output: marks the stream released when it has had nothing to play for `time`; true if
    // so, and then its device is to be closed (Close) and it takes no buffer until reopened.
    bool ReleaseIfIdle(std::chrono::milliseconds time);

private:
    static void SDLCALL Callback(void* self, Uint8* stream, int length);
    void Run(Uint8* stream, size_t length);
    bool LostLocked();
    bool Play(Uint8* stream, size_t length);
    void Capture(const Uint8* stream, size_t length);
    void HandBack();
    void HandBackLocked();

    const SDL_AudioSpec FRequest;
    SDL_AudioDeviceID FId = 0;
    Uint8 FSilence = 0;
    bool FWide = false;  // 8-bit output played as 16-bit samples
    bool FWaitIdle = true;  // an idle output holds SDL's thread (all backends but PipeWire's)
    std::vector<Uint8> FNarrow;  // a period of 8-bit samples on its way to a wide device
    TSoundServerWatch FServer;
    TInheritingLock FLock;
    std::condition_variable_any FWake;
    IWaveDone* FDone = nullptr;  // the wave device using the stream; nullptr while idle
    std::deque<WAVEHDR*> FQueue;
    size_t FPos = 0;  // bytes of the front header already played or filled
    bool FIdle = true;  // output: nothing to play since FIdleSince
    std::chrono::steady_clock::time_point FIdleSince;
    bool FClosing = false;
    bool FReleased = false;
    bool FLost = false;
};
