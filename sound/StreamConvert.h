#pragma once

#include "acm/MMSystem.h"

#include <cstdint>
#include <functional>
#include <string>

// Where converted bytes go: `count` bytes that belong at offset `at` of the converted sound.
// When a sound is converted in two halves at once, two threads call it for places that
// never overlap.
using TConvertedSink = std::function<void(uint64_t at, const uint8_t* bytes, uint32_t count)>;

// Told how far a conversion has come: source bytes read so far and in all. Called from the
// threads that convert.
using TConvertProgress = std::function<void(uint64_t done, uint64_t total)>;

// Converts a sound file to `format` in blocks through conversion streams (TAcmStream), each
// of which keeps its state from block to block: memory stays the same for a sound of any
// length, and the converted bytes are exactly those that loading the file (LoadSoundFile)
// and converting it as one block (ConvertWave) give, a long sound's two halves included. The
// halves run on two threads when `parallel`, and one after the other, the sink then called
// in the order of the sound, when not. Returns the converted sound's count of bytes. Raises
// what loading and converting raise.
uint64_t ConvertSoundFile(const std::string& fileName, const WAVEFORMATEX& format, bool parallel,
                          const TConvertedSink& sink, const TConvertProgress& progress = {});
