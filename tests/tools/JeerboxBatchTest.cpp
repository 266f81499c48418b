#include "acm/Riff.h"
#include "sound/ACMConvertor.h"
#include "sound/SoundFile.h"
#include "support/Files.h"
#include "support/Programs.h"
#include "support/Signal.h"
#include "support/TempDir.h"

#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The samples of a WAV file.
std::string SampleBytes(const std::string& wav)
{
    return SplitWav(wav).Data;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The arguments as one line, for a failure's message.
std::string OneLine(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& arg : args)
        line += (line.empty() ? "" : " ") + arg;
    return line;
}

class JeerboxBatchTest : public ::testing::Test {
protected:
    int Run(const std::vector<std::string>& args, std::string* errors = nullptr, std::string* out = nullptr)
    {
        const ProgramRun run = RunProgram(JEERBOX_BUILD_DIR "/jeerbox-convert", args, {}, std::chrono::minutes(2));
        EXPECT_FALSE(run.TimedOut);
        if (errors)
            *errors = run.Err;
        if (out)
            *out = run.Out;
        return run.Status;
    }
    std::string Path(const std::string& name) const { return dir.FilePath(name); }
    std::string Wav(const std::string& name, const std::vector<int16_t>& samples, int rate = 44100, int channels = 1)
    {
        WriteWithSndfile(Path(name), SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, channels, samples);
        return Path(name);
    }
    // The samples of a taunt the tool wrote.
    std::string Taunt(const std::string& name) { return SampleBytes(ReadFile(Path("out/" + name))); }
    TempDir dir;
};

// The same bytes as the workbench's conversion of the file.
std::string ConvertedWhole(const std::string& path)
{
    TWavStream source;
    LoadSoundFile(source, path);
    TACMConvertor convertor;
    const uint32_t size = ConvertWave(convertor, source);
    return std::string(reinterpret_cast<const char*>(convertor.OutputBuffer), size);
}

