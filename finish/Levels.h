#pragma once

#include <cstdint>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The signal work of levelling a taunt: finding the silence at its ends, measuring its
// loudness, and bringing it to 8 bits with a gain, a peak limit and dither. Samples are
// floats of full scale ±1 at the taunt's rate.

// Where a sound is louder than a threshold: the span from its first such sample to its last,
// widened by a margin on both sides. Samples may come in any order, each with its place.
class TTrimFinder {
public:
    TTrimFinder(double thresholdDb, uint64_t marginSamples);
    void Put(uint64_t at, const float* samples, uint64_t count);
    // The span [First, End) to keep of a sound of `length` samples; empty when all is silence.
    uint64_t First(uint64_t length) const;
    uint64_t End(uint64_t length) const;

private:
    float FThreshold;
    uint64_t FMargin;
    uint64_t FFirst = UINT64_MAX;
    uint64_t FLast = 0;
};

// Integrated loudness after EBU R128 (libebur128), of a mono sound at the taunt's rate.
// A byte of the taunt format as a sample of full scale ±1: silence, 128, is 0.
inline float TauntSample(uint8_t byte)
{
    return float(int(byte) - 128) / 128.0f;
}

class TLoudnessMeter {
public:
    TLoudnessMeter();
    ~TLoudnessMeter();
    TLoudnessMeter(const TLoudnessMeter&) = delete;
    TLoudnessMeter& operator=(const TLoudnessMeter&) = delete;

    void Add(const float* samples, uint64_t count);
    // Bytes of a sound in the taunt format (silence 128).
    void AddTaunt(const uint8_t* bytes, uint64_t count);
    // In LUFS; minus infinity for a sound too quiet to measure.
    double Lufs() const;

private:
    struct State;
    std::unique_ptr<State> FState;
};

// The same meter on a thread of its own, a few blocks behind its caller, who goes on with the
// rest of the work meanwhile; memory stays a few blocks.
class TLoudnessMeterAside {
public:
    TLoudnessMeterAside();
    ~TLoudnessMeterAside();
    TLoudnessMeterAside(const TLoudnessMeterAside&) = delete;
    TLoudnessMeterAside& operator=(const TLoudnessMeterAside&) = delete;

    void Add(const float* samples, uint64_t count);
    // Waits for the blocks still to measure.
    double Lufs();

private:
    void Stop();

    TLoudnessMeter FMeter;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<std::vector<float>> FWaiting;
    std::vector<std::vector<float>> FSpare;
    bool FStopping = false;
    std::exception_ptr FError;
    std::thread FThread;
};

// Rounds samples to unsigned 8 bits (silence 128), after a gain, a look-ahead peak limit that
// keeps every result within the 8-bit range so that none is clipped, fades at the ends and
// triangular dither. The dither is the last thing added before rounding, after every gain,
// and a sample of exact silence gets none: silence stays 128, and so do the faded ends.
// Samples go in in their order; results come out a few samples later (Finish brings the last).
class TTauntQuantizer {
public:
    TTauntQuantizer(double gain, bool limit, bool dither);
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
    // Rounds the samples that went out, with the dither.
    void Round(const float* samples, size_t count, uint8_t* bytes);
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
    // The dither's noise, a few generators side by side: the same for every run, so that
    // passes over one sound agree.
    static constexpr size_t NoiseLanes = 8;
    uint32_t FNoise[NoiseLanes] = {0x2a5e1c73, 0x91d3b7e5, 0x5f02c4a9, 0xc8e6713d,
                                   0x3b9f0e61, 0x7d41a2c5, 0xe0135b97, 0x16c8f34b};
    float FNoiseMade[NoiseLanes] = {};
    size_t FNoiseUsed = NoiseLanes;
};
