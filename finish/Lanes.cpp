#include "Lanes.h"

#include "framework/SideBySide.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#include <vector>

namespace {

constexpr unsigned Lanes = 4;
// The samples of each lane that go through the vectors at once (in the first-level cache), and
// the samples of each lane read and written at once. A block divides every stretch's lead-in,
// so that a block is either all lead-in or all the stretch's own, and is a multiple of four.
constexpr uint64_t Block = 1260;
constexpr uint64_t Chunk = 13 * Block;
// With the leveller, stretches start on multiples of its step and of the loudness's parts
// (70560 = lcm(32, 2205)), and their lead-ins last 6.4 s: the leveller's release of 200 ms
// forgets its start to e^-32, far below a float's precision. Without it the filters forget
// theirs within milliseconds, and 400 ms gives the loudness's first block its parts.
constexpr uint64_t LevellerAlign = 70560;
constexpr uint64_t LevellerLead = 2 * LevellerAlign;
constexpr uint64_t FilterAlign = TLoudnessGate::Part;
constexpr uint64_t FilterLead = 4 * TLoudnessGate::Part;
// A sound shorter than this (12 s) is not worth a second thread.
constexpr uint64_t ThreadedLength = uint64_t(1) << 18;

// A lane's stretch: its filters start at Work; from First to End is its own.
struct TStretch {
    uint64_t Work, First, End;
};

// Cuts a sound into stretches of about equal work, as many as leave each at least `align`
// samples of its own, at most `most`; they start on multiples of `align`.
std::vector<TStretch> Cut(uint64_t length, uint64_t lead, uint64_t align, unsigned most)
{
    const uint64_t fit = length > lead ? (length - lead) / align : 0;
    const auto count = unsigned(std::clamp<uint64_t>(fit, 1, std::max(most, 1u)));
    const uint64_t work = (length + (count - 1) * lead) / count / align * align;
    std::vector<TStretch> cut;
    uint64_t first = 0;
    for (unsigned i = 0; i < count; ++i) {
        const uint64_t start = i == 0 ? 0 : first - lead;
        const uint64_t end = i + 1 == count ? length : start + work;
        cut.push_back({start, first, end});
        first = end;
    }
    return cut;
}

// Four samples of each of four lanes, a lane's in each vector, turned into four vectors of a
// sample of each lane, and back.
inline void Transpose(TFloat4* v)
{
    const TFloat4 low01 = __builtin_shufflevector(v[0], v[1], 0, 4, 1, 5);
    const TFloat4 high01 = __builtin_shufflevector(v[0], v[1], 2, 6, 3, 7);
    const TFloat4 low23 = __builtin_shufflevector(v[2], v[3], 0, 4, 1, 5);
    const TFloat4 high23 = __builtin_shufflevector(v[2], v[3], 2, 6, 3, 7);
    v[0] = __builtin_shufflevector(low01, low23, 0, 1, 4, 5);
    v[1] = __builtin_shufflevector(low01, low23, 2, 3, 6, 7);
    v[2] = __builtin_shufflevector(high01, high23, 0, 1, 4, 5);
    v[3] = __builtin_shufflevector(high01, high23, 2, 3, 6, 7);
}

// The stages over up to four stretches, a block of each at a time.
class TLaneKernel {
public:
    TLaneKernel(const TLaneStages& stages, const std::vector<TStretch>& stretches)
        : FStages(stages), FStretches(stretches)
    {
        for (const TStretch& s : stretches) {
            FMeasures.emplace_back();
            FMeasures.back().Trim = stages.Trim;
            FMeasures.back().Gate = TLoudnessGate(s.First, s.End);
        }
    }

    // The next block of each lane, in place: lanes[j] holds lane j's samples from where it is,
    // with zeros past its end.
    void Run(float* const lanes[Lanes])
    {
        for (size_t i = 0; i < Block; i += 4) {
            for (size_t j = 0; j < Lanes; ++j)
                std::memcpy(&FBlock[i + j], lanes[j] + i, sizeof(TFloat4));
            Transpose(FBlock + i);
        }
        if (FStages.Highpass && FDone == 0)
            FHighpass = FStages.Highpass->Start(FBlock[0]);
        // Each combination of stages as a loop of its own.
        using TShape = void (TLaneKernel::*)();
        static constexpr TShape Shapes[8] = {
            &TLaneKernel::Shape<false, false, false>, &TLaneKernel::Shape<false, false, true>,
            &TLaneKernel::Shape<false, true, false>,  &TLaneKernel::Shape<false, true, true>,
            &TLaneKernel::Shape<true, false, false>,  &TLaneKernel::Shape<true, false, true>,
            &TLaneKernel::Shape<true, true, false>,   &TLaneKernel::Shape<true, true, true>};
        (this->*Shapes[(FStages.Highpass ? 4 : 0) + (FStages.Leveller ? 2 : 0) + (FStages.Loudness ? 1 : 0)])();
        if (FStages.Trim)
            for (size_t j = 0; j < FStretches.size(); ++j) {
                const TStretch& s = FStretches[j];
                const uint64_t at = s.Work + FDone;
                if (at >= s.First && at < s.End)
                    FMeasures[j].Trim->Put(at, reinterpret_cast<const float*>(FFiltered) + j,
                                           std::min(Block, s.End - at), Lanes);
            }
        for (size_t i = 0; i < Block; i += 4) {
            Transpose(FBlock + i);
            for (size_t j = 0; j < Lanes; ++j)
                std::memcpy(lanes[j] + i, &FBlock[i + j], sizeof(TFloat4));
        }
        FDone += Block;
    }

