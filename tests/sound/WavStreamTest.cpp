#include "sound/Wavs_ex.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>

namespace {

class WavStreamTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string Path(const char* name) const { return dir.FilePath(name); }

    // Loads bytes written to a file into a fresh stream whose cbSize starts as 0x7777.
    void Load(const std::string& bytes)
    {
        WriteFile(Path("in.wav"), bytes);
        wav.Format.cbSize = 0x7777;
        wav.LoadFromFile(Path("in.wav"));
    }
    std::string Contents() const
    {
        return std::string(reinterpret_cast<const char*>(wav.Memory()), size_t(wav.Size()));
    }

    TWavStream wav;
    const std::string fmt16 = FmtPayload(1, 2, 44100, 176400, 4, 16);
    const std::string samples = std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
};

TEST(WaveFormatTest, RecordIsEighteenPackedLittleEndianBytes)
{
    WAVEFORMATEX f{1, 2, 22050, 44100, 2, 8, 129};
    uint8_t raw[18];
    std::memcpy(raw, &f, 18);
    const uint8_t expected[18] = {1, 0, 2, 0, 0x22, 0x56, 0, 0, 0x44, 0xAC, 0, 0, 2, 0, 8, 0, 0x81, 0};
    EXPECT_EQ(0, std::memcmp(raw, expected, 18));
}

TEST_F(WavStreamTest, LoadsFormatAndDataSkippingOtherChunks)
{
    Load(RiffWave(Chunk("LIST", "INFOxxxx") + Chunk("fmt ", fmt16) + Chunk("fact", Le32(4)) + Chunk("cue ", "1234") +
                  Chunk("data", samples) + Chunk("LIST", "tail")));
    EXPECT_EQ(Contents(), samples);
    EXPECT_EQ(wav.Position(), 0);
    EXPECT_EQ(wav.Format.wFormatTag, 1);
    EXPECT_EQ(wav.Format.nChannels, 2);
    EXPECT_EQ(wav.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(wav.Format.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(wav.Format.nBlockAlign, 4);
    EXPECT_EQ(wav.Format.wBitsPerSample, 16);
    EXPECT_EQ(wav.Format.cbSize, 0x7777) << "a 16-byte fmt chunk leaves cbSize as it was";
    EXPECT_EQ(wav.FileName, Path("in.wav"));
}

TEST_F(WavStreamTest, FmtChunkLengthDecidesHowMuchOfTheRecordIsSet)
{
    Load(RiffWave(Chunk("fmt ", fmt16 + Le16(22)) + Chunk("data", samples)));
    EXPECT_EQ(wav.Format.cbSize, 22);

    TWavStream other;
    other.Format.cbSize = 5;
    WriteFile(Path("ext.wav"),
              RiffWave(Chunk("fmt ", fmt16 + Le16(22) + std::string(22, 'x')) + Chunk("data", samples)));
    other.LoadFromFile(Path("ext.wav"));
    EXPECT_EQ(other.Format.cbSize, 22) << "a 40-byte chunk sets 18 bytes and drops the rest";
    EXPECT_EQ(other.Size(), samples.size());
}

TEST_F(WavStreamTest, LastFmtAndLastDataWinAndLateChunksKeepTheData)
{
    const std::string second = FmtPayload(1, 1, 8000, 8000, 1, 8);
    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("data", "first") + Chunk("fmt ", second) + Chunk("data", "second!!") +
                  Chunk("fact", Le32(9))));
    EXPECT_EQ(Contents(), std::string("second!!"));
    EXPECT_EQ(wav.Format.nSamplesPerSec, 8000u);

    Load(RiffWave(Chunk("data", samples) + Chunk("fmt ", second) + Chunk("fact", Le32(1))));
    EXPECT_EQ(Contents(), samples) << "fmt and fact after data change neither start nor contents";
}

TEST_F(WavStreamTest, OddDataChunkWithPadByteAtTheEnd)
{
    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("data", "abc") + std::string(1, '\0')));
    EXPECT_EQ(Contents(), std::string("abc"));
}

TEST_F(WavStreamTest, PadByteAfterAnOddChunkIsSkippedOnlyWhereAChunkIdFollowsIt)
{
    const std::string padded =
        Chunk("fmt ", fmt16) + Chunk("note", "abc") + std::string(1, '\0') + Chunk("data", samples);
    Load(RiffWave(padded));
    EXPECT_EQ(Contents(), samples) << "a padded 3-byte chunk before the data";

    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("note", "abc") + Chunk("data", samples)));
    EXPECT_EQ(Contents(), samples) << "written without the pad byte, it walks as before";

    // A zero that is not followed by a printable id is the next chunk's start, not a pad.
    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("note", "abc") +
                  std::string("\0\x01"
                              "ab",
                              4) +
                  Le32(0) + Chunk("data", samples)));
    EXPECT_EQ(Contents(), samples) << "the zero starts an (empty) chunk of its own";

    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("data", "abc") + std::string(1, '\0') + Chunk("LIST", "xyzw")));
    EXPECT_EQ(Contents(), std::string("abc")) << "an odd data chunk with its pad, then more chunks";
}

