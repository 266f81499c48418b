#pragma once

#include <array>
#include <cstdint>

// Normalize: brings the largest deviation of an unsigned 8-bit sound from its centre (127) to
// 0.8 of full scale (127), over the whole sound.

// The largest deviation from the centre of count bytes, or of `peak` if that is larger:
// a sound in parts is measured part by part.
int NormalizePeak(const uint8_t* samples, uint32_t count, int peak = 0);

// What each byte value becomes for a sound of that peak. Raises an error when the peak is 0
// (every byte is 127), since there is no deviation to scale.
std::array<uint8_t, 256> NormalizeLevels(int peak);

// Normalizes the whole sound in place. Raises the error of NormalizeLevels, changing no byte.
void NormalizeSamples(uint8_t* samples, uint32_t count);
