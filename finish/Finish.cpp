#include "Finish.h"

#include "Filters.h"
#include "Levels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
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

// The loudness of a signal after `gain` and the limiter, rounded to 8 bits as a taunt is.
double LimitedLufs(const std::vector<float>& signal, double gain, bool dither)
{
    constexpr size_t Block = 65536;
    TTauntQuantizer quantizer(gain, true, dither);
    TLoudnessMeter meter;
    std::vector<uint8_t> bytes;
    auto measure = [&] {
        meter.AddTaunt(bytes.data(), bytes.size());
        bytes.clear();
    };
    for (size_t at = 0; at < signal.size(); at += Block) {
        quantizer.Put(signal.data() + at, std::min(Block, signal.size() - at), bytes);
        measure();
    }
    quantizer.Finish(bytes);
    measure();
    return meter.Lufs();
}

// The stages before the level, run once over the signal, in place.
class TShaper {
public:
    explicit TShaper(const TFinishRecipe& recipe)
    {
        if (recipe.HighpassHz)
            FHighpass.emplace(*recipe.HighpassHz);
        if (recipe.Compress)
            FLeveller.emplace(*recipe.Compress);
    }
    // Where trimming looks: after the high-pass, so that an offset or rumble counts for nothing.
    void Filter(float* samples, uint64_t count)
    {
        if (FHighpass)
            FHighpass->Run(samples, count);
    }
    // What the level stage gets: the filtered block, levelled.
    void Level(float* samples, uint64_t count)
    {
        if (FLeveller)
            FLeveller->Run(samples, count);
    }

private:
    std::optional<THighpass> FHighpass;
    std::optional<TSpeechLeveller> FLeveller;
};

class TFinisher {
public:
    TFinisher(const TWideSource& source, uint64_t length, const TFinishRecipe& recipe,
              const std::function<void(double)>& progress)
        : FSource(source), FLength(length), FRecipe(recipe), FProgress(progress), FEnd(length)
    {
        FMeasures = recipe.TrimDb || recipe.Normalize || recipe.Loudness;
        FPasses = (FMeasures ? 1 : 0) + 1;
    }

    TFinished Finish(const TFinishedSink& sink)
    {
        TFinished made;
        if (FMeasures)
            Measure(made);
        made.Length = Produce(sink);
        if (FRecipe.Loudness && std::isfinite(FMeasured)) {
            char note[80];
            std::snprintf(note, sizeof note, "%.1f LUFS (gain %+.1f dB)", FReached, 20.0 * std::log10(FGain));
            made.Notes.push_back(note);
        }
        return made;
    }

private:
    // Reads the source once, handing each block with its place to `block`; keeps what it
    // leaves there when `keep`.
    template <typename Block>
    void Read(bool keep, Block&& block)
    {
        const int pass = FPass++;
        uint64_t at = 0;
        FSource(
            [&](float* samples, uint64_t count) {
                block(at, samples, count);
                at += count;
                if (FProgress && FLength > 0)
                    FProgress((pass + double(std::min(at, FLength)) / double(FLength)) / FPasses);
            },
            keep);
    }

    // The first pass: where the sound is silent, how high its peak and how loud it is.
    void Measure(TFinished& made)
    {
        TShaper shaper(FRecipe);
        TTrimFinder trim(FRecipe.TrimDb.value_or(-200.0), TrimMargin);
        std::optional<TLoudnessMeterAside> meter;
        if (FRecipe.Loudness)
            meter.emplace();
        double peak = 0.0;
        Read(true, [&](uint64_t at, float* samples, uint64_t count) {
            shaper.Filter(samples, count);
            trim.Put(at, samples, count);
            shaper.Level(samples, count);
            float most = 0.0f;
            for (uint64_t i = 0; i < count; ++i)
                most = std::max(most, std::fabs(samples[i]));
            peak = std::max(peak, double(most));
            if (meter) {
                meter->Add(samples, count);
                KeepSampled(at, samples, count);
            }
        });
        if (FRecipe.TrimDb) {
            FFirst = trim.First(FLength);
            FEnd = trim.End(FLength);
            if (FFirst == FEnd)
                made.Notes.push_back("silent throughout: trimming leaves nothing");
        }
        if (FRecipe.Normalize) {
            if (peak > SilentPeak)
                FGain = NormalLevel / peak;
            else
                made.Notes.push_back("nothing to normalize: the sound is silent");
        }
        if (FRecipe.Loudness) {
            FMeasured = meter->Lufs();
            if (std::isfinite(FMeasured))
                FGain = PredictGain();
            else
                made.Notes.push_back("too quiet to measure: its level is left as it is");
        }
    }

    // Keeps what lies in the sampled stretches of a shaped block.
    void KeepSampled(uint64_t at, const float* samples, uint64_t count)
    {
        if (FLength <= SampledLength) {
            FSampled.insert(FSampled.end(), samples, samples + count);
            return;
        }
        const uint64_t every = FLength / (SampledLength / SampledStretch);
        for (uint64_t k = at / every; k * every < at + count && k < SampledLength / SampledStretch; ++k) {
            const uint64_t from = std::max(at, k * every);
            const uint64_t to = std::min(at + count, k * every + SampledStretch);
            if (from < to)
                FSampled.insert(FSampled.end(), samples + (from - at), samples + (to - at));
        }
    }

