#pragma once

#include <cstddef>
#include <cstdint>

// What each fuzz target does with one input. Whatever the bytes, none of them may crash, read
// or write outside its memory, or find the program's own invariants broken (it aborts then).
// The fuzzers run them; the test suite replays the inputs that once failed.

// Bytes as a file, loaded into a WAV stream.
void FuzzWavLoad(const uint8_t* data, size_t size);
// Bytes as a file, loaded and converted to the taunt format the way jeerbox-convert does.
void FuzzWavConvert(const uint8_t* data, size_t size);
// Bytes as a sound file of any kind, loaded and converted to the taunt format the way the
// window and jeerbox-convert do.
void FuzzSoundConvert(const uint8_t* data, size_t size);
// A format record (18 bytes), its extra bytes (as many as its cbSize says, as far as a format
// block holds them), one byte choosing the destination and the open flags, then sample bytes,
// straight into the conversion-stream calls.
void FuzzAcmStream(const uint8_t* data, size_t size);
// Text as a convertor's stored properties; what is read must write and read back the same.
void FuzzStoredProperties(const uint8_t* data, size_t size);
// Text in the GAM dialog's number edits (the first byte chooses the locale); every number
// that reads must show as a text that reads back to it.
void FuzzParamText(const uint8_t* data, size_t size);
// A format record (18 bytes) and its extra bytes (as many as its cbSize says), a byte choosing
// the PCM formats the device takes, a count of pieces and two bytes for each (its size and
// what the device does with it), then the sound, written through the wave mapper in those
// pieces, some refused by the device once and written again, some played at once: the device
// receives exactly the whole sound converted in one go, and every piece comes back done once,
// in order.
void FuzzWaveMapper(const uint8_t* data, size_t size);
// Bytes as a game table: a table that reads is its pages again, sound pages as written anew.
void FuzzGamRead(const uint8_t* data, size_t size);
