#include "sound/Wavs_ex.h"
#include "support/Files.h"
#include "support/Programs.h"
#include "support/Signal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <utility>
#include <vector>

namespace {

class JeerboxConvertTest : public ::testing::Test {
protected:
    ProgramRun Run(const std::vector<std::string>& args, const std::string& workingDir = {})
    {
        return RunProgram(JEERBOX_BUILD_DIR "/jeerbox-convert", args, workingDir);
    }
    std::string Path(const std::string& name) const { return dir.FilePath(name); }
    std::string Sine(const std::string& name, int format, int rate, int channels, double seconds)
    {
        WriteWithSndfile(Path(name), format, rate, channels, Sine16(440, 0.5, rate, seconds, channels));
        return Path(name);
    }
    TempDir dir;
};

TEST_F(JeerboxConvertTest, HelpAndMisuse)
{
    const ProgramRun help = Run({"--help"});
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(help.Out.starts_with("Usage: jeerbox-convert -o OUTDIR [OPTION]... FILE..."));

    EXPECT_EQ(Run({}).Status, 2);
    EXPECT_EQ(Run({"-o", Path("out")}).Status, 2) << "no file";
    EXPECT_EQ(Run({"--fast", "a.wav"}).Status, 2);
}

TEST_F(JeerboxConvertTest, WritesEachFileAsATauntNamedAfterIt)
{
    const std::string cd = Sine("cd.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5);
    const std::string phone = Sine("phone.call.WAV", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, 1.0);
    const std::string out = Path("made/here");

    const ProgramRun run = Run({"-o", out, cd, phone});
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(run.ErrorLines().empty()) << run.Err;

    const WAVEFORMATEX taunt{1, 1, 22050, 22050, 1, 8, 0};
    for (const auto& [name, bytes] : {std::pair{"cd.wav", 11025}, std::pair{"phone.call.wav", 22050}}) {
        TWavStream made;
        made.LoadFromFile(out + "/" + name);
        EXPECT_EQ(std::memcmp(&made.Format, &taunt, 16), 0) << name;
        EXPECT_EQ(made.Size(), bytes) << name;
        const SineFit fit = FitSine(made.Memory(), size_t(made.Size()), 440, 22050, 300);
        EXPECT_NEAR(fit.Amplitude, 64.0, 3.0) << name;
    }
}

TEST_F(JeerboxConvertTest, ReportsEachFailedFileAndConvertsTheRest)
{
    const std::string good = Sine("good.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.2);
    const std::string missing = Path("missing.wav");
    const std::string junk = Path("junk.wav");
    WriteFile(junk, "this is no sound");
    const std::string odd = Path("odd.wav");
    WriteFile(odd, RiffWave(Chunk("fmt ", FmtPayload(0x1234, 1, 8000, 8000, 1, 8)) + Chunk("data", "abcd")));
    const std::string out = Path("out");

    const ProgramRun run = Run({"-o", out, missing, good, junk, odd});
    EXPECT_EQ(run.Status, 1);
    const std::vector<std::string> errors = run.ErrorLines();
    ASSERT_EQ(errors.size(), 3u) << run.Err;
    EXPECT_TRUE(errors[0].starts_with(missing + ": Cannot open file")) << errors[0];
    EXPECT_EQ(errors[1], junk + ": Not a valid WAV file.");
    EXPECT_EQ(errors[2], odd + ": acmStreamOpen: The requested operation cannot be performed.");
    EXPECT_EQ(ReadFile(out + "/good.wav").size(), 44u + 4410);
    EXPECT_FALSE(std::filesystem::exists(out + "/junk.wav"));
}

TEST_F(JeerboxConvertTest, NeverWritesOverItsSource)
{
    const std::string source = Sine("same.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.1);
    const std::string before = ReadFile(source);
    const ProgramRun run = Run({"-o", dir.Path(), source});
    EXPECT_EQ(run.Status, 1);
    ASSERT_EQ(run.ErrorLines().size(), 1u);
    EXPECT_TRUE(run.ErrorLines()[0].starts_with(source + ": the converted file would replace the source"));
    EXPECT_EQ(ReadFile(source), before);
}

TEST_F(JeerboxConvertTest, NeverWritesOverAFileItWroteInTheSameRun)
{
    std::filesystem::create_directories(Path("a"));
    std::filesystem::create_directories(Path("b"));
    const std::string first = Sine("a/x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.2);
    const std::string second = Sine("b/x.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.5);
    const std::string shouting = Sine("b/x.WAV", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.7);
    const std::string other = Sine("b/y.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.1);
    const std::string out = Path("out");

    const ProgramRun run = Run({"-o", out, first, second, other, shouting, first});
    EXPECT_EQ(run.Status, 1);
    const std::vector<std::string> errors = run.ErrorLines();
    ASSERT_EQ(errors.size(), 3u) << run.Err;
    for (const auto& [line, source] : {std::pair{0, second}, std::pair{1, shouting}, std::pair{2, first}})
        EXPECT_TRUE(errors[line].starts_with(source + ": the converted file would replace " + out +
                                             "/x.wav, which this run already wrote"))
            << errors[line];
    EXPECT_EQ(ReadFile(out + "/x.wav").size(), 44u + 4410) << "the first file's sound stays";
    EXPECT_EQ(ReadFile(out + "/y.wav").size(), 44u + 2205) << "files after a refused one still convert";

    // Names relative to the working folder are the same file as well.
    const ProgramRun relative = Run({"-o", "rel", "a/x.wav", "b/x.wav"}, dir.Path());
    EXPECT_EQ(relative.Status, 1);
    EXPECT_EQ(relative.ErrorLines().size(), 1u);
    EXPECT_EQ(ReadFile(Path("rel/x.wav")).size(), 44u + 4410) << "the first file's sound stays";

    const ProgramRun again = Run({"-o", out, second});
    EXPECT_EQ(again.Status, 0) << "a new run may replace what an earlier run wrote";
    EXPECT_EQ(ReadFile(out + "/x.wav").size(), 44u + 11025);
}

// A target is checked against every source of the run, however it is reached, before anything
// is written.
TEST_F(JeerboxConvertTest, NoTargetReplacesAnySourceOfTheRun)
{
    std::filesystem::create_directories(Path("mix"));
    for (const char* name : {"mix/a", "b"}) {
        Sine(name + std::string(".flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 1, 0.2);
        Sine(name + std::string(".wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.3);
    }
    // A link where the taunt would go leads to a source.
    std::filesystem::create_symlink(Path("b.wav"), Path("mix/b.wav"));
    const std::string before = ReadFile(Path("b.wav"));
    const std::pair<std::string, std::vector<std::string>> runs[] = {
        {Path("mix"), {"-o", ".", "a.flac", "a.wav"}},
        {dir.Path(), {"-j1", "-o", "mix", "mix/a.wav", "mix/a.flac"}},
        {dir.Path(), {"-o", "mix", "b.flac", "b.wav"}},
    };
    for (const auto& [where, args] : runs) {
        const ProgramRun run = Run(args, where);
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.ErrorLines().size(), 2u) << run.Err;
        EXPECT_EQ(ReadFile(Path("mix/a.wav")), before);
        EXPECT_EQ(ReadFile(Path("b.wav")), before);
    }
}

// After "--" every argument is a file. In a table run, a file whose taunt's name a page cannot
// hold whole is refused, so that no page refers to a file that does not exist.
TEST_F(JeerboxConvertTest, FileNamesAreTakenAsGivenAndEveryPageRefersToItsFile)
{
    const std::string longName = "a_name_much_longer_than_thirty_four";
    for (const std::string& name : {std::string("--gam-x"), longName})
        Sine(name + ".wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 1, 0.1);
    EXPECT_EQ(Run({"-o", "out", "--", "--gam-x.wav", longName + ".wav"}, dir.Path()).Status, 0);
    EXPECT_EQ(ReadFile(Path("out/" + longName + ".wav")).size(), 44u + 2205);
    const ProgramRun run = Run({"-o", "g", "--gam=t.gam", "--", "--gam-x.wav", longName + ".wav"}, dir.Path());
    EXPECT_EQ(run.Status, 1);
    ASSERT_EQ(run.ErrorLines().size(), 1u) << run.Err;
    EXPECT_TRUE(
        run.ErrorLines()[0].starts_with(longName + ".wav: the name " + longName + ".wav is longer than the 34"));
    EXPECT_FALSE(std::filesystem::exists(Path("g/" + longName + ".wav")));
    EXPECT_EQ(ReadFile(Path("t.gam")).size(), 45u + 7 + 11) << "one page, of --gam-x.wav";
}

// A run ended by a signal leaves no part of a file behind and ends as the signal ends a
// program. The source is a pipe that nobody writes: the run waits for it with its taunt open.
TEST_F(JeerboxConvertTest, AnInterruptedRunLeavesNothingBehind)
{
    const std::string source = Path("waiting.wav");
    ASSERT_EQ(::mkfifo(source.c_str(), 0666), 0);
    for (const int signal : {SIGINT, SIGTERM}) {
        const std::string out = Path("out");
        const pid_t pid = ::fork();
        if (pid == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::signal(signal, SIG_DFL);
            ::execl(JEERBOX_BUILD_DIR "/jeerbox-convert", "jeerbox-convert", "-o", out.c_str(), source.c_str(),
                    nullptr);
            ::_exit(127);
        }
        const auto writing = [&] {
            std::error_code error;
            for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
                if (std::filesystem::read_symlink(fd, error).string().starts_with(out))
                    return true;
            return false;
        };
        for (int wait = 0; wait < 1000 && !writing(); ++wait)
            ::usleep(10000);
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(std::filesystem::is_empty(out)) << signal;
    }
}

TEST_F(JeerboxConvertTest, FilesWithoutDataOrWithLessThanOneFrameGiveAnEmptyTaunt)
{
    const std::string stereo16 = FmtPayload(1, 2, 44100, 176400, 4, 16);
    const std::string noData = Path("nodata.wav");
    WriteFile(noData, RiffWave(Chunk("fmt ", stereo16)));
    const std::string partial = Path("partial.wav");
    WriteFile(partial, RiffWave(Chunk("fmt ", stereo16) + Chunk("data", "abc")));
    const std::string out = Path("out");

    const ProgramRun run = Run({"-o", out, noData, partial});
    EXPECT_EQ(run.Status, 0) << run.Err;
    for (const char* name : {"/nodata.wav", "/partial.wav"}) {
        const std::string made = ReadFile(out + name);
        ASSERT_EQ(made.size(), 44u) << name;
        EXPECT_EQ(made.substr(40, 4), Le32(0)) << name;
    }
}

TEST_F(JeerboxConvertTest, ConvertsTheExtensibleFilesOtherProgramsWriteForWideSamples)
{
    const std::string ints = Sine("ints.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_32, 48000, 2, 0.5);
    const std::string floats = Sine("floats.wav", SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 44100, 6, 0.5);
    const std::string out = Path("out");
    const ProgramRun run = Run({"-o", out, ints, floats});
    EXPECT_EQ(run.Status, 0) << run.Err;
    for (const char* name : {"/ints.wav", "/floats.wav"}) {
        TWavStream made;
        made.LoadFromFile(out + name);
        EXPECT_NEAR(double(made.Size()), 11025.0, 2.0) << name;
        const SineFit fit = FitSine(made.Memory(), size_t(made.Size()), 440, 22050, 300);
        EXPECT_NEAR(fit.Amplitude, 64.0, 3.0) << name;
    }
}

TEST_F(JeerboxConvertTest, FlacOggAndMp3BecomeTheTauntOfTheSameSignalAsWav)
{
    const std::vector<int16_t> tones = TwoTones();
    std::vector<std::string> args{"-o", Path("out")};
    WriteWithSndfile(Path("reference.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, tones);
    args.push_back(Path("reference.wav"));
    for (const SoundFileKind& kind : FlacOggMp3) {
        const std::string name = std::string("tones-") + kind.Extension + "." + kind.Extension;
        WriteWithSndfile(Path(name), kind.Format, 44100, 2, tones, 0.0);
        args.push_back(Path(name));
    }
    const ProgramRun run = Run(args);
    EXPECT_EQ(run.Status, 0);
    EXPECT_TRUE(run.ErrorLines().empty()) << run.Err;

    const WavParts reference = SplitWav(ReadFile(Path("out/reference.wav")));
    ASSERT_EQ(reference.Data.size(), 17640u);
    for (const SoundFileKind& kind : FlacOggMp3) {
        // Always NAME.wav, whatever the source was.
        const WavParts made = SplitWav(ReadFile(Path(std::string("out/tones-") + kind.Extension + ".wav")));
        EXPECT_EQ(made.Fmt, reference.Fmt) << kind.Extension;
        if (!kind.Lossy) {
            EXPECT_EQ(made.Data, reference.Data) << kind.Extension;
            continue;
        }
        const TauntAlignment aligned = AlignTaunts(reference.Data, made.Data, 2000, 220);
        EXPECT_LE(aligned.MaxStep, 1) << kind.Extension << " shifted by " << aligned.Shift;
    }
}

// Where libsndfile cannot be loaded, every file that needs it says so; plain samples convert.
TEST_F(JeerboxConvertTest, WithoutTheDecoderLibraryEveryFileThatNeedsItSaysSo)
{
    WriteFile(Path("libsndfile.so.1"), "");  // found before the real one, and no library
    std::vector<std::string> args{"LD_LIBRARY_PATH=" + dir.Path(), JEERBOX_BUILD_DIR "/jeerbox-convert", "-o", "out"};
    for (const auto& [name, format] : {std::pair{"plain.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                       {"ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW},
                                       {"ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM},
                                       {"disc.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16}})
        args.push_back(Sine(name, format, 8000, 1, 0.1));
    const ProgramRun run = RunProgram("/usr/bin/env", args, dir.Path());
    EXPECT_EQ(run.Status, 1);
    ASSERT_EQ(run.ErrorLines().size(), 3u) << run.Err;
    for (const std::string& line : run.ErrorLines())
        EXPECT_NE(line.find("The library libsndfile.so.1 cannot be loaded"), std::string::npos) << line;
}

// Converting a WAV file of plain samples does not load the sound decoder library, a FLAC file
// does; measuring loudness loads no library at all (the meter is the program's own).
TEST_F(JeerboxConvertTest, OnlyTheRunsThatNeedItLoadTheDecoderAndNoneLoadsALoudnessLibrary)
{
    const std::string wav = Sine("cd.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.2);
    const std::string flac = Sine("disc.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.2);
    auto loads = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"LD_DEBUG=files", JEERBOX_BUILD_DIR "/jeerbox-convert", "-o", Path("out")});
        const ProgramRun run = RunProgram("/usr/bin/env", args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        return std::pair{run.Err.find("libsndfile.so") != std::string::npos,
                         run.Err.find("libebur128.so") != std::string::npos};
    };
    EXPECT_EQ(loads({wav}), std::pair(false, false));
    EXPECT_EQ(loads({"--loudness=-16", wav}), std::pair(false, false));
    EXPECT_EQ(loads({flac}), std::pair(true, false));
}

}