TEST_F(WavStreamTest, ExtraFormatBytesOfTheLastFmtChunkAreKeptBesideTheRecord)
{
    std::string extra;
    for (int i = 0; i < 130; ++i)
        extra += char(i + 1);
    Load(RiffWave(Chunk("fmt ", fmt16 + Le16(130) + extra) + Chunk("data", samples)));
    EXPECT_EQ(wav.Format.cbSize, 130);
    ASSERT_EQ(wav.FormatExtra.size(), 111u) << "as many as a convertor's format block holds";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(wav.FormatExtra.data()), 111), extra.substr(0, 111));

    Load(RiffWave(Chunk("fmt ", fmt16 + Le16(2) + "zz") + Chunk("fmt ", fmt16) + Chunk("data", samples)));
    EXPECT_TRUE(wav.FormatExtra.empty()) << "the last fmt chunk decides, and a 16-byte one has none";

    Load(RiffWave(Chunk("fmt ", fmt16 + Le16(22) + "abc", 40)));
    EXPECT_EQ(wav.FormatExtra, (std::vector<uint8_t>{'a', 'b', 'c'})) << "a cut chunk keeps the bytes present";

    WriteFile(Path("bad.wav"), "RIFX");
    EXPECT_THROW(wav.LoadFromFile(Path("bad.wav")), EWavStreamError);
    EXPECT_EQ(wav.FormatExtra.size(), 3u) << "a refused file changes the format in no part";
}

TEST_F(WavStreamTest, FilesWithoutDataOrFmtLoadWithoutError)
{
    Load(RiffWave(Chunk("fmt ", fmt16)));
    EXPECT_EQ(wav.Size(), 0);
    EXPECT_EQ(wav.Format.nChannels, 2);

    TWavStream keep;
    keep.Format.nSamplesPerSec = 1234;
    WriteFile(Path("nofmt.wav"), RiffWave(Chunk("data", samples)));
    keep.LoadFromFile(Path("nofmt.wav"));
    EXPECT_EQ(keep.Format.nSamplesPerSec, 1234u);
    EXPECT_EQ(keep.Size(), samples.size());

    Load(RiffWave(std::string()));
    EXPECT_EQ(wav.Size(), 0) << "a header alone is an empty sound";
}

TEST_F(WavStreamTest, WrongHeadersAreNotValidWavFiles)
{
    const std::string body = Chunk("fmt ", fmt16) + Chunk("data", samples);
    const std::string good = RiffWave(body);
    std::string lowerRiff = good;
    lowerRiff.replace(0, 4, "riff");
    std::string rifx = good;
    rifx.replace(0, 4, "RIFX");
    std::string lowerWave = good;
    lowerWave.replace(8, 4, "wave");
    for (const std::string& bad : {lowerRiff, rifx, lowerWave, std::string(), std::string("RIFF\0\0\0\0WAV", 11)}) {
        TWavStream s;
        s.Format.nChannels = 9;
        s.Write("kept", 4);
        WriteFile(Path("bad.wav"), bad);
        try {
            s.LoadFromFile(Path("bad.wav"));
            ADD_FAILURE() << "accepted " << ::testing::PrintToString(bad.substr(0, 12));
        } catch (const EWavStreamError& e) {
            EXPECT_EQ(e.Message(), "Not a valid WAV file.");
        }
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), size_t(s.Size())), "kept")
            << "refused from its header, before anything was loaded";
        EXPECT_EQ(s.Position(), 4);
        EXPECT_EQ(s.Format.nChannels, 9);
        EXPECT_TRUE(s.FileName.empty());
    }
}

TEST_F(WavStreamTest, ChunksLongerThanTheFileTakeTheBytesPresentAndEndTheWalk)
{
    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("data", samples, 1000)));
    EXPECT_EQ(Contents(), samples);

    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("data", samples, 0xFFFFFFFFu)));
    EXPECT_EQ(Contents(), samples);

    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("data", samples) + Chunk("LIST", "abcd", 0x80000000u) +
                  Chunk("data", "x")));
    EXPECT_EQ(Contents(), samples) << "a chunk of 2^31 bytes or more never seeks backwards";

    Load(RiffWave(Chunk("data", samples) + Chunk("fmt ", fmt16.substr(0, 6), 0x90000000u)));
    EXPECT_EQ(Contents(), samples);
    EXPECT_EQ(wav.Format.nChannels, 2) << "a truncated fmt chunk sets only the bytes present";
    EXPECT_EQ(wav.Format.nSamplesPerSec, 44100u);
}

