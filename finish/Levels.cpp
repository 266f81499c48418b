#include "Levels.h"

#include "framework/SharedLibrary.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {
constexpr unsigned TauntRate = 22050;
// The limiter looks 2 ms ahead and lowers its gain along that stretch, so that a peak is
// met by a ramp rather than a step; it recovers at most to full gain over about 50 ms.
constexpr size_t LookAhead = 44;
constexpr float Recovery = 1.0f / 1100.0f;
}

TTrimFinder::TTrimFinder(double thresholdDb, uint64_t marginSamples)
    : FThreshold(float(std::pow(10.0, thresholdDb / 20.0))), FMargin(marginSamples)
{
}

void TTrimFinder::Put(uint64_t at, const float* samples, uint64_t count)
{
    for (uint64_t i = 0; i < count; ++i)
        if (std::fabs(samples[i]) >= FThreshold) {
            FFirst = std::min(FFirst, at + i);
            FLast = std::max(FLast, at + i);
        }
}

uint64_t TTrimFinder::First(uint64_t length) const
{
    if (FFirst == UINT64_MAX)
        return 0;
    return std::min(length, FFirst > FMargin ? FFirst - FMargin : 0);
}

uint64_t TTrimFinder::End(uint64_t length) const
{
    if (FFirst == UINT64_MAX)
        return 0;
    return std::min(length, FLast + 1 + FMargin);
}

namespace {

// libebur128, loaded by the first run that measures loudness.
struct TEbur128 {
    TSharedLibrary Library{"libebur128.so.1"};
    decltype(&ebur128_init) Init;
    decltype(&ebur128_destroy) Destroy;
    decltype(&ebur128_add_frames_float) AddFrames;
    decltype(&ebur128_loudness_global) Loudness;

    TEbur128()
    {
        Library.Bind(Init, "ebur128_init");
        Library.Bind(Destroy, "ebur128_destroy");
        Library.Bind(AddFrames, "ebur128_add_frames_float");
        Library.Bind(Loudness, "ebur128_loudness_global");
    }
};

const TEbur128& Ebur128()
{
    static const TEbur128& loaded = *new TEbur128;
    if (!loaded.Library.Ok())
        throw std::runtime_error(loaded.Library.Error());
    return loaded;
}
}

struct TLoudnessMeter::State {
    ebur128_state* Meter;
};

TLoudnessMeter::TLoudnessMeter() : FState(new State{Ebur128().Init(1, TauntRate, EBUR128_MODE_I)})
{
    if (!FState->Meter)
        throw std::bad_alloc();
}

TLoudnessMeter::~TLoudnessMeter()
{
    Ebur128().Destroy(&FState->Meter);
}

void TLoudnessMeter::Add(const float* samples, uint64_t count)
{
    if (count > 0 && Ebur128().AddFrames(FState->Meter, samples, size_t(count)) != EBUR128_SUCCESS)
        throw std::runtime_error("cannot measure the loudness");
}

double TLoudnessMeter::Lufs() const
{
    double lufs = -std::numeric_limits<double>::infinity();
    if (Ebur128().Loudness(FState->Meter, &lufs) != EBUR128_SUCCESS)
        return -std::numeric_limits<double>::infinity();
    return lufs;
}

TTauntQuantizer::TTauntQuantizer(double gain, bool limit, bool dither)
    : FGain(float(gain)), FLimit(limit), FDither(dither),
      // With dither a sample may move by up to one step before rounding.
      FCeiling((dither ? 126.0f : 127.4f) / 128.0f)
{
}

uint8_t TTauntQuantizer::Round(float sample)
{
    float v = sample * 128.0f;
    if (FDither && sample != 0.0f) {
        // Triangular noise of two steps' width: the sum of two uniform ones.
        constexpr float Scale = 1.0f / float(std::minstd_rand::max() - std::minstd_rand::min());
        const float a = float(FNoise() - std::minstd_rand::min()) * Scale;
        const float b = float(FNoise() - std::minstd_rand::min()) * Scale;
        v += a - b;
    }
    // Rounds to nearest, ties to even, as the convertor does; clamped, never wrapped. Adding
    // and taking away 1.5 × 2^23 leaves a float of this range rounded so, without a call.
    constexpr float Rounder = 12582912.0f;
    const float r = (std::clamp(v, -128.0f, 127.0f) + Rounder) - Rounder;
    return uint8_t(int(r) + 128);
}

void TTauntQuantizer::FadeEnds(uint64_t length, uint64_t fade)
{
    FLength = length;
    FFade = std::min(fade, length / 2);
}

float TTauntQuantizer::FadeGain(uint64_t at) const
{
    const uint64_t edge = std::min(at, FLength - 1 - std::min(at, FLength - 1));
    if (edge >= FFade)
        return 1.0f;
    return float(0.5 - 0.5 * std::cos(M_PI * double(edge) / double(FFade)));
}

void TTauntQuantizer::Put(const float* samples, uint64_t count, std::vector<uint8_t>& out)
{
    for (uint64_t i = 0; i < count; ++i) {
        FHeld.push_back(samples[i] * FGain);
        if (std::fabs(FHeld.back()) > FCeiling)
            FLoudest = FHeld.size();
        if (FHeld.size() - FStart > LookAhead)
            Emit(out);
    }
    // What was emitted makes way now and then, so that the held samples stay few.
    if (FStart > 4096) {
        FHeld.erase(FHeld.begin(), FHeld.begin() + ptrdiff_t(FStart));
        FLoudest = FLoudest > FStart ? FLoudest - FStart : 0;
        FStart = 0;
    }
}

void TTauntQuantizer::Finish(std::vector<uint8_t>& out)
{
    while (FStart < FHeld.size())
        Emit(out);
    FHeld.clear();
    FStart = 0;
    FLoudest = 0;
}

void TTauntQuantizer::Emit(std::vector<uint8_t>& out)
{
    const float x = FHeld[FStart];
    float gain = 1.0f;
    if (FLimit) {
        // The gain each sample ahead needs, reached along a ramp that starts here: the lowest
        // of them is what this sample gets, so that no sample ahead is met too loud.
        const size_t ahead = std::min(FHeld.size() - FStart, LookAhead + 1);
        gain = std::min(1.0f, FLastGain + Recovery);
        // Only a sample above the ceiling calls for less; most stretches hold none.
        for (size_t k = 0; FLoudest > FStart && k < ahead; ++k) {
            const float level = std::fabs(FHeld[FStart + k]);
            if (level <= FCeiling)
                continue;
            const float needed = FCeiling / level;
            gain = std::min(gain, needed + (1.0f - needed) * float(k) / float(LookAhead + 1));
        }
        FLastGain = gain;
    }
    const float faded = FFade > 0 ? x * gain * FadeGain(FEmitted) : x * gain;
    out.push_back(Round(faded));
    ++FStart;
    ++FEmitted;
}
