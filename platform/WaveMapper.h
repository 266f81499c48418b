#pragma once

#include "platform/WaveDriver.h"

#include <memory>

// The wave mapper: plays a format that the driver refuses by opening the device in a PCM
// format it takes and converting every block on its way in, with the conversion streams
// that the convertor uses. The channel count and rate stay the source's where the driver
// takes them (only the sample width changes), so each block converts on its own exactly
// (but for GSM 6.10, whose decoder carries its state from block to block and starts afresh
// with each buffer written); otherwise the channels are mixed to stereo or mono. A block that does not end on a whole
// source block (a frame, or an ADPCM block) leaves its tail for the next one. The caller's
// headers never reach the driver: the device reports each one done once the converted bytes
// it gave have played.
//
// format may carry extra bytes after its record (cbSize of them, as many as the codec uses
// are read). WAVERR_BADFORMAT when the source cannot be converted or the driver takes none
// of the formats it converts to; a driver's other refusal is the result as it stands.
MMRESULT OpenMappedOutput(IWaveDriver& driver, UINT deviceId, const WAVEFORMATEX* format, DWORD flags, IWaveDone& done,
                          std::unique_ptr<IWaveDevice>& device);
