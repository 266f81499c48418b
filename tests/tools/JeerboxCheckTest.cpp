#include "support/Files.h"
#include "support/Programs.h"
#include "support/Signal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>

namespace {

// Taunt samples: a tone of `peak` levels that rises and falls over 10 ms at its ends.
std::string Tone(int peak, size_t count)
{
    std::string samples;
    for (size_t i = 0; i < count; ++i) {
        const double ramp = std::min({1.0, double(i) / 220, double(count - i) / 220});
        samples += char(128 + std::lround(peak * ramp * std::sin(double(i) * 0.1)));
    }
    return samples;
}

std::string TauntFile(const std::string& samples, const std::string& after = {})
{
    return RiffWave(Chunk("fmt ", FmtPayload(1, 1, 22050, 22050, 1, 8)) + Chunk("data", samples) + after);
}

// A sound page as its writer makes it, looping from 0 to loopEnd.
std::string LoopingPage(const std::string& name, const std::string& file, int32_t loopEnd)
{
    return SoundPage(name, file,
                     std::string(8, '\0') + Le32(uint32_t(loopEnd)) + std::string(20, '\0') + Le32(0x3F800000));
}

class JeerboxCheckTest : public ::testing::Test {
protected:
    ProgramRun Run(const std::vector<std::string>& args) { return RunProgram(Tool, args, dir.Path()); }
    const std::string Tool = JEERBOX_BUILD_DIR "/jeerbox-convert";
    TempDir dir;
};

TEST_F(JeerboxCheckTest, EachWavFileGetsAVerdictAndWhatItStandsOn)
{
    const std::string tone = Tone(60, 22050);
    const std::string cd = FmtPayload(1, 2, 44100, 176400, 4, 16);
    const struct {
        const char* Name;
        std::string Bytes;
        const char* Verdict;
    } cases[] = {
        {"good.wav", TauntFile(tone), "ok (1.00 s, peak -6.6 dBFS"},
        {"odd-at-the-end.wav", TauntFile(tone.substr(1)), "ok"},
        {"peaks.wav", TauntFile(tone + "\xFF\xFF" + tone), "ok"},
        {"clipped.wav", TauntFile(tone + "\xFF\xFF\xFF" + tone), "FAIL: 3 samples clipped"},
        {"cd.wav", RiffWave(Chunk("fmt ", cd) + Chunk("data", "abcd")),
         "FAIL: 44100 Hz 16-bit stereo PCM, not the taunt format (22050 Hz 8-bit mono PCM)"},
        {"list.wav", TauntFile(tone, Chunk("LIST", "INFO")), "FAIL: chunk \"LIST\" (4 bytes) besides fmt and data"},
        {"cut.wav", TauntFile(tone).substr(0, 1000),
         "FAIL: chunk \"data\" is cut: it declares 22050 bytes, the file holds 956"},
        {"unpadded.wav", RiffWave(Chunk("data", tone.substr(1)) + Chunk("fmt ", FmtPayload(1, 1, 22050, 22050, 1, 8))),
         "FAIL: chunk \"data\" has an odd size and no pad byte before the next chunk"},
        {"click.wav", TauntFile(char(200) + tone), "warn: a step of 72 levels at its first sample (a click)"},
        {"quiet.wav", TauntFile(Tone(6, 22050)),
         "warn: uses only 13 of the 256 levels; -19.9 LU from the median loudness (-10.3 LUFS)"},
    };
    std::vector<std::string> args{"--check"};
    for (const auto& c : cases) {
        WriteFile(dir.FilePath(c.Name), c.Bytes);
        args.push_back(c.Name);
    }
    const ProgramRun run = Run(args);
    EXPECT_EQ(run.Status, 1);
    for (const auto& c : cases) {
        const size_t at = run.Out.find(std::string(c.Name) + ": ");
        const std::string line = run.Out.substr(at, run.Out.find('\n', at) - at);
        EXPECT_TRUE(line.starts_with(std::string(c.Name) + ": " + c.Verdict)) << line;
    }
    EXPECT_EQ(Run({"--check", "good.wav", "peaks.wav", "click.wav"}).Status, 0) << "warnings do not fail";
}

TEST_F(JeerboxCheckTest, ATableIsCheckedPageByPageAgainstTheFilesBesideIt)
{
    std::filesystem::create_directories(dir.FilePath("set"));
    WriteFile(dir.FilePath("set/hello.wav"), TauntFile(Tone(60, 1000)));
    WriteFile(dir.FilePath("set/cd.wav"),
              RiffWave(Chunk("fmt ", FmtPayload(1, 2, 44100, 176400, 4, 16)) + Chunk("data", "abcd")));
    const std::string table = LoopingPage("hello", "hello.wav", 999) + LoopingPage("b", "hello.wav", 1000) +
        LoopingPage("hello", "hello.wav", 0) + LoopingPage("gone", "gone.wav", 0) + LoopingPage("cd", "cd.wav", 0) +
        GamPage(9, "abc");
    WriteFile(dir.FilePath("set/set.gam"), table);
    WriteFile(dir.FilePath("set/cut.gam"), table.substr(0, table.size() - 1));

    const ProgramRun run = Run({"--check", "set/set.gam", "set/cut.gam"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out,
              "set/set.gam: FAIL, 6 pages\n"
              "  page 1: \"hello\", hello.wav, loop 0 to 999 of 1000 bytes: ok\n"
              "  page 2: \"b\", hello.wav, loop 0 to 1000 of 1000 bytes: FAIL: its loop from 0 to 1000 lies outside "
              "the sound's 1000 bytes\n"
              "  page 3: \"hello\", hello.wav, loop 0 to 0 of 1000 bytes: FAIL: page 1 has the same name\n"
              "  page 4: \"gone\", gone.wav, loop 0 to 0: FAIL: missing: set/gone.wav\n"
              "  page 5: \"cd\", cd.wav, loop 0 to 0 of 4 bytes: FAIL: set/cd.wav is not in the taunt format\n"
              "  page 6: type 9, 8 bytes: warn: not a sound page (kept as it is)\n"
              "set/cut.gam: FAIL: page 6 at byte 283: length 7 runs past the end of the table (290 bytes)\n"
              "2 checked: 2 failed, 0 with warnings\n");
}

TEST_F(JeerboxCheckTest, AFolderTheBatchToolJustMadePasses)
{
    WriteWithSndfile(dir.FilePath("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1,
                     Sine16(440, 0.5, 22050, 0.7, 1));
    WriteWithSndfile(dir.FilePath("b.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 1, Sine16(300, 0.9, 48000, 0.5, 1));
    std::filesystem::create_directories(dir.FilePath("out"));
    const ProgramRun made = Run({"-o", "out", "--trim", "--loudness=-16", "--gam=out/set.gam", "a.wav", "b.wav"});
    ASSERT_EQ(made.Status, 0) << made.Err;

    // Plain taunts are checked without the sound decoder's library.
    const ProgramRun run = RunProgram(
        "/usr/bin/env", {"LD_DEBUG=files", Tool, "--check", "out/a.wav", "out/b.wav", "out/set.gam"}, dir.Path());
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_EQ(run.Err.find("libsndfile.so"), std::string::npos);

    const ProgramRun json = Run({"--check", "--json", "out/set.gam", "out/a.wav"});
    EXPECT_TRUE(json.Out.starts_with("{\"passed\": true,\n\"files\": [\n  {\"file\": \"out/a.wav\"")) << json.Out;
}

TEST_F(JeerboxCheckTest, CommandLinesThatMixCheckingAndConvertingAreRefused)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--check", "-o", "out", "a.wav"},
                                                 {"--check", "--normalize", "a.wav"},
                                                 {"-o", "out", "--json", "a.wav"},
                                                 {"-o", "out", "--max-dc=1", "a.wav"}})
        EXPECT_EQ(Run(args).Status, 2) << args.back();
}

}
