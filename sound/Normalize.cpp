#include "sound/Normalize.h"

#include "framework/Exception.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
constexpr int Centre = 127;
constexpr int FullScale = 127;
// Held in single precision on purpose: the factor multiplies by 0.800000011920928955078125.
constexpr float Level = 0.8f;
}

int NormalizePeak(const uint8_t* samples, uint32_t count, int peak)
{
    int maxDev = 0;
    int minDev = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int d = samples[i] - Centre;
        maxDev = std::max(maxDev, d);
        minDev = std::min(minDev, d);
    }
    return std::max({peak, std::abs(maxDev), std::abs(minDev)});
}

std::array<uint8_t, 256> NormalizeLevels(int peak)
{
    if (peak == 0)
        throw Exception("Floating point division by zero");
    // Extended precision, the quotient first, then the product with the single-precision level.
    const long double factor = (static_cast<long double>(FullScale) / peak) * static_cast<long double>(Level);
    // A byte's new value depends on the byte alone: each of the 256 is worked out once, so
    // that a long sound costs one table look-up per byte rather than an extended multiply.
    std::array<uint8_t, 256> level;
    for (int s = 0; s < 256; ++s) {
        const long double scaled = factor * (s - Centre);
        const int v = static_cast<int>(std::trunc(scaled)) + Centre;
        level[size_t(s)] = static_cast<uint8_t>(std::min(v, 255));
    }
    return level;
}

void NormalizeSamples(uint8_t* samples, uint32_t count)
{
    const std::array<uint8_t, 256> level = NormalizeLevels(NormalizePeak(samples, count));
    for (uint32_t i = 0; i < count; ++i)
        samples[i] = level[samples[i]];
}