TEST_F(WavStreamTest, TrailingFragmentsShorterThanAChunkHeaderAreIgnored)
{
    for (int extra = 1; extra <= 7; ++extra) {
        Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("data", samples) + std::string(extra, 'Z')));
        EXPECT_EQ(Contents(), samples) << extra << " stray bytes";
    }
}

TEST_F(WavStreamTest, ChunkOfSizeZeroDoesNotStopTheWalk)
{
    Load(RiffWave(Chunk("JUNK", std::string()) + Chunk("fmt ", fmt16) + Chunk("data", std::string()) +
                  Chunk("data", samples)));
    EXPECT_EQ(Contents(), samples);
}

TEST_F(WavStreamTest, SavesA44ByteHeaderWithNoPadByte)
{
    wav.SetFormat(WAVEFORMATEX{1, 1, 22050, 22050, 1, 8, 129});
    wav.SetSize(1001);
    for (int i = 0; i < 1001; ++i)
        wav.Memory()[i] = uint8_t(i * 7);
    wav.SetPosition(17);
    wav.SaveToFile(Path("out.wav"));
    EXPECT_EQ(wav.Position(), 17);
    EXPECT_TRUE(wav.FileName.empty());

    const std::string file = ReadFile(Path("out.wav"));
    ASSERT_EQ(file.size(), 1045);
    EXPECT_EQ(file.substr(0, 44),
              std::string("RIFF") + Le32(1037) + "WAVE" + "fmt " + Le32(16) + FmtPayload(1, 1, 22050, 22050, 1, 8) +
                  "data" + Le32(1001));
    EXPECT_EQ(file.substr(44), std::string(reinterpret_cast<const char*>(wav.Memory()), 1001));

    TWavStream empty;
    empty.SaveToFile(Path("empty.wav"));
    EXPECT_EQ(ReadFile(Path("empty.wav")),
              std::string("RIFF") + Le32(36) + "WAVE" + "fmt " + Le32(16) + std::string(16, '\0') + "data" + Le32(0));
}

TEST_F(WavStreamTest, SavedFileReadsBackTheSameInAnIndependentReader)
{
    wav.SetFormat(WAVEFORMATEX{1, 2, 44100, 176400, 4, 16, 0});
    const int16_t frames[6] = {0, -32768, 32767, 1, -1, 1234};
    wav.Write(frames, sizeof frames);
    wav.SaveToFile(Path("pcm16.wav"));

    SF_INFO info{};
    SNDFILE* f = sf_open(Path("pcm16.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplerate, 44100);
    EXPECT_EQ(info.frames, 3);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    int16_t back[6] = {};
    EXPECT_EQ(sf_readf_short(f, back, 3), 3);
    sf_close(f);
    EXPECT_EQ(0, std::memcmp(back, frames, sizeof frames));

    TWavStream again;
    again.LoadFromFile(Path("pcm16.wav"));
    EXPECT_EQ(0, std::memcmp(&again.Format, &wav.Format, 16));
    ASSERT_EQ(again.Size(), int64_t(sizeof frames));
    EXPECT_EQ(0, std::memcmp(again.Memory(), frames, sizeof frames));
}

TEST_F(WavStreamTest, FormatIsLockedOnceAFileWasLoaded)
{
    TWavStream built;
    built.SetFormat(WAVEFORMATEX{1, 1, 22050, 22050, 1, 8, 0});
    built.SaveToFile(Path("built.wav"));
    EXPECT_NO_THROW(built.SetFormat(WAVEFORMATEX{1, 2, 8000, 16000, 2, 8, 0})) << "saving does not lock";

    built.LoadFromFile(Path("built.wav"));
    built.Clear();
    const WAVEFORMATEX before = built.Format;
    try {
        built.SetFormat(WAVEFORMATEX{1, 2, 8000, 16000, 2, 8, 0});
        ADD_FAILURE() << "format changed after a load";
    } catch (const EWavStreamError& e) {
        EXPECT_EQ(e.Message(), "Cannot change the format of an existing file");
    }
    EXPECT_EQ(0, std::memcmp(&before, &built.Format, sizeof before));
}

TEST_F(WavStreamTest, MissingFileKeepsThePreviousContents)
{
    Load(RiffWave(Chunk("fmt ", fmt16) + Chunk("data", samples)));
    EXPECT_THROW(wav.LoadFromFile(Path("gone.wav")), EFOpenError);
    EXPECT_EQ(Contents(), samples);
    EXPECT_EQ(wav.FileName, Path("in.wav"));
}

TEST_F(WavStreamTest, SavingIntoAMissingFolderRaisesACreateError)
{
    try {
        wav.SaveToFile(Path("no/such/folder/x.wav"));
        ADD_FAILURE();
    } catch (const EFCreateError& e) {
        EXPECT_TRUE(e.Message().find("x.wav") != std::string::npos);
    }
}

}  // namespace
