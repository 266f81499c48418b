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

// The converted signal at full precision, where finishing keeps it between its passes: the
// stages before the level leave their result in its place. Read and written from more than one
// thread at once, at places that never overlap.
class TWideStore {
public:
    virtual ~TWideStore() = default;
    virtual void Read(uint64_t at, float* samples, uint64_t count) = 0;
    virtual void Write(uint64_t at, const float* samples, uint64_t count) = 0;
};
// A signal kept in memory.
class TWideMemory : public TWideStore {
public:
    explicit TWideMemory(std::vector<float> samples) : FSamples(std::move(samples)) {}
    void Read(uint64_t at, float* samples, uint64_t count) override;
    void Write(uint64_t at, const float* samples, uint64_t count) override;

private:
    std::vector<float> FSamples;
};

// Where the finished bytes go: `count` bytes at offset `at` of the taunt, from more than one
// thread at once, at places that never overlap.
using TFinishedSink = std::function<void(uint64_t at, const uint8_t* bytes, uint64_t count)>;

struct TFinished {
    uint64_t Length = 0;
    // What is worth telling about the result (the loudness it reached, a level left alone).
    std::vector<std::string> Notes;
};

// Finishes the wide signal of `length` samples at the taunt's rate that `store` holds, on two
// threads where the machine has them and `parallel` allows. Memory stays the same for a sound
// of any length. Told of its progress as a fraction of the whole work, from those threads.
TFinished FinishSignal(TWideStore& store, uint64_t length, const TFinishRecipe& recipe, const TFinishedSink& sink,
                       const std::function<void(double)>& progress = {}, bool parallel = true);

// Finishes a converted taunt in place (the window's Finish): its bytes are read as the wide
// signal; trimming may shorten it.
TFinished FinishTaunt(std::vector<uint8_t>& taunt, const TFinishRecipe& recipe);
