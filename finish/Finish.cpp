#include "Finish.h"

#include "Lanes.h"

#include "framework/SideBySide.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr double TauntRate = 22050.0;
// Trimming leaves 5 ms before the first sound and after the last.
constexpr uint64_t TrimMargin = 110;
// Normalizing brings the largest deviation to this fraction of full scale.
constexpr double NormalLevel = 0.8;
// A peak below this (-120 dBFS) is the rounding noise of silence, not a sound to raise.
constexpr double SilentPeak = 1e-6;
// The limiter's share in the loudness is found on stretches of the sound this long in all,
// spread evenly over it (one second each), or on all of a shorter sound.
constexpr uint64_t SampledLength = 30 * 22050;
constexpr uint64_t SampledStretch = 22050;
// Samples read, quantized and handed on at once.
constexpr uint64_t Block = 16384;
// A sound this long (12 s) is quantized in two halves on two threads.
constexpr uint64_t SplitLength = uint64_t(1) << 18;

// What the last stage does to every sample: the gain, the limiter, the fades, the dither.
struct TQuantizing {
    double Gain;
    bool Limit;
    bool Dither;
    uint64_t Fade;
};

// Quantizes the samples [from, to) of a sound of `length` that `read` gives (from its places)
// and hands their bytes to `put`, as one quantizer over the whole sound would: this one starts
// the quantizer's lead-in before `from` (a multiple of its noise's block) and reads on past `to`
// for its look-ahead.
template <typename Read, typename Put>
void Quantize(const TQuantizing& how, uint64_t length, uint64_t from, uint64_t to, Read&& read, Put&& put)
{
    const uint64_t start = from - std::min(from, TTauntQuantizer::LeadIn);
    const uint64_t end = std::min(length, to + TTauntQuantizer::LeadIn);
    TTauntQuantizer quantizer(how.Gain, how.Limit, how.Dither, start);
    if (how.Fade > 0)
        quantizer.FadeEnds(length, how.Fade);
    std::vector<float> samples(size_t(std::min(Block, end - start)));
    std::vector<uint8_t> bytes;
    uint64_t out = start;
    auto keep = [&] {
        const uint64_t first = std::max(out, from);
        const uint64_t last = std::min(out + bytes.size(), to);
        if (first < last)
            put(first, bytes.data() + (first - out), last - first);
        out += bytes.size();
        bytes.clear();
    };
    for (uint64_t at = start; at < end; at += Block) {
        const uint64_t count = std::min(Block, end - at);
        read(at, samples.data(), count);
        quantizer.Put(samples.data(), count, bytes);
        keep();
    }
    quantizer.Finish(bytes);
    keep();
}

// Quantizes a whole sound of `length`, a long one in two halves at once when `two`.
template <typename Read, typename Put>
void QuantizeAll(const TQuantizing& how, uint64_t length, bool two, Read&& read, Put&& put)
{
    const bool split = two && length >= SplitLength;
    const uint64_t half = split ? length / 2 / TTauntQuantizer::NoiseBlock * TTauntQuantizer::NoiseBlock : length;
    RunSideBySide(split ? 2 : 1, [&](size_t part) {
        Quantize(how, length, part == 0 ? 0 : half, part == 0 ? half : length, read, put);
    });
}

// The loudness of a signal after `gain` and the limiter, rounded to 8 bits as a taunt is.
double LimitedLufs(const std::vector<float>& signal, double gain, bool dither, bool two)
{
    std::vector<uint8_t> bytes(signal.size());
    QuantizeAll(
        {gain, true, dither, 0}, signal.size(), two,
        [&](uint64_t at, float* samples, uint64_t count) { std::memcpy(samples, signal.data() + at, count * 4); },
        [&](uint64_t at, const uint8_t* made, uint64_t count) { std::memcpy(bytes.data() + at, made, count); });
    return MeasureTauntLufs(bytes.data(), bytes.size());
}

class TFinisher {
public:
    TFinisher(TWideStore& store, uint64_t length, const TFinishRecipe& recipe,
              const std::function<void(double)>& progress, bool parallel)
        : FStore(store), FLength(length), FRecipe(recipe), FProgress(progress),
          FThreads(parallel && std::thread::hardware_concurrency() > 1 ? 2 : 1), FEnd(length)
    {
    }

