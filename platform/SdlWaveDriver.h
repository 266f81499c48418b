#pragma once

#include "platform/WaveDriver.h"

// The sound system's driver: SDL2 audio, which reaches PulseAudio, PipeWire or ALSA as SDL
// chooses (SDL_AUDIODRIVER overrides the choice). It offers one device each way, the
// system's default, and plays 8-bit mono 22050 Hz natively. SDL keeps its hands off the
// program's signals.
class TSdlWaveDriver final : public IWaveDriver {
public:
    TSdlWaveDriver() = default;
    ~TSdlWaveDriver() override;
    TSdlWaveDriver(const TSdlWaveDriver&) = delete;
    TSdlWaveDriver& operator=(const TSdlWaveDriver&) = delete;

    // No device at all when SDL finds no way to sound.
    UINT DeviceCount(TWaveDirection direction) override;
    MMRESULT Open(TWaveDirection direction, UINT deviceId, const WAVEFORMATEX& format, DWORD flags,
                  IWaveDone& done, std::unique_ptr<IWaveDevice>& device) override;

private:
    bool Ready();
    bool FReady = false;
};
