#include "Filters.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double TauntRate = 22050.0;
// The two stages' quality factors of a fourth-order Butterworth response.
constexpr double ButterworthQ[2] = {0.54119610014619698, 1.3065629648763766};

// The leveller's time constants and levels.
constexpr double AttackSeconds = 0.005;
constexpr double ReleaseSeconds = 0.2;
constexpr double ReferenceDb = -20.0;
constexpr double FloorDb = -50.0;
constexpr double FloorFadeDb = 20.0;
constexpr double MostLiftDb = 24.0;
// The gain is worked out every this many samples and moves along a line in between.
constexpr unsigned GainStep = 32;

double Coefficient(double seconds)
{
    return 1.0 - std::exp(-1.0 / (seconds * TauntRate));
}
}

THighpass::THighpass(double hz)
{
    const double w = 2.0 * M_PI * hz / TauntRate;
    for (int i = 0; i < 2; ++i) {
        const double alpha = std::sin(w) / (2.0 * ButterworthQ[i]);
        const double a0 = 1.0 + alpha;
        const double c = std::cos(w);
        FStages[i] = {(1.0 + c) / 2.0 / a0, -(1.0 + c) / a0, (1.0 + c) / 2.0 / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
    }
}

double THighpass::TBiquad::Step(double x)
{
    const double y = B0 * x + S1;
    S1 = B1 * x - A1 * y + S2;
    S2 = B2 * x - A2 * y;
    return y;
}

void THighpass::Run(float* samples, uint64_t count)
{
    if (count == 0)
        return;
    if (!FStarted) {
        // The first stage's state for a constant input of the first sample, whose output is
        // none; the second stage then sees silence.
        const double x0 = samples[0];
        FStages[0].S1 = -FStages[0].B0 * x0;
        FStages[0].S2 = FStages[0].B2 * x0;
        FStarted = true;
    }
    // The two stages' states in registers for the whole block.
    TBiquad first = FStages[0], second = FStages[1];
    for (uint64_t i = 0; i < count; ++i)
        samples[i] = float(second.Step(first.Step(samples[i])));
    FStages[0] = first;
    FStages[1] = second;
}

TSpeechLeveller::TSpeechLeveller(double ratio) : FSlope(1.0 - 1.0 / ratio) {}

double TSpeechLeveller::TargetGain() const
{
    const double level = 20.0 * std::log10(std::max(FEnvelope, 1e-12));
    double lift = (ReferenceDb - std::max(level, FloorDb)) * FSlope;
    lift = std::min(lift, MostLiftDb);
    if (level < FloorDb)
        lift *= std::max(0.0, 1.0 - (FloorDb - level) / FloorFadeDb);
    return std::pow(10.0, lift / 20.0);
}

void TSpeechLeveller::Run(float* samples, uint64_t count)
{
    const double attack = Coefficient(AttackSeconds);
    const double release = Coefficient(ReleaseSeconds);
    double envelope = FEnvelope;
    auto follow = [&](float sample) {
        const double level = std::fabs(double(sample));
        envelope += (level - envelope) * (level > envelope ? attack : release);
    };
    for (uint64_t i = 0; i < count;) {
        if (FPhase == 0) {
            // A step starts: its gain is worked out on the level up to its first sample.
            follow(samples[i]);
            FEnvelope = envelope;
            FGain = FNextGain;
            FNextGain = TargetGain();
            samples[i] = float(samples[i] * FGain);
            ++i;
            FPhase = 1;
            continue;
        }
        // The rest of the step, the gain moving along its line.
        const uint64_t n = std::min<uint64_t>(count - i, GainStep - FPhase);
        const double slope = (FNextGain - FGain) / GainStep;
        for (uint64_t k = 0; k < n; ++k) {
            follow(samples[i + k]);
            samples[i + k] = float(samples[i + k] * (FGain + slope * double(FPhase + k)));
        }
        i += n;
        FPhase = unsigned(FPhase + n) % GainStep;
    }
    FEnvelope = envelope;
}