    TFinished Finish(const TFinishedSink& sink)
    {
        TFinished made;
        Shape(made);
        made.Length = FEnd - FFirst;
        Produce(sink);
        if (FRecipe.Loudness && std::isfinite(FMeasured)) {
            char note[80];
            std::snprintf(note, sizeof note, "%.1f LUFS (gain %+.1f dB)", FReached, 20.0 * std::log10(FGain));
            made.Notes.push_back(note);
        }
        return made;
    }

private:
    // Counts `count` more samples of the work done: the first pass is counted as the larger
    // part of it.
    void Done(uint64_t count, double share, double base)
    {
        if (!FProgress || FLength == 0)
            return;
        const uint64_t done = FDone += count;
        FProgress(base + share * double(std::min(done, FLength)) / double(FLength));
    }

    // The stages before the level, run over the stored signal in place: where the sound is
    // silent, how high its peak and how loud it is.
    void Shape(TFinished& made)
    {
        TLaneStages stages;
        if (FRecipe.HighpassHz)
            stages.Highpass.emplace(*FRecipe.HighpassHz);
        if (FRecipe.Compress)
            stages.Leveller.emplace(*FRecipe.Compress);
        if (FRecipe.TrimDb)
            stages.Trim.emplace(*FRecipe.TrimDb, TrimMargin);
        stages.Loudness = FRecipe.Loudness.has_value();
        const bool reshapes = stages.Highpass || stages.Leveller;
        if (!reshapes && !FRecipe.TrimDb && !FRecipe.Normalize && !FRecipe.Loudness)
            return;
        if (FRecipe.Loudness)
            FSampled.resize(size_t(std::min(FLength, SampledLength)));
        const TLaneMeasures measured = RunLanes(
            stages, FLength, FThreads, 4 * FThreads,
            [&](uint64_t at, float* samples, uint64_t count) { FStore.Read(at, samples, count); },
            [&](uint64_t at, const float* samples, uint64_t count) {
                if (reshapes)
                    FStore.Write(at, samples, count);
                if (FRecipe.Loudness)
                    KeepSampled(at, samples, count);
            },
            [&](uint64_t count) { Done(count, 0.6, 0.0); });
        if (FRecipe.TrimDb) {
            FFirst = measured.Trim->First(FLength);
            FEnd = measured.Trim->End(FLength);
            if (FFirst == FEnd)
                made.Notes.push_back("silent throughout: trimming leaves nothing");
        }
        if (FRecipe.Normalize) {
            if (measured.Peak > SilentPeak)
                FGain = NormalLevel / measured.Peak;
            else
                made.Notes.push_back("nothing to normalize: the sound is silent");
        }
        if (FRecipe.Loudness) {
            FMeasured = measured.Gate.Lufs();
            if (std::isfinite(FMeasured))
                FGain = PredictGain();
            else
                made.Notes.push_back("too quiet to measure: its level is left as it is");
        }
    }

    // Keeps what lies in the sampled stretches of a shaped block, at their places among them.
    void KeepSampled(uint64_t at, const float* samples, uint64_t count)
    {
        const uint64_t stretches = SampledLength / SampledStretch;
        const uint64_t every = FLength <= SampledLength ? SampledStretch : FLength / stretches;
        for (uint64_t k = at / every; k < stretches && k * every < at + count; ++k) {
            const uint64_t from = std::max(at, k * every);
            const uint64_t to = std::min({at + count, k * every + SampledStretch, FLength});
            if (from < to)
                std::copy(samples + (from - at), samples + (to - at),
                          FSampled.begin() + ptrdiff_t(k * SampledStretch + (from - k * every)));
        }
    }

