#pragma once

#include "Filters.h"
#include "Levels.h"

#include <cstdint>
#include <functional>
#include <optional>

// The stages of finishing that go sample after sample through the whole sound before its level
// is known: the high-pass, the search for the silence at the ends (after the high-pass), the
// speech leveller, and what the level needs measured (the peak and the loudness after them).
// Their recursions cannot be cut along a sound, so a sound is run as stretches side by side,
// four in the lanes of a thread's vectors, on up to two threads. Each stretch but the first
// starts a lead-in before its own first sample, long enough for every filter to forget where
// it started: the stretches give what one pass over the sound gives, to rounding.

struct TLaneStages {
    std::optional<THighpass> Highpass;
    std::optional<TSpeechLeveller> Leveller;
    // Where the sound is loud after the high-pass; left empty when not asked for.
    std::optional<TTrimFinder> Trim;
    bool Loudness = false;
};

struct TLaneMeasures {
    std::optional<TTrimFinder> Trim;
    float Peak = 0.0f;
    TLoudnessGate Gate{0, UINT64_MAX};

    void Merge(const TLaneMeasures& other);
};

// Reads and writes `count` samples at `at`, from more than one thread at once at places that
// never overlap.
using TLaneRead = std::function<void(uint64_t at, float* samples, uint64_t count)>;
using TLaneWrite = std::function<void(uint64_t at, const float* samples, uint64_t count)>;

// Runs the stages over the `length` samples that `read` gives, cut into at most `stretches`
// stretches run on up to `threads` threads, and hands what they made to `write` when there is
// one. Tells `progress` of each count of samples done, from the threads that run.
TLaneMeasures RunLanes(const TLaneStages& stages, uint64_t length, unsigned threads, unsigned stretches,
                       const TLaneRead& read, const TLaneWrite& write = {},
                       const std::function<void(uint64_t)>& progress = {});

// Integrated loudness after EBU R128 of a mono sound at the taunt's rate, in LUFS; minus
// infinity for a sound too quiet to measure.
double MeasureLufs(const float* samples, uint64_t count);
double MeasureTauntLufs(const uint8_t* bytes, uint64_t count);
