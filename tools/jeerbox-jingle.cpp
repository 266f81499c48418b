// jeerbox-jingle: writes the about box's jingle, resources/piano.wav, from nothing but its
// score. A short rising phrase ending in a chord, each note a few slightly detuned strings
// whose partials ring out at their own pace after a soft attack, as a struck string does.
//
// The file is checked in and the test suite compares a fresh run with it byte for byte, so
// every number here comes from additions, multiplications, divisions and square roots alone:
// those round the same way on every IEEE machine, where the maths library's sine and
// exponential may differ in their last bit from one library version to the next.

#include "acm/Riff.h"
#include "sound/TauntFormat.h"
#include "sound/Wavs_ex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

namespace {

const char Usage[] = "Usage: jeerbox-jingle FILE\n"
                     "Writes the about box's jingle to FILE: a RIFF WAVE file of 72630 bytes in the taunt\n"
                     "format (PCM, mono, 22050 Hz, 8-bit unsigned) with a 44-byte header.\n";

constexpr int Rate = int(TauntFormat.nSamplesPerSec);
// 72630 bytes in all: the 44-byte header and this many samples.
constexpr int SampleCount = 72586;
// The workbench plays the file from JingleStart on: its header and this much silence stay unheard.
constexpr int LeadingSilence = int(JingleStart - WaveHeaderSize(16));
constexpr double Pi = 3.14159265358979323846;

// e^x for |x| up to a few hundred: halved until small, a Taylor series, squared back.
double Exp(double x)
{
    int halvings = 0;
    while (x > 0.5 || x < -0.5) {
        x /= 2;
        ++halvings;
    }
    double sum = 1, term = 1;
    for (int n = 1; n < 24; ++n) {
        term *= x / n;
        sum += term;
    }
    while (halvings-- > 0)
        sum *= sum;
    return sum;
}

// cos and sin of an angle between 0 and pi, by their Taylor series.
void CosSin(double angle, double& c, double& s)
{
    c = 0;
    s = 0;
    double term = 1;
    for (int n = 0; n < 40; ++n) {
        if (n % 4 == 0)
            c += term;
        else if (n % 4 == 1)
            s += term;
        else if (n % 4 == 2)
            c -= term;
        else
            s -= term;
        term *= angle / (n + 1);
    }
}

// Equal temperament around A4 = 440 Hz, by MIDI key number.
double KeyFrequency(int key)
{
    return 440 * Exp((key - 69) * 0.6931471805599453 / 12);
}

struct Note {
    double Start;  // seconds from the first note
    int Key;  // MIDI key number
    double Strength;  // relative loudness
};

// A rising G-C-E-G, then the C major chord that rings to the end.
const Note Score[] = {
    {0.00, 67, 0.80}, {0.20, 72, 0.85}, {0.40, 76, 0.90}, {0.60, 79, 1.00}, {0.95, 48, 0.55},
    {0.95, 60, 0.55}, {0.96, 72, 0.60}, {0.97, 76, 0.55}, {0.98, 79, 0.55}, {0.99, 84, 0.50},
};

constexpr int Partials = 8;
constexpr double AttackSeconds = 0.008;
// The last part of the file fades to silence, so that the sound does not stop with a click.
constexpr double FadeSeconds = 0.35;

// Adds one note, from its first sample on, to the mix.
void Strike(const Note& note, std::vector<double>& mix)
{
    const int first = LeadingSilence + int(note.Start * Rate);
    const double f0 = KeyFrequency(note.Key);
    // Lower notes ring longer, as longer strings do.
    const double ring = 0.9 + 1.6 * (84 - note.Key) / 36.0;
    // Stiff strings stretch their upper partials a little sharp.
    const double stiffness = 0.0004;
    const double detune[] = {0.9996, 1.0, 1.0005};
    const int attack = int(AttackSeconds * Rate);

    for (int n = 1; n <= Partials; ++n) {
        const double f = n * f0 * std::sqrt(1 + stiffness * n * n);
        if (f * detune[2] >= Rate / 2.2)
            break;
        // Upper partials are weaker and die sooner; each decays fast at first, then slowly.
        const double level = note.Strength / (n * std::sqrt(double(n))) / 3;
        const double prompt = Exp(-1.0 / (Rate * ring * 0.12 / n));
        const double after = Exp(-1.0 / (Rate * ring / (1 + 0.5 * (n - 1))));
        for (double d : detune) {
            double c, s;
            CosSin(2 * Pi * f * d / Rate, c, s);
            double x = 0, y = 1;  // a rotating phasor: y is the sine
            double fast = 0.6 * level, slow = 0.4 * level;
            for (int i = first; i < SampleCount; ++i) {
                const int k = i - first;
                double envelope = fast + slow;
                if (k < attack) {
                    const double t = double(k) / attack;
                    envelope *= t * t * (3 - 2 * t);
                }
                mix[i] += envelope * x;
                const double nx = x * c + y * s;
                y = y * c - x * s;
                x = nx;
                fast *= prompt;
                slow *= after;
            }
        }
    }
}

std::vector<uint8_t> Jingle()
{
    std::vector<double> mix(SampleCount, 0.0);
    for (const Note& note : Score)
        Strike(note, mix);

    const int fade = int(FadeSeconds * Rate);
    for (int k = 0; k < fade; ++k) {
        const double t = double(k) / fade;
        mix[SampleCount - fade + k] *= 1 - t * t * (3 - 2 * t);
    }

    double peak = 0;
    for (double v : mix)
        peak = std::max(peak, std::fabs(v));
    // A little headroom below full scale.
    const double scale = 112 / peak;
    std::vector<uint8_t> samples(SampleCount);
    for (int i = 0; i < SampleCount; ++i)
        samples[i] = uint8_t(std::clamp(std::floor(128 + mix[i] * scale + 0.5), 0.0, 255.0));
    return samples;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
    if (argc != 2 || help || argv[1][0] == '\0') {
        std::fputs(Usage, help ? stdout : stderr);
        return help ? 0 : 2;
    }
    try {
        const std::vector<uint8_t> samples = Jingle();
        TWavStream wave;
        wave.SetFormat(TauntFormat);
        wave.SetSize(int64_t(samples.size()));
        std::memcpy(wave.Memory(), samples.data(), samples.size());
        wave.SaveToFile(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "jeerbox-jingle: %s\n", e.what());
        return 1;
    }
    return 0;
}
