#pragma once

#include "platform/Messages.h"
#include "acm/MMSystem.h"

#include <cstdint>

// Wave audio output and input: the operating system's calls for playing and capturing
// buffers of samples. A device is opened with a callback window; every buffer handed to it
// comes back exactly once as a message posted to that window (MM_WOM_DONE for output,
// MM_WIM_DATA for input) with the device as wParam and the header as lParam, also when the
// device is reset or closed. The calls return 0 or a result code and never throw. They are
// made on the user-interface thread; the notices arrive there through the event loop.
//
// Only the 18-byte WAVEFORMATEX of a format is read; the devices play and capture PCM
// (8, 16 or 32 bits) and 32-bit float, 1 to 8 channels. Output opened through the mapper
// (WAVE_MAPPER or WAVE_MAPPED) also plays every other format the conversion streams read,
// converted on the way (platform/WaveMapper.h); for those the extra format bytes after the
// record are read too.

struct HWAVEOUT__;
struct HWAVEIN__;
// Device handles. A handle is never reused within a run, so a closed one stays invalid.
using HWAVEOUT = HWAVEOUT__*;
using HWAVEIN = HWAVEIN__*;

// The device the system picks: for this program, the default output or input.
constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;

constexpr DWORD CALLBACK_TYPEMASK = 0x70000;
constexpr DWORD CALLBACK_WINDOW = 0x10000;
// The device identifier names a device to be reached through the mapper.
constexpr DWORD WAVE_MAPPED = 0x4;

// Header flags: the device's record of where a buffer is.
constexpr DWORD WHDR_DONE = 0x1;
constexpr DWORD WHDR_PREPARED = 0x2;
constexpr DWORD WHDR_BEGINLOOP = 0x4;
constexpr DWORD WHDR_ENDLOOP = 0x8;
constexpr DWORD WHDR_INQUEUE = 0x10;

// One buffer for a device: the caller owns the header and its bytes; while the buffer is
// queued the device reads (output) or fills (input) lpData and the caller leaves both alone.
// The last two fields are the device's own. The size is this platform's (48 bytes on 64 bits).
struct WAVEHDR {
    char* lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;  // input: bytes captured into lpData when the buffer comes back
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;  // loops are not played: a buffer plays once
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};
using PWaveHdr = WAVEHDR*;

// Opens a device (an index below the device count, or WAVE_MAPPER). fdwOpen must name
// CALLBACK_WINDOW and may add WAVE_MAPPED; dwInstance is not used. Fails with
// MMSYSERR_NODRIVER when there is no device at all, MMSYSERR_BADDEVICEID for an unknown or
// unreachable device, WAVERR_BADFORMAT for a format the device refuses.
MMRESULT waveOutOpen(HWAVEOUT* phwo, UINT uDeviceID, const WAVEFORMATEX* pwfx, HWND hwndCallback, DWORD_PTR dwInstance,
                     DWORD fdwOpen);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// Queues a prepared buffer behind those already written; WAVERR_UNPREPARED for a header that
// is not prepared, WAVERR_STILLPLAYING for one already queued.
MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// WAVERR_STILLPLAYING while the buffer is queued.
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR* pwh, UINT cbwh);
// Stops playing and returns every queued buffer.
MMRESULT waveOutReset(HWAVEOUT hwo);
// Stops, returns every buffer still queued, and closes; the handle is invalid afterwards.
MMRESULT waveOutClose(HWAVEOUT hwo);

// Opens the sound system's output in the format ahead of the first waveOutOpen, on a thread
// of its own, so that the first sound does not wait for the connection to the sound server;
// the device is kept for that open as a closed one is. Nothing is reported.
void PrepareWaveOutput(const WAVEFORMATEX& format);

MMRESULT waveInOpen(HWAVEIN* phwi, UINT uDeviceID, const WAVEFORMATEX* pwfx, HWND hwndCallback, DWORD_PTR dwInstance,
                    DWORD fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
// Queues a prepared buffer to be filled once capture runs.
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
// Starts capturing into the queued buffers; each comes back when full.
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, UINT cbwh);
// Stops capturing and returns every queued buffer, the one being filled with what it holds.
MMRESULT waveInReset(HWAVEIN hwi);
MMRESULT waveInClose(HWAVEIN hwi);
