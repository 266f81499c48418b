#pragma once

#include "platform/WaveDevices.h"

#include <memory>

// What stands behind the wave calls: a driver opens devices that move bytes. The calls
// themselves check handles, headers and flags, keep the prepared and queued state of each
// header, and post the notices; a driver only says when a buffer is finished. Whatever a
// device still holds when it is reset or closed is returned by the calls, so no buffer can
// be lost or come back twice whatever the driver does.

enum class TWaveDirection { Output, Input };

// Where a device reports a finished buffer. Called from any thread, once per buffer handed
// to the device; a header the device was not given is ignored.
class IWaveDone {
public:
    virtual void BufferDone(WAVEHDR* header) = 0;

protected:
    ~IWaveDone() = default;
};

// One open device. The calls reach it only with checked arguments: a header that is
// prepared and not queued for Queue, a header that is not queued for Unprepare.
class IWaveDevice {
public:
    virtual ~IWaveDevice() = default;
    virtual MMRESULT Prepare(WAVEHDR*) { return MMSYSERR_NOERROR; }
    virtual MMRESULT Unprepare(WAVEHDR*) { return MMSYSERR_NOERROR; }
    // Takes the buffer (output: to play, input: to fill); a failure leaves it untouched.
    virtual MMRESULT Queue(WAVEHDR* header) = 0;
    // Input only: capture runs from here on.
    virtual MMRESULT Start() { return MMSYSERR_NOERROR; }
    // Stops and hands back every buffer through IWaveDone (input: the bytes captured so far).
    virtual MMRESULT Reset() = 0;
    // Stops for good and hands back every buffer; a failure leaves the device open.
    virtual MMRESULT Close() = 0;
};

class IWaveDriver {
public:
    virtual ~IWaveDriver() = default;
    virtual UINT DeviceCount(TWaveDirection direction) = 0;
    // deviceId is below DeviceCount or WAVE_MAPPER; flags are those given to the open call.
    virtual MMRESULT Open(TWaveDirection direction, UINT deviceId, const WAVEFORMATEX& format, DWORD flags,
                          IWaveDone& done, std::unique_ptr<IWaveDevice>& device) = 0;
};

// Puts a driver behind the calls from now on; the caller keeps it alive until it is replaced.
// Devices still open are closed first, their buffers coming back as notices.
// nullptr returns to the sound system's driver (SDL2), the one used by default; it starts
// afresh at its next use, reading its environment (SDL_AUDIODRIVER and the like) again.
void SetWaveDriver(IWaveDriver* driver);