    // The gain that brings the sound to the target loudness. A gain alone would move its
    // loudness by as much, but the limiter takes some of it back where it lowers the peaks:
    // how much is found on the sampled stretches, trying gains until they come out as far
    // above their own loudness as the target lies above the sound's.
    double PredictGain()
    {
        const double plainDb = *FRecipe.Loudness - FMeasured;
        const std::vector<float> sampled = std::move(FSampled);
        const double own = MeasureLufs(sampled.data(), sampled.size());
        FReached = *FRecipe.Loudness;
        if (!std::isfinite(own))
            return std::pow(10.0, plainDb / 20.0);
        const double wanted = own + plainDb;
        double db = plainDb;
        double reached = LimitedLufs(sampled, std::pow(10.0, db / 20.0), FRecipe.Dither, FThreads > 1);
        double slope = 1.0;
        for (int attempt = 0; attempt < 8 && std::isfinite(reached) && std::fabs(wanted - reached) > 0.02; ++attempt) {
            // Raising the gain raises the loudness by less than as much while the limiter works.
            const double step = (wanted - reached) / slope;
            const double next = LimitedLufs(sampled, std::pow(10.0, (db + step) / 20.0), FRecipe.Dither, FThreads > 1);
            if (std::isfinite(next) && next != reached)
                slope = std::clamp((next - reached) / step, 0.05, 1.0);
            db += step;
            reached = next;
        }
        // What the stretches reached, the whole sound reaches.
        if (std::isfinite(reached))
            FReached = FMeasured + (reached - own);
        return std::pow(10.0, db / 20.0);
    }

    // Makes the taunt's bytes from the kept span of the shaped signal and hands them to sink;
    // a long taunt in two halves at once.
    void Produce(const TFinishedSink& sink)
    {
        const uint64_t span = FEnd - FFirst;
        // The limiter guards whatever may have been raised past full scale.
        const TQuantizing how{FGain, FRecipe.Loudness || FRecipe.Compress, FRecipe.Dither,
                              FRecipe.FadeMs ? uint64_t(std::llround(*FRecipe.FadeMs * TauntRate / 1000.0)) : 0};
        FDone = 0;
        QuantizeAll(
            how, span, FThreads > 1,
            [&](uint64_t at, float* samples, uint64_t count) { FStore.Read(FFirst + at, samples, count); },
            [&](uint64_t at, const uint8_t* bytes, uint64_t count) {
                sink(at, bytes, count);
                Done(count * FLength / std::max<uint64_t>(span, 1), 0.4, 0.6);
            });
    }

    TWideStore& FStore;
    uint64_t FLength;
    TFinishRecipe FRecipe;
    std::function<void(double)> FProgress;
    unsigned FThreads;
    std::atomic<uint64_t> FDone{0};
    uint64_t FFirst = 0;
    uint64_t FEnd;
    double FMeasured = 0.0;
    double FGain = 1.0;
    // The loudness the gain brings the sound to.
    double FReached = 0.0;
    // The shaped signal on the sampled stretches, while the loudness is measured.
    std::vector<float> FSampled;
};

}

void TWideMemory::Read(uint64_t at, float* samples, uint64_t count)
{
    std::memcpy(samples, FSamples.data() + at, count * 4);
}

void TWideMemory::Write(uint64_t at, const float* samples, uint64_t count)
{
    std::memcpy(FSamples.data() + at, samples, count * 4);
}

TFinished FinishSignal(TWideStore& store, uint64_t length, const TFinishRecipe& recipe, const TFinishedSink& sink,
                       const std::function<void(double)>& progress, bool parallel)
{
    return TFinisher(store, length, recipe, progress, parallel).Finish(sink);
}

TFinished FinishTaunt(std::vector<uint8_t>& taunt, const TFinishRecipe& recipe)
{
    std::vector<float> wide(taunt.size());
    for (size_t i = 0; i < taunt.size(); ++i)
        wide[i] = TauntSample(taunt[i]);
    TWideMemory store(std::move(wide));
    std::vector<uint8_t> finished(taunt.size());
    const TFinished made =
        FinishSignal(store, taunt.size(), recipe, [&](uint64_t at, const uint8_t* bytes, uint64_t count) {
            std::memcpy(finished.data() + at, bytes, count);
        });
    finished.resize(size_t(made.Length));
    taunt = std::move(finished);
    return made;
}
