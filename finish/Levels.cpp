#include "Levels.h"

#include "Filters.h"
#include "acm/AcmStages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
// The limiter looks 2 ms ahead and lowers its gain along that stretch, so that a peak is
// met by a ramp rather than a step; it recovers at most to full gain over about 50 ms.
constexpr size_t LookAhead = 44;
constexpr float Recovery = 1.0f / 1100.0f;
// The samples held for the look-ahead: a power of two above it.
constexpr size_t Held = 64;
}

float Peak(const float* samples, uint64_t count)
{
    // Four vectors side by side, so that no maximum waits for the one before.
    TFloat4 most[4] = {};
    uint64_t i = 0;
    for (; i + 16 <= count; i += 16)
        for (size_t k = 0; k < 4; ++k) {
            TFloat4 v;
            std::memcpy(&v, samples + i + 4 * k, sizeof v);
            v = Abs(v);
            most[k] = v > most[k] ? v : most[k];
        }
    float peak = 0.0f;
    for (const TFloat4& m : most)
        peak = std::max({peak, m[0], m[1], m[2], m[3]});
    for (; i < count; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    return peak;
}

TTrimFinder::TTrimFinder(double thresholdDb, uint64_t marginSamples)
    : FThreshold(float(std::pow(10.0, thresholdDb / 20.0))), FMargin(marginSamples)
{
}

void TTrimFinder::Put(uint64_t at, const float* samples, uint64_t count, size_t stride)
{
    // Only the first loud sample from the block's start and the last from its end count.
    uint64_t first = 0;
    while (first < count && std::fabs(samples[first * stride]) < FThreshold)
        ++first;
    if (first == count)
        return;
    uint64_t last = count - 1;
    while (std::fabs(samples[last * stride]) < FThreshold)
        --last;
    FFirst = std::min(FFirst, at + first);
    FLast = std::max(FLast, at + last);
}

void TTrimFinder::Merge(const TTrimFinder& other)
{
    FFirst = std::min(FFirst, other.FFirst);
    FLast = std::max(FLast, other.FLast);
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
// Energies to loudness after BS.1770, and the absolute gate.
constexpr double LufsOffset = -0.691;
constexpr double AbsoluteGate = -70.0;
constexpr double RelativeGate = -10.0;
constexpr double StepLu = 0.1;

double Loudness(double energy)
{
    return LufsOffset + 10.0 * std::log10(energy);
}
}

TLoudnessGate::TLoudnessGate(uint64_t from, uint64_t to) : FFrom(from), FTo(to), FCount(Steps), FEnergy(Steps) {}

void TLoudnessGate::Push(double sum, uint64_t end)
{
    const double energy = (FParts[0] + FParts[1] + FParts[2] + sum) / double(4 * Part);
    FParts[0] = FParts[1];
    FParts[1] = FParts[2];
    FParts[2] = sum;
    // The first block ends 400 ms into the sound.
    if (end <= FFrom || end > FTo || end < 4 * Part || !(energy > 0.0))
        return;
    const double lufs = Loudness(energy);
    if (lufs < AbsoluteGate)
        return;
    const int step = std::min(Steps - 1, int((lufs - AbsoluteGate) / StepLu));
    ++FCount[size_t(step)];
    FEnergy[size_t(step)] += energy;
}

void TLoudnessGate::Merge(const TLoudnessGate& other)
{
    for (size_t i = 0; i < size_t(Steps); ++i) {
        FCount[i] += other.FCount[i];
        FEnergy[i] += other.FEnergy[i];
    }
}

double TLoudnessGate::Lufs() const
{
    uint64_t count = 0;
    double energy = 0.0;
    for (size_t i = 0; i < size_t(Steps); ++i) {
        count += FCount[i];
        energy += FEnergy[i];
    }
    if (count == 0)
        return -std::numeric_limits<double>::infinity();
    const double gate = Loudness(energy / double(count)) + RelativeGate;
    count = 0;
    energy = 0.0;
    for (size_t i = 0; i < size_t(Steps); ++i) {
        // Whole steps above the gate count; the step it falls in counts when its blocks
        // are above it on average.
        const bool above = AbsoluteGate + StepLu * double(i) >= gate ||
            (FCount[i] > 0 && AbsoluteGate + StepLu * double(i + 1) > gate &&
             Loudness(FEnergy[i] / double(FCount[i])) >= gate);
        if (above) {
            count += FCount[i];
            energy += FEnergy[i];
        }
    }
    return count > 0 ? Loudness(energy / double(count)) : -std::numeric_limits<double>::infinity();
}

TTauntQuantizer::TTauntQuantizer(double gain, bool limit, bool dither, uint64_t start)
    : FGain(float(gain)), FLimit(limit), FDither(dither),
      // With dither a sample may move by up to one step before rounding.
      FCeiling((dither ? 126.0f : 127.4f) / 128.0f), FReceived(start), FEmitted(start), FLoud(Held)
{
    Seed(start / NoiseBlock);
}

void TTauntQuantizer::Seed(uint64_t block)
{
    for (size_t l = 0; l < NoiseLanes; ++l) {
        // A mix of the block's and the lane's numbers (splitmix64's), never 0, which a
        // xorshift generator would keep.
        uint64_t z = (block * NoiseLanes + l + 1) * 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        FNoise[l] = uint32_t(z ^ (z >> 31)) | 1u;
    }
}

void TTauntQuantizer::Round(uint64_t first, const float* samples, size_t count, uint8_t* bytes)
{
    if (!FDither) {
        AcmStages::Quantizer::PutUnsigned8(samples, bytes, count);
        return;
    }
    // A stretch at a time, in the first-level cache: triangular noise of two steps' width for
    // each sample, in order however the samples come in blocks (the difference of two uniform
    // ones, the two halves of a step of a xorshift generator, the generators side by side);
    // added where rounding sees it in steps (of 1/128) but not to exact silence, which stays
    // 128; then rounded as the convertor rounds.
    using TLanes = uint32_t __attribute__((vector_size(4 * NoiseLanes)));
    using TSigned = int32_t __attribute__((vector_size(4 * NoiseLanes)));
    using TFloats = float __attribute__((vector_size(4 * NoiseLanes)));
    constexpr size_t Stretch = 64;
    float noise[Stretch + NoiseLanes];
    TLanes x;
    std::memcpy(&x, FNoise, sizeof x);
    for (size_t from = 0; from < count; from += Stretch) {
        const size_t n = std::min(Stretch, count - from);
        size_t at = 0;
        for (; at < n && FNoiseUsed < NoiseLanes; ++at)
            noise[at] = FNoiseMade[FNoiseUsed++];
        for (; at < n; at += NoiseLanes) {
            if ((first + from + at) % NoiseBlock < NoiseLanes) {
                Seed((first + from + at) / NoiseBlock);
                std::memcpy(&x, FNoise, sizeof x);
            }
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            const TFloats value = __builtin_convertvector(TSigned(x & 0xFFFFu) - TSigned(x >> 16), TFloats);
            std::memcpy(noise + at, &value, sizeof value);
            // What this step made past the samples is left for the next ones.
            if (at + NoiseLanes > n) {
                std::memcpy(FNoiseMade, noise + at, sizeof FNoiseMade);
                FNoiseUsed = n - at;
            }
        }
        const float* x = samples + from;
        at = 0;
        for (; at + 4 <= n; at += 4) {
            TFloat4 v, d;
            std::memcpy(&v, x + at, sizeof v);
            std::memcpy(&d, noise + at, sizeof d);
            using TMask = decltype(v != v);
            d = v + TFloat4(TMask(d * (1.0f / (128.0f * 65536.0f))) & (v != 0.0f));
            std::memcpy(noise + at, &d, sizeof d);
        }
        for (; at < n; ++at)
            noise[at] = x[at] != 0.0f ? x[at] + noise[at] * (1.0f / (128.0f * 65536.0f)) : 0.0f;
        AcmStages::Quantizer::PutUnsigned8(noise, bytes + from, n);
    }
    std::memcpy(FNoise, &x, sizeof x);
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

void TTauntQuantizer::Reach(const TLoud& loud, uint64_t next)
{
    // A held loud sample that asks for no less than this one from the next to go out up to
    // its own place (both ramps are straight lines) never decides a gain again.
    while (FLoudCount > 0) {
        const TLoud& last = FLoud[(FLoudFirst + FLoudCount - 1) & (Held - 1)];
        if (Ramp(last.Needed, last.At - next) < Ramp(loud.Needed, loud.At - next) ||
            last.Needed < Ramp(loud.Needed, loud.At - last.At))
            break;
        --FLoudCount;
    }
    FLoud[(FLoudFirst + FLoudCount++) & (Held - 1)] = loud;
}

void TTauntQuantizer::Put(const float* samples, uint64_t count, std::vector<uint8_t>& out)
{
    // The buffers only grow, to a block and the look-ahead: nothing is cleared a block.
    if (FHeld.size() < FHeldCount + count)
        FHeld.resize(size_t(FHeldCount + count));
    float* put = FHeld.data() + FHeldCount;
    FHeldCount += size_t(count);
    // A stretch at a time, in the first-level cache; loud samples are few: only stretches with
    // one are looked through.
    constexpr uint64_t Stretch = 64;
    for (uint64_t from = 0; from < count; from += Stretch) {
        const uint64_t to = std::min(from + Stretch, count);
        for (uint64_t i = from; i < to; ++i)
            put[i] = samples[i] * FGain;
        if (FLimit && Peak(put + from, to - from) > FCeiling)
            for (uint64_t i = from; i < to; ++i)
                if (std::fabs(put[i]) > FCeiling)
                    FComing.push_back({FReceived + i, FCeiling / std::fabs(put[i])});
    }
    FReceived += count;
    // A sample goes out once the look-ahead past it has come in.
    if (FReceived > LookAhead)
        Emit(FReceived - LookAhead);
    const size_t base = out.size();
    out.resize(base + FOutCount);
    Round(FEmitted - FOutCount, FOut.data(), FOutCount, out.data() + base);
}

void TTauntQuantizer::Finish(std::vector<uint8_t>& out)
{
    Emit(FReceived);
    const size_t base = out.size();
    out.resize(base + FOutCount);
    Round(FEmitted - FOutCount, FOut.data(), FOutCount, out.data() + base);
    FLoudCount = 0;
}

void TTauntQuantizer::Emit(uint64_t end)
{
    const uint64_t first = FEmitted;
    FOutCount = 0;
    if (end <= first)
        return;
    FOutCount = size_t(end - first);
    if (FOut.size() < FOutCount)
        FOut.resize(FOutCount);
    const float* held = FHeld.data();
    float* out = FOut.data();
    for (uint64_t at = first; at < end;) {
        if (!FLimit) {
            std::copy(held, held + (end - first), out);
            break;
        }
        while (FComingFirst < FComing.size() && FComing[FComingFirst].At <= at + LookAhead)
            Reach(FComing[FComingFirst++], at);
        while (FLoudCount > 0 && FLoud[FLoudFirst].At < at) {
            FLoudFirst = (FLoudFirst + 1) & (Held - 1);
            --FLoudCount;
        }
        if (FLoudCount == 0 && FLastGain >= 1.0f) {
            // At full gain with nothing loud ahead: all goes out as it is until a loud sample
            // comes within the look-ahead.
            uint64_t quiet = end;
            if (FComingFirst < FComing.size())
                quiet = std::min(end, FComing[FComingFirst].At - LookAhead);
            std::copy(held + (at - first), held + (quiet - first), out + (at - first));
            at = quiet;
            continue;
        }
        // The gain each loud sample ahead needs, reached along a ramp that starts here: the
        // lowest of them is what this sample gets, so that no sample ahead is met too loud.
        float gain = std::min(1.0f, FLastGain + Recovery);
        for (size_t i = 0; i < FLoudCount; ++i) {
            const TLoud& loud = FLoud[(FLoudFirst + i) & (Held - 1)];
            gain = std::min(gain, Ramp(loud.Needed, loud.At - at));
        }
        FLastGain = gain;
        out[at - first] = held[at - first] * gain;
        ++at;
    }
    // The fades, on what lies in them.
    if (FFade > 0) {
        for (uint64_t at = first; at < std::min(end, FFade); ++at)
            out[at - first] *= FadeGain(at);
        for (uint64_t at = std::max(first, FLength > FFade ? FLength - FFade : 0); at < end; ++at)
            out[at - first] *= FadeGain(at);
    }
    std::copy(FHeld.begin() + ptrdiff_t(end - first), FHeld.begin() + ptrdiff_t(FHeldCount), FHeld.begin());
    FHeldCount -= size_t(end - first);
    FEmitted = end;
    FComing.erase(FComing.begin(), FComing.begin() + ptrdiff_t(FComingFirst));
    FComingFirst = 0;
}
