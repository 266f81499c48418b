#include "Taunt.h"

#include "Levels.h"

#include "framework/Exception.h"
#include "framework/ReplacingFile.h"
#include "acm/Riff.h"
#include "sound/Normalize.h"
#include "sound/StreamConvert.h"
#include "sound/TauntFormat.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <unistd.h>

namespace {

// The taunt's rate and width at full precision: what levelling measures and works on.
constexpr WAVEFORMATEX WideTauntFormat{WAVE_FORMAT_PCM, 1, 22050, 22050 * 4, 4, 32, 0};
constexpr uint32_t WrittenFmtSize = 16;
constexpr uint64_t HeaderSize = WaveHeaderSize(WrittenFmtSize);
// Trimming leaves 5 ms before the first sound and after the last.
constexpr uint64_t TrimMargin = 110;
// Loudness is brought within this of the target, measured on the result.
constexpr double LoudnessTolerance = 0.5;
constexpr int LoudnessAttempts = 4;

// The WAV file being written: its samples land at their places as they come.
class TTauntFile {
public:
    explicit TTauntFile(const std::string& name) : FFile(name), FName(name) {}

    void Write(uint64_t at, const uint8_t* bytes, uint64_t count)
    {
        auto& stream = static_cast<TFileStream&>(FFile.Stream());
        for (uint64_t done = 0; done < count;) {
            const ssize_t n =
                ::pwrite(stream.Handle(), bytes + done, size_t(count - done), off_t(HeaderSize + at + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw EWriteError("Cannot write \"" + FName + "\". " + SystemErrorText(n < 0 ? errno : ENOSPC));
            done += uint64_t(n);
        }
    }

    void Commit(uint64_t length)
    {
        if (length > UINT32_MAX - 36)
            throw EWriteError("The sound is too long for a WAV file.");
        uint8_t header[HeaderSize];
        PutWaveHeader(header, &TauntFormat, WrittenFmtSize, uint32_t(length));
        TStream& stream = FFile.Stream();
        stream.Seek(0, TSeekOrigin::Beginning);
        stream.WriteBuffer(header, sizeof header);
        stream.SetSize(int64_t(HeaderSize + length));
        stream.Seek(int64_t(HeaderSize + length), TSeekOrigin::Beginning);
        FFile.Commit();
    }

private:
    TReplacingFile FFile;
    std::string FName;
};

// The span of a sound to keep.
struct TSpan {
    uint64_t First = 0;
    uint64_t End = UINT64_MAX;
};

// Hands on the part of [at, at + count) that lies in the span, at its place in the span.
template <typename Sink>
void WithinSpan(const TSpan& span, uint64_t at, const uint8_t* bytes, uint64_t count, uint64_t size, Sink&& sink)
{
    const uint64_t from = std::max(at, span.First);
    const uint64_t to = std::min(at + count, span.End);
    if (from < to)
        sink(from - span.First, bytes + (from - at) * size, to - from);
}

void ToFloats(const uint8_t* wide, uint64_t count, std::vector<float>& out)
{
    out.resize(size_t(count));
    for (uint64_t i = 0; i < count; ++i)
        out[i] = float(int32_t(GetLe32(wide + 4 * i))) * (1.0f / 2147483648.0f);
}

class TTauntMaker {
public:
    TTauntMaker(const std::string& source, const TTauntRecipe& recipe, const std::function<void(double)>& progress)
        : FSource(source), FRecipe(recipe), FProgress(progress)
    {
        FPasses = (recipe.TrimDb || recipe.Loudness ? 1 : 0) + (recipe.Normalize ? 1 : 0) + 1;
    }

    TTauntMade Make(const std::string& target)
    {
        TTauntMade made;
        if (FRecipe.TrimDb || FRecipe.Loudness)
            Measure(made);
        std::optional<std::array<uint8_t, 256>> levels;
        if (FRecipe.Normalize) {
            int peak = 0;
            Produce([&](uint64_t, const uint8_t* bytes, uint64_t count) {
                peak = NormalizePeak(bytes, uint32_t(count), peak);
            });
            if (peak > 0)
                levels = NormalizeLevels(peak);
            else
                made.Notes.push_back("nothing to normalize: the sound is silent");
        }
        TTauntFile file(target);
        for (int attempt = 1;; ++attempt) {
            // Only a run that sets the loudness measures it (and loads the meter's library).
            std::optional<TLoudnessMeter> meter;
            if (FRecipe.Loudness)
                meter.emplace();
            std::vector<float> floats;
            std::vector<uint8_t> mapped;
            made.Length = Produce([&](uint64_t at, const uint8_t* bytes, uint64_t count) {
                if (levels) {
                    mapped.resize(size_t(count));
                    for (uint64_t i = 0; i < count; ++i)
                        mapped[i] = (*levels)[bytes[i]];
                    bytes = mapped.data();
                }
                file.Write(at, bytes, count);
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
        file.Commit(made.Length);
        return made;
    }

private:
    // The first pass, at full precision: where the sound is silent, and how loud it is.
    void Measure(TTauntMade& made)
    {
        TTrimFinder trim(FRecipe.TrimDb.value_or(-200.0), TrimMargin);
        std::optional<TLoudnessMeter> meter;
        if (FRecipe.Loudness)
            meter.emplace();
        std::mutex lock;
        const uint64_t bytes =
            Convert(WideTauntFormat, !FRecipe.Loudness, [&](uint64_t at, const uint8_t* wide, uint32_t count) {
                std::vector<float> mine;
                ToFloats(wide, count / 4, mine);
                std::lock_guard<std::mutex> guard(lock);
                trim.Put(at / 4, mine.data(), mine.size());
                if (meter)
                    meter->Add(mine.data(), mine.size());
            });
        if (FRecipe.TrimDb) {
            FSpan = {trim.First(bytes / 4), trim.End(bytes / 4)};
            if (FSpan.First == FSpan.End)
                made.Notes.push_back("silent throughout: trimming leaves nothing");
        }
        if (FRecipe.Loudness) {
            FMeasured = meter->Lufs();
            if (std::isfinite(FMeasured))
                FGain = std::pow(10.0, (*FRecipe.Loudness - FMeasured) / 20.0);
            else
                made.Notes.push_back("too quiet to measure: its level is left as it is");
        }
    }

    // One pass that makes the taunt's bytes of the span and hands them to sink at their places
    // in it; returns the count of bytes. Levelled bytes come in order, the others may not.
    template <typename Sink>
    uint64_t Produce(Sink&& sink)
    {
        if (!FRecipe.Loudness && !FRecipe.Dither) {
            uint64_t length = 0;
            std::mutex lock;
            Convert(TauntFormat, FRecipe.Parallel, [&](uint64_t at, const uint8_t* bytes, uint32_t count) {
                WithinSpan(FSpan, at, bytes, count, 1, [&](uint64_t place, const uint8_t* kept, uint64_t n) {
                    std::lock_guard<std::mutex> guard(lock);
                    sink(place, kept, n);
                    length = std::max(length, place + n);
                });
            });
            return length;
        }
        TTauntQuantizer quantizer(FGain, FRecipe.Loudness.has_value(), FRecipe.Dither);
        std::vector<float> floats;
        std::vector<uint8_t> out;
        uint64_t written = 0;
        auto put = [&] {
            sink(written, out.data(), out.size());
            written += out.size();
            out.clear();
        };
        Convert(WideTauntFormat, false, [&](uint64_t at, const uint8_t* wide, uint32_t count) {
            WithinSpan(FSpan, at / 4, wide, count / 4, 4, [&](uint64_t, const uint8_t* kept, uint64_t n) {
                ToFloats(kept, n, floats);
                quantizer.Put(floats.data(), n, out);
                put();
            });
        });
        quantizer.Finish(out);
        put();
        return written;
    }

    uint64_t Convert(const WAVEFORMATEX& format, bool parallel, const TConvertedSink& sink)
    {
        const int pass = FPass++;
        return ConvertSoundFile(FSource, format, parallel, sink, [&](uint64_t done, uint64_t total) {
            if (FProgress && total > 0)
                FProgress((pass + double(done) / double(total)) / FPasses);
        });
    }

    std::string FSource;
    TTauntRecipe FRecipe;
    std::function<void(double)> FProgress;
    TSpan FSpan;
    double FMeasured = 0.0;
    double FGain = 1.0;
    int FPass = 0;
    int FPasses = 1;
};

}

TTauntMade MakeTaunt(const std::string& source, const std::string& target, const TTauntRecipe& recipe,
                     const std::function<void(double)>& progress)
{
    return TTauntMaker(source, recipe, progress).Make(target);
}
