#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What finishing does to a converted sound besides rounding it to the taunt's 8 bits; every
// stage is optional and they run in this order: high-pass, trim, speech leveller, level (peak
// or loudness, with a peak limiter), fades, dither. All of it works on the wide signal; only
// the last step rounds to 8 bits.
struct TFinishRecipe {
    std::optional<double> HighpassHz;
    std::optional<double> TrimDb;  // dBFS
    std::optional<double> Compress;  // the leveller's ratio, above 1
    // Brings the largest deviation from silence to 0.8 of full scale.
    bool Normalize = false;
    std::optional<double> Loudness;  // LUFS
    std::optional<double> FadeMs;
    bool Dither = false;

    // Whether anything but trimming is asked for: trimming alone only cuts the 8-bit sound.
    bool Reshapes() const { return HighpassHz || Compress || Normalize || Loudness || FadeMs || Dither; }
};

// The wide signal to finish, read from its start in blocks each time it is called (finishing
// reads it once or twice). When `keep`, what the reader leaves in a block is what the later
// reading gives: the stages before the level then run once.
using TWideBlock = std::function<void(float* samples, uint64_t count)>;
using TWideSource = std::function<void(const TWideBlock& block, bool keep)>;
// Where the finished bytes go: `count` bytes at offset `at` of the taunt, in order.
using TFinishedSink = std::function<void(uint64_t at, const uint8_t* bytes, uint64_t count)>;

struct TFinished {
    uint64_t Length = 0;
    // What is worth telling about the result (the loudness it reached, a level left alone).
    std::vector<std::string> Notes;
};

// Finishes a wide signal of `length` samples at the taunt's rate. Memory stays the same for a
// sound of any length. Told of its progress as a fraction of the whole work.
TFinished FinishSignal(const TWideSource& source, uint64_t length, const TFinishRecipe& recipe,
                       const TFinishedSink& sink, const std::function<void(double)>& progress = {});

// Finishes a converted taunt in place (the window's Finish): its bytes are read as the wide
// signal; trimming may shorten it.
TFinished FinishTaunt(std::vector<uint8_t>& taunt, const TFinishRecipe& recipe);