    TLaneMeasures& Measures(size_t lane) { return FMeasures[lane]; }

private:
    // The stages over the block in one loop, so that their recursions overlap, in runs that
    // neither cross the leveller's steps nor the loudness's parts. What the trim looks at,
    // the high-pass's output, is kept aside.
    template <bool Filter, bool Level, bool Measure>
    void Shape()
    {
        const THighpass* highpass = Filter ? &*FStages.Highpass : nullptr;
        const TSpeechLeveller* leveller = Level ? &*FStages.Leveller : nullptr;
        THighpass::TState<TFloat4> filtering = FHighpass;
        TFloat4 envelope = FEnvelope, line = FLine, slope = FSlope, sum = FSum;
        TKWeighting::TState<TFloat4> weighting = FWeighting;
        auto filter = [&](size_t k) {
            TFloat4 v = FBlock[k];
            if (Filter)
                v = highpass->Step(filtering, v);
            FFiltered[k] = v;
            if (Level)
                envelope = leveller->Follow(envelope, Abs(v));
            return v;
        };
        auto out = [&](size_t k, TFloat4 v) {
            if (Level) {
                v *= line;
                line += slope;
            }
            if (Measure) {
                const TFloat4 w = FKWeighting.Step(weighting, v);
                sum += w * w;
            }
            FBlock[k] = v;
        };
        for (size_t i = 0; i < Block;) {
            const uint64_t at = FDone + i;
            size_t n = Block - i;
            if (Measure)
                n = std::min<size_t>(n, TLoudnessGate::Part - at % TLoudnessGate::Part);
            size_t k = i;
            if (Level) {
                n = std::min<size_t>(n, TSpeechLeveller::Step - at % TSpeechLeveller::Step);
                if (at % TSpeechLeveller::Step == 0) {
                    // A step starts: its gain comes from the level up to its first sample.
                    const TFloat4 v = filter(k);
                    FGain = FNext;
                    for (size_t j = 0; j < Lanes; ++j)
                        FNext[j] = leveller->Gain(envelope[j]);
                    slope = (FNext - FGain) * (1.0f / TSpeechLeveller::Step);
                    line = FGain;
                    out(k, v);
                    ++k;
                }
            }
            for (; k < i + n; ++k)
                out(k, filter(k));
            i += n;
            if (Measure && (FDone + i) % TLoudnessGate::Part == 0) {
                for (size_t j = 0; j < FStretches.size(); ++j)
                    FMeasures[j].Gate.Push(double(sum[j]), FStretches[j].Work + FDone + i);
                sum = TFloat4{};
            }
        }
        FHighpass = filtering;
        FEnvelope = envelope;
        FLine = line;
        FSlope = slope;
        FSum = sum;
        FWeighting = weighting;
    }

