#pragma once

#include <cstdint>

// Brings the largest deviation of an unsigned 8-bit sound from its centre (127) to 0.8 of
// full scale (127), in place, over the whole sound. Raises an error and changes no byte
// when every byte is 127, since there is no deviation to scale.
void NormalizeSamples(uint8_t* samples, uint32_t count);
