#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The signal work of levelling a taunt: finding the silence at its ends, gating its loudness,
// and bringing it to 8 bits with a gain, a peak limit and dither. Samples are
// floats of full scale ±1 at the taunt's rate.

// Where a sound is louder than a threshold: the span from its first such sample to its last,
// widened by a margin on both sides. Samples may come in any order, each with its place; a
// block's samples lie `stride` floats apart.
class TTrimFinder {
public:
    TTrimFinder(double thresholdDb, uint64_t marginSamples);
    void Put(uint64_t at, const float* samples, uint64_t count, size_t stride = 1);
    void Merge(const TTrimFinder& other);
    // The span [First, End) to keep of a sound of `length` samples; empty when all is silence.
    uint64_t First(uint64_t length) const;
    uint64_t End(uint64_t length) const;

private:
    float FThreshold;
    uint64_t FMargin;
    uint64_t FFirst = UINT64_MAX;
    uint64_t FLast = 0;
};

// The largest absolute value of `count` samples.
float Peak(const float* samples, uint64_t count);

// A byte of the taunt format as a sample of full scale ±1: silence, 128, is 0.
inline float TauntSample(uint8_t byte)
{
    return float(int(byte) - 128) / 128.0f;
}

// The gating of integrated loudness after EBU R128 (ITU-R BS.1770): blocks of 400 ms every
// 100 ms, each the mean square of the K-weighted signal, are kept when above -70 LUFS and then
// when less than 10 LU under the loudness of those. It is given the parts of 100 ms in order
// and keeps its blocks as a histogram of 0.1 LU steps, each with the sum of its blocks'
// energies, so that memory stays the same for a sound of any length and gates of stretches of
// one sound add up.
class TLoudnessGate {
public:
    static constexpr uint64_t Part = 2205;  // 100 ms at the taunt's rate

    // Counts the blocks that end after `from` and no later than `to`.
    TLoudnessGate(uint64_t from, uint64_t to);
    // The sum of squares of the K-weighted samples of the part of 100 ms that ends at `end`.
    void Push(double sum, uint64_t end);
    void Merge(const TLoudnessGate& other);
    // In LUFS; minus infinity for a sound too quiet to measure.
    double Lufs() const;

private:
    static constexpr int Steps = 800;  // of 0.1 LU from -70 LUFS, the last one open above

    uint64_t FFrom, FTo;
    double FParts[3] = {};
    std::vector<uint64_t> FCount;
    std::vector<double> FEnergy;
};

// Rounds samples to unsigned 8 bits (silence 128), after a gain, a look-ahead peak limit that
// keeps every result within the 8-bit range so that none is clipped, fades at the ends and
// triangular dither. The dither is the last thing added before rounding, after every gain,
// and a sample of exact silence gets none: silence stays 128, and so do the faded ends.
// Samples go in in their order; results come out a few samples later (Finish brings the last).
// A quantizer may start at any place of the sound (a multiple of 8): the dither's
// noise and the fades go by the place, so that stretches of a sound quantized apart, each
// begun LeadIn samples before its own start (where the limiter's gain is found again: it
// follows the loud samples ahead or is back at full within 50 ms), give the bytes that one
// quantizer gives.
class TTauntQuantizer {
public:
    static constexpr uint64_t LeadIn = 2048;
    static constexpr uint64_t NoiseBlock = 65536;

    TTauntQuantizer(double gain, bool limit, bool dither, uint64_t start = 0);
    // Fades the first and the last `fade` samples of a sound of `length` in and out along a
    // half cosine from silence; shorter fades when the sound is shorter than two of them.
    void FadeEnds(uint64_t length, uint64_t fade);
    void Put(const float* samples, uint64_t count, std::vector<uint8_t>& out);
    void Finish(std::vector<uint8_t>& out);

private:
    // A sample above the ceiling with the gain it needs.
    struct TLoud {
        uint64_t At;
        float Needed;
    };
    // Sends out the held samples before `end`, with the limiter's gain and the fades.
    void Emit(uint64_t end);
    // Lets a loud sample into the limiter's look-ahead, `next` being the next to go out.
    void Reach(const TLoud& loud, uint64_t next);
    // Rounds the samples that went out from `at` on, with the dither.
    void Round(uint64_t at, const float* samples, size_t count, uint8_t* bytes);
    // The noise's generators for the block of NoiseBlock samples numbered `block`.
    void Seed(uint64_t block);
    float FadeGain(uint64_t at) const;

    float FGain;
    bool FLimit;
    bool FDither;
    float FCeiling;
    // The samples after the gain, from the next to go out to the last received.
    std::vector<float> FHeld;
    size_t FHeldCount = 0;
    // The samples that went out last, before rounding.
    std::vector<float> FOut;
    size_t FOutCount = 0;
    uint64_t FReceived = 0;
    uint64_t FEmitted = 0;
    // The received samples above the ceiling that the look-ahead has not reached yet.
    std::vector<TLoud> FComing;
    size_t FComingFirst = 0;
    // Those it has reached, oldest first, in a ring of a power of two: one that asks for
    // less than a later one all the way to its own place is dropped, so that few stay.
    std::vector<TLoud> FLoud;
    size_t FLoudFirst = 0;
    size_t FLoudCount = 0;
    float FLastGain = 1.0f;
    uint64_t FLength = 0;
    uint64_t FFade = 0;
    // The dither's noise, a few generators side by side, seeded anew every NoiseBlock samples
    // from the place: the same for every run and for every start.
    static constexpr size_t NoiseLanes = 8;
    uint32_t FNoise[NoiseLanes] = {};
    float FNoiseMade[NoiseLanes] = {};
    size_t FNoiseUsed = NoiseLanes;
};
