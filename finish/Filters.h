#pragma once

#include <cstdint>

// The stages of finishing a taunt that reshape its signal before it is levelled. Samples are
// floats of full scale ±1 at the taunt's rate; each works in place, block by block, keeping
// its state from block to block, so that a sound in blocks comes out as it would whole.

// Removes a DC offset and the rumble under the voice: a fourth-order Butterworth high-pass.
// It starts as if the sound had stood at its first sample for ever, so that an offset is taken
// away from the first sample on instead of turning into a thump.
class THighpass {
public:
    explicit THighpass(double hz);
    void Run(float* samples, uint64_t count);

private:
    struct TBiquad {
        double B0, B1, B2, A1, A2;
        double S1 = 0.0;
        double S2 = 0.0;
        double Step(double x);
    };
    TBiquad FStages[2];
    bool FStarted = false;
};

// A speech leveller: follows the level of the syllables (a fast attack, a release of a couple
// of hundred milliseconds) and pulls it towards a reference level by `ratio`, lifting quiet
// passages and lowering loud ones; what it lifts is its own make-up gain, at most +24 dB.
// Below a floor of -50 dBFS, where breath and room noise lie, the lift fades back to none.
class TSpeechLeveller {
public:
    explicit TSpeechLeveller(double ratio);
    void Run(float* samples, uint64_t count);

private:
    double TargetGain() const;

    double FSlope;
    double FEnvelope = 0.0;
    double FGain = 1.0;
    double FNextGain = 1.0;
    unsigned FPhase = 0;
};
