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
// Loudness is brought within this of the target, measured on the result.
constexpr double LoudnessTolerance = 0.2;
constexpr int LoudnessAttempts = 4;

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
        for (int attempt = 1;; ++attempt) {
            // Only a run that sets the loudness measures it (and loads the meter's library).
            std::optional<TLoudnessMeter> meter;
            if (FRecipe.Loudness)
                meter.emplace();
            std::vector<float> floats;
            made.Length = Produce([&](uint64_t at, const uint8_t* bytes, uint64_t count) {
                sink(at, bytes, count);
                if (meter) {
                    floats.resize(size_t(count));
                    for (uint64_t i = 0; i < count; ++i)
                        floats[i] = float(int(bytes[i]) - 128) / 128.0f;
                    meter->Add(floats.data(), count);
                }
            });
            if (!FRecipe.Loudness || !std::isfinite(FMeasured))
                break;
            const double reached = meter->Lufs();
            const double miss = *FRecipe.Loudness - reached;
            if (std::fabs(miss) <= LoudnessTolerance || !std::isfinite(reached) || attempt == LoudnessAttempts) {
                char note[80];
                std::snprintf(note, sizeof note, "%.1f LUFS (gain %+.1f dB)", reached, 20.0 * std::log10(FGain));
                made.Notes.push_back(note);
                break;
            }
            FGain *= std::pow(10.0, miss / 20.0);
            ++FPasses;
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
        std::optional<TLoudnessMeter> meter;
        if (FRecipe.Loudness)
            meter.emplace();
        double peak = 0.0;
        Read(true, [&](uint64_t at, float* samples, uint64_t count) {
            shaper.Filter(samples, count);
            trim.Put(at, samples, count);
            shaper.Level(samples, count);
            for (uint64_t i = 0; i < count; ++i)
                peak = std::max(peak, std::fabs(double(samples[i])));
            if (meter)
                meter->Add(samples, count);
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
                FGain = std::pow(10.0, (*FRecipe.Loudness - FMeasured) / 20.0);
            else
                made.Notes.push_back("too quiet to measure: its level is left as it is");
        }
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
        wide[i] = float(int(taunt[i]) - 128) / 128.0f;
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
