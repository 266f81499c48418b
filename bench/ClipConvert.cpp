// The conversion of one file as the convertor does it, timed inside the process: open a
// stream, size and allocate the buffers, fill them, prepare, convert and unprepare, close. A 2-second
// 44.1 kHz 16-bit stereo clip (two tones and noise) is made the taunt format many times over;
// the first round is shown apart, because a program that converts one file and exits pays
// for everything done once (first calls into the libraries, fresh memory, filter design).
// Ten minutes of the same are converted twice to watch the long case, unless told not to.
// Each line splits a round into the stream calls and the convertor's own buffer work (fill:
// copying the sound in and clearing the output), and counts the page faults taken.
//   ClipConvert [ROUNDS [short]]
// A first round varies from run to run; many fresh processes show its spread:
//   for i in $(seq 40); do ClipConvert 0 short; done
#include "acm/AcmBlock.h"
#include "framework/HugePages.h"
#include "sound/TauntFormat.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// Page faults taken by the process so far.
long Faults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// Interleaved 16-bit stereo: a tone on each channel with white noise under it, at about -6 dBFS.
std::vector<uint8_t> MakeSource(double seconds)
{
    const size_t frames = size_t(seconds * 44100);
    std::vector<uint8_t> bytes(frames * 4);
    uint32_t seed = 12345;
    auto noise = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return double(int32_t(seed)) / 2147483648.0;
    };
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 44100;
        const double left = 0.35 * std::sin(2 * M_PI * 220 * t) + 0.1 * noise();
        const double right = 0.35 * std::sin(2 * M_PI * 330 * t) + 0.1 * noise();
        const auto l = int16_t(std::lround(left * 32767));
        const auto r = int16_t(std::lround(right * 32767));
        std::memcpy(&bytes[4 * i], &l, 2);
        std::memcpy(&bytes[4 * i + 2], &r, 2);
    }
    return bytes;
}

struct Round {
    double Open = 0;  // acmStreamOpen
    double Prepare = 0;  // size and allocate the buffers
    double Fill = 0;  // copy the sound into the input buffer, clear the output buffer
    double Convert = 0;  // prepare the header, convert, unprepare
    double Close = 0;  // close, release the buffers
    double Total() const { return Open + Prepare + Fill + Convert + Close; }
    uint32_t Output = 0;
    long OpenFaults = 0;
    long ConvertFaults = 0;
};

void Check(MMRESULT result, const char* call)
{
    if (result != MMSYSERR_NOERROR) {
        std::fprintf(stderr, "%s failed with %u\n", call, unsigned(result));
        std::exit(1);
    }
}

// One file's conversion, step for step as the convertor takes it.
Round ConvertOnce(const std::vector<uint8_t>& source)
{
    const WAVEFORMATEX in{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    const WAVEFORMATEX out = TauntFormat;
    Round round;
    const long faults = Faults();
    const auto t0 = Clock::now();
    TAcmStream stream;
    Check(stream.Open(&in, &out), "acmStreamOpen");
    const auto opened = Clock::now();
    round.OpenFaults = Faults() - faults;
    const auto inputSize = uint32_t(source.size());
    uint32_t outputSize = 0;
    Check(stream.Room(inputSize, outputSize), "acmStreamSize");
    auto* input = new uint8_t[inputSize];
    AdviseHugePages(input, inputSize);
    auto* output = new uint8_t[outputSize];
    AdviseHugePages(output, outputSize);
    const auto prepared = Clock::now();
    std::memcpy(input, source.data(), inputSize);
    std::memset(output, 0, outputSize);
    const auto t1 = Clock::now();
    const long fillFaults = Faults();
    const TAcmBlock block = stream.ConvertInto(input, inputSize, output, outputSize);
    Check(block.Result, "the conversion");
    round.Output = block.Written;
    round.ConvertFaults = Faults() - fillFaults;
    const auto t2 = Clock::now();
    Check(stream.Close(), "acmStreamClose");
    delete[] input;
    delete[] output;
    const auto t3 = Clock::now();
    round.Open = Micros(opened - t0);
    round.Prepare = Micros(prepared - opened);
    round.Fill = Micros(t1 - prepared);
    round.Convert = Micros(t2 - t1);
    round.Close = Micros(t3 - t2);
    return round;
}

void Print(const char* what, const Round& r)
{
    std::printf("%-20s %7.0f us  (open %.0f, prepare %.0f, fill %.0f, convert %.0f, close %.0f)  %u bytes out\n", what,
                r.Total(), r.Open, r.Prepare, r.Fill, r.Convert, r.Close, r.Output);
    std::printf("%-20s page faults: %ld in open, %ld in convert\n", "", r.OpenFaults, r.ConvertFaults);
}

}

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(0, std::atoi(argv[1])) : 200;
    const bool clipOnly = argc > 2 && std::strcmp(argv[2], "short") == 0;
    const std::vector<uint8_t> clip = MakeSource(2.0);

    // Nothing has been converted in this process before this round.
    Print("2 s, first round", ConvertOnce(clip));

    if (rounds > 0) {
        std::vector<Round> times;
        for (int i = 0; i < rounds; ++i)
            times.push_back(ConvertOnce(clip));
        std::sort(times.begin(), times.end(), [](const Round& a, const Round& b) { return a.Total() < b.Total(); });
        Print("2 s, median round", times[times.size() / 2]);
        Print("2 s, fastest round", times.front());
        std::printf("   (%d rounds after the first)\n", rounds);
    }
    if (clipOnly)
        return 0;

    const std::vector<uint8_t> tenMinutes = MakeSource(600.0);
    for (int i = 0; i < 2; ++i) {
        const Round r = ConvertOnce(tenMinutes);
        std::printf("%-20s %7.1f ms  (open %.1f, prepare %.1f, fill %.1f, convert %.1f, close %.1f)  %u bytes out\n",
                    i == 0 ? "10 min, first" : "10 min, second", r.Total() / 1000, r.Open / 1000, r.Prepare / 1000,
                    r.Fill / 1000, r.Convert / 1000, r.Close / 1000, r.Output);
    }
    return 0;
}