    const TLaneStages& FStages;
    std::vector<TStretch> FStretches;
    std::vector<TLaneMeasures> FMeasures;
    uint64_t FDone = 0;
    TFloat4 FBlock[Block];
    TFloat4 FFiltered[Block];
    THighpass::TState<TFloat4> FHighpass;
    TFloat4 FEnvelope{}, FGain = TFloat4{} + 1.0f, FNext = TFloat4{} + 1.0f, FLine{}, FSlope{};
    TKWeighting FKWeighting;
    TKWeighting::TState<TFloat4> FWeighting;
    TFloat4 FSum{};
};

// Floats too small for the processor's usual path (a filter ringing out in silence) are taken
// as zero while it lives, on the thread that makes it: that path costs a hundred times the
// work, and such values are far below anything a taunt keeps.
class TFlushTinyFloats {
public:
#if defined(__SSE__)
    TFlushTinyFloats() : FSaved(_mm_getcsr())
    {
        _mm_setcsr(FSaved | _MM_FLUSH_ZERO_ON | 0x0040);
    }
    ~TFlushTinyFloats()
    {
        _mm_setcsr(FSaved);
    }

private:
    unsigned FSaved;
#endif
};

// One thread's lanes over their stretches, a chunk of each at a time.
TLaneMeasures RunGroup(const TLaneStages& stages, const std::vector<TStretch>& stretches, const TLaneRead& read,
                       const TLaneWrite& write, const std::function<void(uint64_t)>& progress)
{
    const TFlushTinyFloats flush;
    auto kernel = std::make_unique<TLaneKernel>(stages, stretches);
    std::vector<float> buffer(Lanes * Chunk);
    uint64_t longest = 0;
    for (const TStretch& s : stretches)
        longest = std::max(longest, s.End - s.Work);
    for (uint64_t done = 0; done < longest; done += Chunk) {
        uint64_t got[Lanes] = {};
        for (size_t j = 0; j < stretches.size(); ++j) {
            const TStretch& s = stretches[j];
            float* lane = buffer.data() + j * Chunk;
            const uint64_t at = s.Work + done;
            got[j] = at < s.End ? std::min(Chunk, s.End - at) : 0;
            if (got[j] > 0)
                read(at, lane, got[j]);
            std::fill(lane + got[j], lane + Chunk, 0.0f);
        }
        for (uint64_t b = 0; b < Chunk; b += Block) {
            float* lanes[Lanes];
            for (size_t j = 0; j < Lanes; ++j)
                lanes[j] = buffer.data() + j * Chunk + b;
            kernel->Run(lanes);
        }
        for (size_t j = 0; j < stretches.size(); ++j) {
            const TStretch& s = stretches[j];
            const uint64_t at = s.Work + done;
            const uint64_t from = std::max(at, s.First);
            if (from >= at + got[j])
                continue;
            const float* own = buffer.data() + j * Chunk + (from - at);
            const uint64_t count = at + got[j] - from;
            TLaneMeasures& measures = kernel->Measures(j);
            measures.Peak = std::max(measures.Peak, Peak(own, count));
            if (write)
                write(from, own, count);
            if (progress)
                progress(count);
        }
    }
    TLaneMeasures made = kernel->Measures(0);
    for (size_t j = 1; j < stretches.size(); ++j)
        made.Merge(kernel->Measures(j));
    return made;
}

}

void TLaneMeasures::Merge(const TLaneMeasures& other)
{
    if (Trim && other.Trim)
        Trim->Merge(*other.Trim);
    Peak = std::max(Peak, other.Peak);
    Gate.Merge(other.Gate);
}

TLaneMeasures RunLanes(const TLaneStages& stages, uint64_t length, unsigned threads, unsigned stretches,
                       const TLaneRead& read, const TLaneWrite& write, const std::function<void(uint64_t)>& progress)
{
    const bool level = stages.Leveller.has_value();
    const unsigned usable = length < ThreadedLength ? 1 : std::max(threads, 1u);
    const std::vector<TStretch> cut = Cut(length, level ? LevellerLead : FilterLead,
                                          level ? LevellerAlign : FilterAlign, std::min(stretches, Lanes * usable));
    const size_t groups = (cut.size() + Lanes - 1) / Lanes;
    std::vector<std::vector<TStretch>> lanes(groups);
    for (size_t i = 0; i < cut.size(); ++i)
        lanes[i % groups].push_back(cut[i]);

    std::vector<TLaneMeasures> made(groups);
    RunSideBySide(groups, [&](size_t g) { made[g] = RunGroup(stages, lanes[g], read, write, progress); });
    for (size_t g = 1; g < groups; ++g)
        made[0].Merge(made[g]);
    return made[0];
}

namespace {
// The loudness alone.
TLaneStages Meter()
{
    TLaneStages stages;
    stages.Loudness = true;
    return stages;
}
}

double MeasureLufs(const float* samples, uint64_t count)
{
    return RunLanes(Meter(), count, 2, 2 * Lanes,
                    [&](uint64_t at, float* lane, uint64_t n) { std::copy(samples + at, samples + at + n, lane); })
        .Gate.Lufs();
}

double MeasureTauntLufs(const uint8_t* bytes, uint64_t count)
{
    return RunLanes(Meter(), count, 2, 2 * Lanes,
                    [&](uint64_t at, float* lane, uint64_t n) {
                        for (uint64_t i = 0; i < n; ++i)
                            lane[i] = TauntSample(bytes[at + i]);
                    })
        .Gate.Lufs();
}
