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
// The samples held for the look-ahead: a power of two above it.
constexpr size_t Held = 64;
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
      FCeiling((dither ? 126.0f : 127.4f) / 128.0f), FHeld(Held), FLoud(Held)
{
}

void TTauntQuantizer::Round(const float* samples, size_t count, uint8_t* bytes)
{
    // Rounds to nearest, ties to even, as the convertor does; clamped, never wrapped. Adding
    // and taking away 1.5 × 2^23 leaves a float of this range rounded so, without a call.
    constexpr float Rounder = 12582912.0f;
    if (!FDither) {
        for (size_t i = 0; i < count; ++i)
            bytes[i] = uint8_t(int((std::clamp(samples[i] * 128.0f, -128.0f, 127.0f) + Rounder) - Rounder) + 128);
        return;
    }
    uint64_t noise = FNoise;
    for (size_t i = 0; i < count; ++i) {
        // Triangular noise of two steps' width: the difference of two uniform ones, both taken
        // from one step of a 64-bit congruential generator (its high bits).
        noise = noise * 6364136223846793005ULL + 1442695040888963407ULL;
        constexpr float Scale = 1.0f / 16777216.0f;
        const float a = float(uint32_t(noise >> 40)) * Scale;
        const float b = float(uint32_t(noise >> 16) & 0xFFFFFFu) * Scale;
        const float v = samples[i] * 128.0f + (samples[i] != 0.0f ? a - b : 0.0f);
        bytes[i] = uint8_t(int((std::clamp(v, -128.0f, 127.0f) + Rounder) - Rounder) + 128);
    }
    FNoise = noise;
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

namespace {
// What a sample `ahead` places before a loud one that needs `needed` gets from it: the ramp
// that reaches `needed` at the loud one.
inline float Ramp(float needed, uint64_t ahead)
{
    return needed + (1.0f - needed) * float(ahead) / float(LookAhead + 1);
}
}

inline void TTauntQuantizer::Hold(float sample)
{
    const float v = sample * FGain;
    const uint64_t at = FReceived++;
    FHeld[at & (Held - 1)] = v;
    if (!FLimit || std::fabs(v) <= FCeiling)
        return;
    const float needed = FCeiling / std::fabs(v);
    // A held loud sample that asks for no less than this one from the next to go out up to
    // its own place (both ramps are straight lines) never decides a gain again.
    const uint64_t next = FEmitted;
    while (FLoudCount > 0) {
        const TLoud& last = FLoud[(FLoudFirst + FLoudCount - 1) & (Held - 1)];
        if (Ramp(last.Needed, last.At - next) < Ramp(needed, at - next) || last.Needed < Ramp(needed, at - last.At))
            break;
        --FLoudCount;
    }
    FLoud[(FLoudFirst + FLoudCount++) & (Held - 1)] = {at, needed};
}

inline float TTauntQuantizer::Emit()
{
    const uint64_t at = FEmitted++;
    float gain = 1.0f;
    if (FLimit) {
        while (FLoudCount > 0 && FLoud[FLoudFirst].At < at) {
            FLoudFirst = (FLoudFirst + 1) & (Held - 1);
            --FLoudCount;
        }
        // The gain each loud sample ahead needs, reached along a ramp that starts here: the
        // lowest of them is what this sample gets, so that no sample ahead is met too loud.
        gain = std::min(1.0f, FLastGain + Recovery);
        for (size_t i = 0; i < FLoudCount; ++i) {
            const TLoud& loud = FLoud[(FLoudFirst + i) & (Held - 1)];
            gain = std::min(gain, Ramp(loud.Needed, loud.At - at));
        }
        FLastGain = gain;
    }
    const float x = FHeld[at & (Held - 1)];
    const bool fading = FFade > 0 && (at < FFade || at + FFade >= FLength);
    return fading ? x * gain * FadeGain(at) : x * gain;
}

void TTauntQuantizer::Put(const float* samples, uint64_t count, std::vector<uint8_t>& out)
{
    FOut.resize(size_t(count));
    size_t made = 0;
    for (uint64_t i = 0; i < count; ++i) {
        Hold(samples[i]);
        if (FReceived - FEmitted > LookAhead)
            FOut[made++] = Emit();
    }
    const size_t base = out.size();
    out.resize(base + made);
    Round(FOut.data(), made, out.data() + base);
}

void TTauntQuantizer::Finish(std::vector<uint8_t>& out)
{
    FOut.clear();
    while (FEmitted < FReceived)
        FOut.push_back(Emit());
    const size_t base = out.size();
    out.resize(base + FOut.size());
    Round(FOut.data(), FOut.size(), out.data() + base);
    FLoudCount = 0;
}
