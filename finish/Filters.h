#pragma once

#include <cstdint>

// The arithmetic of the filters that finishing runs, on floats of full scale ±1 at the taunt's
// rate. Each step is written once for a type `V` that is either a float (one sound) or four
// floats side by side (four stretches of sound at once, see Lanes.h), so that the filters'
// sample-after-sample recursions go four times as fast without being written twice.
using TFloat4 = float __attribute__((vector_size(16)));

inline TFloat4 Abs(TFloat4 x)
{
    using TInt4 = int32_t __attribute__((vector_size(16)));
    return TFloat4(TInt4(x) & 0x7fffffff);
}

// One second-order section (transposed direct form II), with its state in `S`.
struct TBiquad {
    float B0, B1, B2, A1, A2;

    template <typename V>
    struct TState {
        V S1{}, S2{};
    };
    template <typename V>
    V Step(TState<V>& s, V x) const
    {
        const V y = B0 * x + s.S1;
        s.S1 = B1 * x - A1 * y + s.S2;
        s.S2 = B2 * x - A2 * y;
        return y;
    }
    // The same for a high-pass section, whose numerator is B0 × (1, -2, 1), in fewer steps.
    template <typename V>
    V StepHighpass(TState<V>& s, V x) const
    {
        const V b = B0 * x;
        const V y = b + s.S1;
        s.S1 = s.S2 - (b + b) - A1 * y;
        s.S2 = b - A2 * y;
        return y;
    }
};

// Removes a DC offset and the rumble under the voice: a fourth-order Butterworth high-pass.
// It starts as if the sound had stood at its first sample for ever, so that an offset is taken
// away from the first sample on instead of turning into a thump.
class THighpass {
public:
    explicit THighpass(double hz);

    template <typename V>
    struct TState {
        TBiquad::TState<V> Stages[2];
    };
    // The state that a sound standing at `x0` for ever leaves: the first stage then gives
    // nothing out, and the second sees silence.
    template <typename V>
    TState<V> Start(V x0) const
    {
        TState<V> s;
        s.Stages[0].S1 = -FStages[0].B0 * x0;
        s.Stages[0].S2 = FStages[0].B2 * x0;
        return s;
    }
    template <typename V>
    V Step(TState<V>& s, V x) const
    {
        return FStages[1].StepHighpass(s.Stages[1], FStages[0].StepHighpass(s.Stages[0], x));
    }

    // One sound in place, block by block.
    void Run(float* samples, uint64_t count);

private:
    TBiquad FStages[2];
    TState<float> FState;
    bool FStarted = false;
};

// A speech leveller: follows the level of the syllables (a fast attack, a release of a couple
// of hundred milliseconds) and pulls it towards a reference level by `ratio`, lifting quiet
// passages and lowering loud ones; what it lifts is its own make-up gain, at most +24 dB.
// Below a floor of -50 dBFS, where breath and room noise lie, the lift fades back to none.
// The gain is worked out every `Step` samples, on the level up to the step's first sample,
// and moves along a line to the next step's.
class TSpeechLeveller {
public:
    static constexpr unsigned Step = 32;

    explicit TSpeechLeveller(double ratio);

    // The level after one more sample of size `level` (its absolute value): whichever of the
    // attack and the release moves towards it.
    template <typename V>
    V Follow(V envelope, V level) const
    {
        const V attack = FKeepAttack * envelope + FAttack * level;
        const V release = FKeepRelease * envelope + FRelease * level;
        return attack > release ? attack : release;
    }
    float Gain(float envelope) const;

private:
    float FSlope;
    float FAttack, FKeepAttack, FRelease, FKeepRelease;
};

// The K-weighting of EBU R128 (ITU-R BS.1770): a high shelf for the head's effect and a
// high-pass, designed for the taunt's rate.
class TKWeighting {
public:
    TKWeighting();

    template <typename V>
    struct TState {
        TBiquad::TState<V> Shelf, Highpass;
    };
    template <typename V>
    V Step(TState<V>& s, V x) const
    {
        return FHighpass.StepHighpass(s.Highpass, FShelf.Step(s.Shelf, x));
    }

private:
    TBiquad FShelf, FHighpass;
};
