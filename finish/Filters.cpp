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
constexpr float ReferenceDb = -20.0f;
constexpr float FloorDb = -50.0f;
constexpr float FloorFadeDb = 20.0f;
constexpr float MostLiftDb = 24.0f;

// The share of the distance to a new level that a follower of time constant `seconds` covers
// in a sample.
double Coefficient(double seconds)
{
    return 1.0 - std::exp(-1.0 / (seconds * TauntRate));
}

// A section of the bilinear transform's form: numerator and denominator over a0.
TBiquad Section(double b0, double b1, double b2, double a0, double a1, double a2)
{
    return {float(b0 / a0), float(b1 / a0), float(b2 / a0), float(a1 / a0), float(a2 / a0)};
}
}

THighpass::THighpass(double hz)
{
    const double w = 2.0 * M_PI * hz / TauntRate;
    const double c = std::cos(w);
    for (int i = 0; i < 2; ++i) {
        const double alpha = std::sin(w) / (2.0 * ButterworthQ[i]);
        FStages[i] = Section((1.0 + c) / 2.0, -(1.0 + c), (1.0 + c) / 2.0, 1.0 + alpha, -2.0 * c, 1.0 - alpha);
    }
}

void THighpass::Run(float* samples, uint64_t count)
{
    if (count == 0)
        return;
    if (!FStarted)
        FState = Start(samples[0]);
    FStarted = true;
    for (uint64_t i = 0; i < count; ++i)
        samples[i] = Step(FState, samples[i]);
}

TSpeechLeveller::TSpeechLeveller(double ratio)
    : FSlope(float(1.0 - 1.0 / ratio)), FAttack(float(Coefficient(AttackSeconds))),
      FKeepAttack(float(1.0 - Coefficient(AttackSeconds))), FRelease(float(Coefficient(ReleaseSeconds))),
      FKeepRelease(float(1.0 - Coefficient(ReleaseSeconds)))
{
}

float TSpeechLeveller::Gain(float envelope) const
{
    // In decibels through base-2 logarithms, which the library works out fastest.
    constexpr float DbPerOctave = 6.0205999f;
    const float level = DbPerOctave * std::log2(std::max(envelope, 1e-12f));
    float lift = std::min((ReferenceDb - std::max(level, FloorDb)) * FSlope, MostLiftDb);
    if (level < FloorDb)
        lift *= std::max(0.0f, 1.0f - (FloorDb - level) / FloorFadeDb);
    return std::exp2(lift / DbPerOctave);
}

TKWeighting::TKWeighting()
{
    // The shelf and the high-pass as BS.1770 gives them at 48 kHz, designed anew for the
    // taunt's rate from their analogue centre frequencies, gains and quality factors.
    const double shelfK = std::tan(M_PI * 1681.974450955533 / TauntRate);
    const double shelfQ = 0.7071752369554196;
    const double high = std::pow(10.0, 3.999843853973347 / 20.0);
    const double band = std::pow(high, 0.4996667741545416);
    FShelf = Section(high + band * shelfK / shelfQ + shelfK * shelfK, 2.0 * (shelfK * shelfK - high),
                     high - band * shelfK / shelfQ + shelfK * shelfK, 1.0 + shelfK / shelfQ + shelfK * shelfK,
                     2.0 * (shelfK * shelfK - 1.0), 1.0 - shelfK / shelfQ + shelfK * shelfK);
    const double passK = std::tan(M_PI * 38.13547087602444 / TauntRate);
    const double passQ = 0.5003270373238773;
    const double a0 = 1.0 + passK / passQ + passK * passK;
    FHighpass = {1.0f, -2.0f, 1.0f, float(2.0 * (passK * passK - 1.0) / a0),
                 float((1.0 - passK / passQ + passK * passK) / a0)};
}
