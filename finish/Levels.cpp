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
    // Only the first loud sample from the block's start and the last from its end count.
    uint64_t first = 0;
    while (first < count && std::fabs(samples[first]) < FThreshold)
        ++first;
    if (first == count)
        return;
    uint64_t last = count - 1;
    while (std::fabs(samples[last]) < FThreshold)
        --last;
    FFirst = std::min(FFirst, at + first);
    FLast = std::max(FLast, at + last);
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

void TLoudnessMeter::AddTaunt(const uint8_t* bytes, uint64_t count)
{
    float block[4096];
    for (uint64_t at = 0; at < count;) {
        const size_t n = size_t(std::min<uint64_t>(count - at, std::size(block)));
        for (size_t i = 0; i < n; ++i)
            block[i] = TauntSample(bytes[at + i]);
        Add(block, n);
        at += n;
    }
}

double TLoudnessMeter::Lufs() const
{
    double lufs = -std::numeric_limits<double>::infinity();
    if (Ebur128().Loudness(FState->Meter, &lufs) != EBUR128_SUCCESS)
        return -std::numeric_limits<double>::infinity();
    return lufs;
}

namespace {
// Blocks waiting for the meter's thread at most.
constexpr size_t MeterQueue = 4;
}

TLoudnessMeterAside::TLoudnessMeterAside()
    : FThread([this] {
          std::unique_lock lock(FLock);
          for (;;) {
              FChanged.wait(lock, [&] { return FStopping || !FWaiting.empty(); });
              if (FWaiting.empty())
                  return;
              std::vector<float> block = std::move(FWaiting.front());
              FWaiting.pop_front();
              FChanged.notify_all();
              lock.unlock();
              std::exception_ptr error;
              try {
                  FMeter.Add(block.data(), block.size());
              } catch (...) {
                  error = std::current_exception();
              }
              lock.lock();
              if (error && !FError)
                  FError = error;
              FSpare.push_back(std::move(block));
          }
      })
{
}

TLoudnessMeterAside::~TLoudnessMeterAside()
{
    Stop();
}

void TLoudnessMeterAside::Stop()
{
    {
        std::lock_guard lock(FLock);
        FStopping = true;
    }
    FChanged.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TLoudnessMeterAside::Add(const float* samples, uint64_t count)
{
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [&] { return FWaiting.size() < MeterQueue; });
    if (FError)
        std::rethrow_exception(FError);
    std::vector<float> block;
    if (!FSpare.empty()) {
        block = std::move(FSpare.back());
        FSpare.pop_back();
    }
    block.assign(samples, samples + count);
    FWaiting.push_back(std::move(block));
    FChanged.notify_all();
}

double TLoudnessMeterAside::Lufs()
{
    Stop();
    if (FError)
        std::rethrow_exception(FError);
    return FMeter.Lufs();
}

TTauntQuantizer::TTauntQuantizer(double gain, bool limit, bool dither)
    : FGain(float(gain)), FLimit(limit), FDither(dither),
      // With dither a sample may move by up to one step before rounding.
      FCeiling((dither ? 126.0f : 127.4f) / 128.0f), FLoud(Held)
{
}

void TTauntQuantizer::Round(const float* samples, size_t count, uint8_t* bytes)
{
    // Rounds to nearest, ties to even, as the convertor does; clamped, never wrapped. Adding
    // and taking away 1.5 × 2^23 leaves a float of this range rounded so, without a call.
    constexpr float Rounder = 12582912.0f;
    constexpr size_t Lanes = NoiseLanes;
    for (size_t at = 0; at < count;) {
        if (FDither && FNoiseUsed == Lanes) {
            // Triangular noise of two steps' width: the difference of two uniform ones, the
            // two halves of a step of a xorshift generator.
            for (size_t l = 0; l < Lanes; ++l) {
                uint32_t x = FNoise[l];
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                FNoise[l] = x;
                FNoiseMade[l] = float(int(x & 0xFFFFu) - int(x >> 16)) * (1.0f / 65536.0f);
            }
            FNoiseUsed = 0;
        }
        // What is left of the noise made goes on in order, however the samples come in blocks.
        if (!FDither) {
            for (; at < count; ++at)
                bytes[at] = uint8_t(int((std::clamp(samples[at] * 128.0f, -128.0f, 127.0f) + Rounder) - Rounder) + 128);
            break;
        }
        const size_t n = std::min(Lanes - FNoiseUsed, count - at);
        const float* noise = FNoiseMade + FNoiseUsed;
        for (size_t l = 0; l < n; ++l) {
            const float x = samples[at + l];
            // Exact silence gets no dither: it stays 128.
            const float v = x * 128.0f + (x != 0.0f ? noise[l] : 0.0f);
            bytes[at + l] = uint8_t(int((std::clamp(v, -128.0f, 127.0f) + Rounder) - Rounder) + 128);
        }
        at += n;
        FNoiseUsed += n;
    }
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
    for (uint64_t i = 0; i < count; ++i)
        put[i] = samples[i] * FGain;
    if (FLimit)
        for (uint64_t i = 0; i < count; ++i)
            if (std::fabs(put[i]) > FCeiling)
                FComing.push_back({FReceived + i, FCeiling / std::fabs(put[i])});
    FReceived += count;
    // A sample goes out once the look-ahead past it has come in.
    if (FReceived > LookAhead)
        Emit(FReceived - LookAhead);
    const size_t base = out.size();
    out.resize(base + FOutCount);
    Round(FOut.data(), FOutCount, out.data() + base);
}

void TTauntQuantizer::Finish(std::vector<uint8_t>& out)
{
    Emit(FReceived);
    const size_t base = out.size();
    out.resize(base + FOutCount);
    Round(FOut.data(), FOutCount, out.data() + base);
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
