#include "sound/TauntFormat.h"
#include "support/Files.h"
#include "support/Programs.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

int RunJingle(const std::vector<std::string>& args, std::string* out = nullptr)
{
    const ProgramRun run = RunProgram(JEERBOX_BUILD_DIR "/jeerbox-jingle", args);
    if (out)
        *out = run.Out;
    return run.Status;
}

// The jingle the program embeds: the file checked in beside its other resources.
std::string CheckedIn()
{
    return ReadFile(JEERBOX_SOURCE_DIR "/resources/piano.wav");
}

// The jingle checked in and embedded is exactly what its generator makes today.
TEST(JeerboxJingleTest, TheGeneratorStillMakesTheEmbeddedJingleByteForByte)
{
    TempDir dir;
    const std::string path = dir.FilePath("piano.wav");
    ASSERT_EQ(RunJingle({path}), 0);
    const std::string made = ReadFile(path);
    ASSERT_EQ(made.size(), 72630u);
    const std::string embedded = CheckedIn();
    ASSERT_EQ(embedded.size(), made.size());
    size_t firstDifference = 0;
    while (firstDifference < made.size() && made[firstDifference] == embedded[firstDifference])
        ++firstDifference;
    EXPECT_EQ(firstDifference, made.size()) << "the files differ first at byte " << firstDifference;
}

// A 44-byte header in the taunt format, then 56 samples of silence: the 100 bytes the workbench
// skips hold nothing to hear, and the sound after them is a sound.
TEST(JeerboxJingleTest, TheJingleIsATauntWithItsFirstHundredBytesSilent)
{
    const std::string file = CheckedIn();
    ASSERT_EQ(file.size(), 72630u);
    EXPECT_EQ(file, RiffWave(Chunk("fmt ", FmtPayload(1, 1, 22050, 22050, 1, 8)) + Chunk("data", file.substr(44))));
    EXPECT_EQ(file.substr(44, JingleStart - 44), std::string(JingleStart - 44, '\x80'));
    const std::string sound = file.substr(JingleStart);
    const auto [low, high] =
        std::minmax_element(sound.begin(), sound.end(), [](char a, char b) { return uint8_t(a) < uint8_t(b); });
    EXPECT_LT(uint8_t(*low), 64);
    EXPECT_GT(uint8_t(*high), 192);
    EXPECT_EQ(uint8_t(sound.back()), 0x80) << "it fades out to silence";
}

TEST(JeerboxJingleTest, HelpAndMisuse)
{
    std::string out;
    EXPECT_EQ(RunJingle({"--help"}, &out), 0);
    EXPECT_TRUE(out.starts_with("Usage: jeerbox-jingle FILE"));
    EXPECT_EQ(RunJingle({}), 2);
    EXPECT_EQ(RunJingle({"/no/such/folder/piano.wav"}), 1);
}

}  // namespace