std::vector<int16_t> Joined(std::initializer_list<std::vector<int16_t>> parts)
{
    std::vector<int16_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Integrated loudness of a taunt, measured by libebur128 as any loudness meter would.
double Lufs(const std::string& taunt)
{
    ebur128_state* meter = ebur128_init(1, 22050, EBUR128_MODE_I);
    std::vector<float> samples;
    for (const char b : taunt)
        samples.push_back(float(int(uint8_t(b)) - 128) / 128.0f);
    ebur128_add_frames_float(meter, samples.data(), samples.size());
    double lufs = 0;
    ebur128_loudness_global(meter, &lufs);
    ebur128_destroy(&meter);
    return lufs;
}

// The level of each harmonic of a tone, relative to the tone, in dB (Goertzel over whole
// cycles); the worst of harmonics 2 to 10.
double WorstHarmonic(const std::string& taunt, double hz)
{
    auto level = [&](double f) {
        const double w = 2 * M_PI * f / 22050;
        double re = 0;
        double im = 0;
        for (size_t i = 0; i < taunt.size(); ++i) {
            const double v = int(uint8_t(taunt[i])) - 128;
            re += v * std::cos(w * double(i));
            im += v * std::sin(w * double(i));
        }
        return std::hypot(re, im);
    };
    const double tone = level(hz);
    double worst = -1000;
    for (int h = 2; h <= 10; ++h)
        worst = std::max(worst, 20 * std::log10(level(h * hz) / tone));
    return worst;
}

// Two tones and a noise, so that many samples fall near a rounding step.
std::vector<int16_t> Busy(int rate, int channels, double seconds)
{
    std::vector<int16_t> samples = Sine16(440, 0.3, rate, seconds, channels);
    const std::vector<int16_t> high = Sine16(3001, 0.2, rate, seconds, channels);
    uint32_t noise = 12345;
    for (size_t i = 0; i < samples.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        samples[i] = int16_t(samples[i] + high[i] + int16_t(noise >> 20) - 2048);
    }
    return samples;
}

TEST_F(JeerboxBatchTest, BlockByBlockGivesTheBytesOfTheWholeSoundConversion)
{
    struct Case {
        const char* Name;
        int Format;
        int Rate;
        int Channels;
        double Seconds;
    };
    // Long enough for several blocks each; the 16-bit and FLAC ones also for two halves.
    const Case cases[] = {
        {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 30.0},
        {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 2, 2.0},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, 6.0},
        {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, 40.0},
        {"ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 44100, 2, 8.0},
        {"ms.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 22050, 1, 30.0},
        {"gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, 200.0},
        {"flac.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 30.0},
        // 262,144 frames: exactly two blocks, so that what the last one leaves comes after it.
        {"blocks.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 1, 262144.0 / 44100},
    };
    std::vector<std::string> args{"-o", Path("out")};
    for (const Case& c : cases) {
        WriteWithSndfile(Path(c.Name), c.Format, c.Rate, c.Channels, Busy(c.Rate, c.Channels, c.Seconds));
        args.push_back(Path(c.Name));
    }
    std::string errors;
    ASSERT_EQ(Run(args, &errors), 0) << errors;

    for (const Case& c : cases) {
        TWavStream source;
        LoadSoundFile(source, Path(c.Name));
        TACMConvertor convertor;
        const uint32_t size = ConvertWave(convertor, source);
        const std::string whole(reinterpret_cast<const char*>(convertor.OutputBuffer), size);
        const std::string streamed =
            SampleBytes(ReadFile(Path("out/" + std::filesystem::path(c.Name).stem().string() + ".wav")));
        ASSERT_EQ(streamed.size(), whole.size()) << c.Name;
        EXPECT_TRUE(streamed == whole) << c.Name << ": the first difference at "
                                       << std::mismatch(whole.begin(), whole.end(), streamed.begin()).first -
                whole.begin();
    }
}

TEST_F(JeerboxBatchTest, NormalizeRaisesTheLargestDeviationFrom128AndLeavesSilenceAlone)
{
    // A tone one step either side of silence comes out 102 steps either side; silence stays.
    const std::string step = Wav("step.wav", Sine16(1000, 1.0 / 128, 22050, 1.0, 1), 22050);
    const std::string silent = Wav("silent.wav", std::vector<int16_t>(22050, 0), 22050);
    std::string out;
    ASSERT_EQ(Run({"-o", Path("out"), "--normalize", step, silent}, nullptr, &out), 0);
    const std::string made = Taunt("step.wav");
    EXPECT_TRUE(Contains(made, std::string(1, char(26))) && Contains(made, std::string(1, char(230))));
    EXPECT_FALSE(Contains(made, std::string(1, char(25))) || Contains(made, std::string(1, char(231))));
    EXPECT_EQ(Taunt("silent.wav"), std::string(22050, char(128)));
    EXPECT_TRUE(Contains(out, "silent.wav: nothing to normalize: the sound is silent")) << out;
}

TEST_F(JeerboxBatchTest, LoudnessLandsWithinOneLuOfTheTargetWithoutClipping)
{
    // A quiet tone is raised; a loud noise with high peaks is lowered; raising speech-like
    // bursts far needs the limiter so that no byte reaches the ends of the range.
    const std::string tone = Wav("tone.wav", Sine16(1000, 0.02, 44100, 3.0, 1));
    const std::string loud = Wav("loud.wav", Busy(48000, 2, 3.0), 48000, 2);
    std::vector<int16_t> bursts = Sine16(300, 0.05, 44100, 3.0, 1);
    for (size_t i = 0; i < bursts.size(); i += 4410)
        bursts[i] = -30000;
    const std::string peaky = Wav("peaky.wav", bursts);
    for (const double target : {-16.0, -23.0}) {
        std::ostringstream loudness;
        loudness << "--loudness=" << target;
        std::string out;
        ASSERT_EQ(Run({"-o", Path("out"), loudness.str(), tone, loud, peaky}, nullptr, &out), 0);
        for (const char* name : {"tone.wav", "loud.wav", "peaky.wav"}) {
            const std::string made = Taunt(name);
            EXPECT_NEAR(Lufs(made), target, 1.0) << name;
            // Rounding reaches 0 only from below -127.5 steps: only a clipped sample gets there.
            EXPECT_FALSE(Contains(made, std::string(1, '\0'))) << name;
        }
        EXPECT_TRUE(Contains(out, "tone.wav: ") && Contains(out, " LUFS")) << out;
    }
}

TEST_F(JeerboxBatchTest, TrimCutsTheSilenceAtBothEndsAndLeavesAFewMilliseconds)
{
    // Half a second of near silence (-60 dBFS), a second of loud sound, then a second of
    // quieter sound at -40 dBFS and one of silence; at the taunt's own rate, so that every
    // edge falls on a known sample.
    auto level = [](int16_t peak, int count) {
        std::vector<int16_t> samples(size_t(count), peak);
        for (size_t i = 1; i < samples.size(); i += 2)
            samples[i] = int16_t(-peak);
        return samples;
    };
    const std::string sound =
        Wav("spoken.wav",
            Joined({level(33, 11025), level(16384, 22050), level(328, 22050), std::vector<int16_t>(22050, 0)}), 22050);
    const struct {
        std::string Option;
        double Seconds;
    } cases[] = {{"--trim", 2.0}, {"--trim=-30", 1.0}};
    for (const auto& c : cases) {
        // Without its fades (--fade=0), trimming only cuts: 5 ms, 110 samples, before and after what is kept.
        ASSERT_EQ(Run({"-o", Path("out"), c.Option, "--fade=0", sound}), 0);
        const std::string made = Taunt("spoken.wav");
        EXPECT_EQ(made.size(), size_t(c.Seconds * 22050) + 2 * 110) << c.Option;
        EXPECT_TRUE(made == ConvertedWhole(sound).substr(11025 - 110, made.size())) << c.Option;
        // With them the ends are silence.
        ASSERT_EQ(Run({"-o", Path("out"), c.Option, sound}), 0);
        const std::string faded = Taunt("spoken.wav");
        EXPECT_EQ(faded.size(), made.size());
        EXPECT_TRUE(faded.front() == char(128) && faded.back() == char(128)) << c.Option;
    }
}

TEST_F(JeerboxBatchTest, DitherTurnsTheHarmonicsOfAQuietToneIntoNoise)
{
    const std::string tone = Wav("tone.wav", Sine16(1000, std::pow(10.0, -34.0 / 20), 22050, 1.0, 1), 22050);
    ASSERT_EQ(Run({"-o", Path("plain"), tone}), 0);
    ASSERT_EQ(Run({"-o", Path("out"), "--dither", tone}), 0);
    EXPECT_GT(WorstHarmonic(SampleBytes(ReadFile(Path("plain/tone.wav"))), 1000), -30);
    const std::string dithered = Taunt("tone.wav");
    EXPECT_EQ(dithered.size(), 22050u);
    EXPECT_LT(WorstHarmonic(dithered, 1000), -40);

    // The noise it leaves is the dither's (a sixth of a step squared) and the rounding's (a
    // twelfth): a quarter of a step squared, no more.
    const std::vector<int16_t> source = Sine16(1000, std::pow(10.0, -34.0 / 20), 22050, 1.0, 1);
    double power = 0;
    for (size_t i = 0; i < dithered.size(); ++i)
        power += std::pow(int(uint8_t(dithered[i])) - 128 - source[i] / 256.0, 2);
    EXPECT_NEAR(power / double(dithered.size()), 0.25, 0.03);
}

TEST_F(JeerboxBatchTest, GamWritesOnePagePerConvertedSoundInTheOrderOfTheFiles)
{
    const std::string first = Wav("Roar of the Beast.wav", Busy(22050, 1, 0.5), 22050);
    const std::string missing = Path("missing.wav");
    const std::string second = Wav("a_name_much_longer_than_thirty_four_characters.wav", Busy(22050, 1, 0.25), 22050);
    const std::string table = Path("taunts.gam");
    std::string errors;
    EXPECT_EQ(Run({"-o", Path("out"), "--gam=" + table, first, missing, "--gam-flags=5", "--gam-min-distance", "2.5",
                   "--gam-inner-cone=90", "--gam-outer-cone=270", "--gam-outer-volume=0.5", "--gam-max-distance=300",
                   "--gam-import-adjust=2", second, "-j", "3"},
                  &errors),
              1);
    EXPECT_TRUE(errors.starts_with(missing + ": ")) << errors;
    EXPECT_TRUE(Contains(errors, second + ": the name ")) << "a page cannot refer to it";

    // Flags 5, loop start 0, the loop end 11024, outer volume 0.5, cones 90 and 270, distances
    // 300 and 2.5, import adjust 2.
    const std::string expected = SoundPage("Roar of the Beast", "Roar of the Beast.wav",
                                           FromHex("05000000"
                                                   "00000000"
                                                   "102b0000"
                                                   "0000003f"
                                                   "5a000000"
                                                   "0e010000"
                                                   "00009643"
                                                   "00002040"
                                                   "00000040"));
    EXPECT_EQ(ToHex(ReadFile(table)), ToHex(expected));
    EXPECT_EQ(Taunt("Roar of the Beast.wav").size(), 11025u);
}

TEST_F(JeerboxBatchTest, BadValuesAndAnExistingTableStopTheRunBeforeAnythingIsWritten)
{
    const std::string sound = Wav("sound.wav", Busy(22050, 1, 0.1), 22050);
    const std::string table = Path("old.gam");
    WriteFile(table, "old table");
    const std::string gam = "--gam=" + table;
    const std::vector<std::string> refused[] = {
        {gam},
        {gam, "--force", "--gam-inner-cone=12.5"},
        {gam, "--force", "--gam-outer-cone=3000000000"},
        {gam, "--force", "--gam-import-adjust=1e39"},
        {gam, "--force", "--gam-max-distance=nan"},
        {gam, "--force", "--gam-flags=512"},
        {"--gam-flags=1"},
        {"--loudness=-16", "--normalize"},
        {"--loudness=5"},
        {"--trim=loud"},
        {"-j", "0"},
        {"--dither=shaped"},
        {"--gam"},
        {"--highpass=0"},
        {"--fade=-5"},
        {"--fade=5000"},
        {"--compress=nan"},
        {"--gam=" + Path("out/sound.wav")},
        {"--gam="},
        {"--force", "--gam=" + sound},
        {"--gam=" + Path("loop/x.gam")},
        {"-o", Path("loop/x")},
        {"-o", Path(std::string(300, 'o'))},
    };
    // The options between the output folder and the sound.
    auto around = [&](const std::vector<std::string>& options) {
        std::vector<std::string> args{"-o", Path("out")};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(sound);
        return args;
    };
    std::filesystem::create_symlink("loop", Path("loop"));
    std::filesystem::create_directory(Path("out"));
    for (const std::vector<std::string>& options : refused) {
        std::string errors;
        EXPECT_EQ(Run(around(options), &errors), 2) << OneLine(options);
        EXPECT_TRUE(errors.starts_with("jeerbox-convert: ")) << errors;
        EXPECT_FALSE(std::filesystem::exists(Path("out/sound.wav"))) << OneLine(options);
        EXPECT_EQ(ReadFile(table), "old table");
    }
    EXPECT_EQ(Run({"-o", Path("out"), gam, "--force", sound}), 0);
    EXPECT_EQ(ReadFile(table).at(0), 7) << "--force replaces the table";

    // Both ends of every range are taken (of an option given twice, the last counts).
    const std::vector<std::string> ends[] = {
        {gam, "--force", "--trim=0", "--trim=-120", "--gam-flags=511", "--gam-flags=0", "-j1024", "-j1",
         "--gam-inner-cone=-2147483648", "--gam-outer-cone=2147483647"},
        {"--loudness=0", "--loudness=-70"},
    };
    for (const std::vector<std::string>& options : ends) {
        std::string errors;
        EXPECT_EQ(Run(around(options), &errors), 0) << OneLine(options) << ": " << errors;
    }
}

TEST_F(JeerboxBatchTest, ParallelJobsKeepTheirMessagesInTheOrderOfTheFilesAndShowNoProgressOffATerminal)
{
    std::vector<std::string> args{"-o", Path("out"), "-j", "4"};
    std::vector<std::string> failing;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "f" + std::to_string(i) + ".wav";
        if (i % 3 == 1) {
            WriteFile(Path(name), "no sound");
            failing.push_back(Path(name));
        } else {
            Wav(name, Busy(44100, 2, 0.2 * (8 - i)), 44100, 2);
        }
        args.push_back(Path(name));
    }
    std::string errors;
    EXPECT_EQ(Run(args, &errors), 1);
    std::string expected;
    for (const std::string& file : failing)
        expected += file + ": Not a valid WAV file.\n";
    EXPECT_EQ(errors, expected);
    for (int i : {0, 2, 3, 5, 6})
        EXPECT_EQ(Taunt("f" + std::to_string(i) + ".wav").size(), size_t(0.2 * (8 - i) * 22050 + 0.5)) << i;
}

TEST_F(JeerboxBatchTest, HelpHasTheShapeOfAManualPage)
{
    std::string out;
    ASSERT_EQ(Run({"--help"}, nullptr, &out), 0);
    for (const char* part : {"Usage: jeerbox-convert ", "\nOptions:\n", "  -o, --output=OUTDIR ", "  -j, --jobs=N ",
                             "--trim[=DB] ", "--highpass[=HZ] ", "--fade[=MS] ", "--compress[=RATIO] ",
                             "--gam=FILE.gam ", "\nExit status:\n", "\nExamples:\n"})
        EXPECT_TRUE(Contains(out, part)) << part;
    ASSERT_EQ(Run({"--version"}, nullptr, &out), 0);
    EXPECT_TRUE(out.starts_with("jeerbox-convert (Orvalis Jeerbox) ")) << out;
}

TEST_F(JeerboxBatchTest, AWavFileIsReadWhereverItsChunksLie)
{
    // A list chunk of odd size (with its pad byte) before the samples, a chunk after them:
    // the samples start at no page boundary and end before the file does.
    const std::string samples = Bytes(Busy(44100, 2, 1.0));
    const std::string odd = Path("odd.wav");
    WriteFile(odd,
              RiffWave(Chunk("LIST", std::string(4093, 'x')) + Chunk("fmt ", FmtPayload(1, 2, 44100, 176400, 4, 16)) +
                       Chunk("data", samples) + Chunk("junk", "after")));
    ASSERT_EQ(Run({"-o", Path("out"), odd}), 0);
    EXPECT_TRUE(Taunt("odd.wav") == ConvertedWhole(odd));
}

TEST_F(JeerboxBatchTest, OnATerminalAProgressLineSaysWhichFileAndHowFar)
{
    const std::string first = Wav("first.wav", Busy(44100, 2, 2.0), 44100, 2);
    const std::string second = Wav("second.wav", Busy(44100, 2, 2.0), 44100, 2);
    auto quoted = [](const std::string& path) { return '\'' + path + '\''; };
    const std::string command = JEERBOX_BUILD_DIR "/jeerbox-convert -j 1 -o " + quoted(Path("out")) + ' ' +
        quoted(first) + ' ' + quoted(second);
    const ProgramRun script =
        RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, {}, std::chrono::minutes(1));
    ASSERT_FALSE(script.TimedOut);
    const std::string& seen = script.Out;
    EXPECT_EQ(script.Status, 0);
    EXPECT_TRUE(Contains(seen, "1 of 2: first.wav ") && Contains(seen, "2 of 2: second.wav ")) << seen;
    EXPECT_TRUE(Contains(seen, "%")) << seen;
    EXPECT_TRUE(seen.ends_with("\r\033[K")) << "the line is cleared at the end";
}

}