    // The gain that brings the sound to the target loudness. A gain alone would move its
    // loudness by as much, but the limiter takes some of it back where it lowers the peaks:
    // how much is found on the sampled stretches, trying gains until they come out as far
    // above their own loudness as the target lies above the sound's.
    double PredictGain()
    {
        const double plainDb = *FRecipe.Loudness - FMeasured;
        TLoudnessMeter meter;
        meter.Add(FSampled.data(), FSampled.size());
        const double sampled = meter.Lufs();
        FReached = *FRecipe.Loudness;
        if (!std::isfinite(sampled))
            return std::pow(10.0, plainDb / 20.0);
        const double wanted = sampled + plainDb;
        double db = plainDb;
        double reached = LimitedLufs(FSampled, std::pow(10.0, db / 20.0), FRecipe.Dither);
        double slope = 1.0;
        for (int attempt = 0; attempt < 8 && std::isfinite(reached) && std::fabs(wanted - reached) > 0.02; ++attempt) {
            // Raising the gain raises the loudness by less than as much while the limiter works.
            const double step = (wanted - reached) / slope;
            const double next = LimitedLufs(FSampled, std::pow(10.0, (db + step) / 20.0), FRecipe.Dither);
            if (std::isfinite(next) && next != reached)
                slope = std::clamp((next - reached) / step, 0.05, 1.0);
            db += step;
            reached = next;
        }
        // What the stretches reached, the whole sound reaches.
        if (std::isfinite(reached))
            FReached = FMeasured + (reached - sampled);
        std::vector<float>().swap(FSampled);
        return std::pow(10.0, db / 20.0);
    }

    // One pass that makes the taunt's bytes and hands them to sink in order; returns their count.
    template <typename Sink>
    uint64_t Produce(Sink&& sink)
    {
        TShaper shaper(FRecipe);
        // The limiter guards whatever may have been raised past full scale.
        TTauntQuantizer quantizer(FGain, FRecipe.Loudness || FRecipe.Compress, FRecipe.Dither);
        if (FRecipe.FadeMs)
            quantizer.FadeEnds(FEnd - FFirst, uint64_t(std::llround(*FRecipe.FadeMs * TauntRate / 1000.0)));
        std::vector<uint8_t> out;
        uint64_t written = 0;
        auto put = [&] {
            if (!out.empty())
                sink(written, out.data(), out.size());
            written += out.size();
            out.clear();
        };
        Read(false, [&](uint64_t at, float* samples, uint64_t count) {
            // A measured signal was shaped as it was measured.
            if (!FMeasures) {
                shaper.Filter(samples, count);
                shaper.Level(samples, count);
            }
            const float* levelled = samples;
            const uint64_t from = std::max(at, FFirst);
            const uint64_t to = std::min(at + count, FEnd);
            if (from < to) {
                quantizer.Put(levelled + (from - at), to - from, out);
                put();
            }
        });
        quantizer.Finish(out);
        put();
        return written;
    }

    TWideSource FSource;
    uint64_t FLength;
    TFinishRecipe FRecipe;
    std::function<void(double)> FProgress;
    bool FMeasures = false;
    uint64_t FFirst = 0;
    uint64_t FEnd;
    double FMeasured = 0.0;
    double FGain = 1.0;
    // The loudness the gain brings the sound to.
    double FReached = 0.0;
    // The shaped signal on the sampled stretches, while the loudness is measured.
    std::vector<float> FSampled;
    int FPass = 0;
    int FPasses = 1;
};

}

TFinished FinishSignal(const TWideSource& source, uint64_t length, const TFinishRecipe& recipe,
                       const TFinishedSink& sink, const std::function<void(double)>& progress)
{
    return TFinisher(source, length, recipe, progress).Finish(sink);
}

TFinished FinishTaunt(std::vector<uint8_t>& taunt, const TFinishRecipe& recipe)
{
    constexpr size_t Block = 65536;
    std::vector<float> wide(taunt.size());
    for (size_t i = 0; i < taunt.size(); ++i)
        wide[i] = TauntSample(taunt[i]);
    std::vector<float> block;
    const TWideSource source = [&](const TWideBlock& take, bool keep) {
        for (size_t at = 0; at < wide.size(); at += Block) {
            const size_t count = std::min(Block, wide.size() - at);
            if (keep) {
                take(wide.data() + at, count);
            } else {
                block.assign(wide.data() + at, wide.data() + at + count);
                take(block.data(), count);
            }
        }
    };
    std::vector<uint8_t> finished;
    TFinished made = FinishSignal(source, taunt.size(), recipe, [&](uint64_t at, const uint8_t* bytes, uint64_t count) {
        finished.resize(size_t(at));
        finished.insert(finished.end(), bytes, bytes + count);
    });
    taunt = std::move(finished);
    return made;
}
