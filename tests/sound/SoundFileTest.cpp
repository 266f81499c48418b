#include "forms/FilePaths.h"
#include "sound/SoundFile.h"
#include "support/Files.h"
#include "support/Signal.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <vector>

namespace {

class SoundFileTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return LocalPath(dir.filePath(QString::fromLatin1(name))); }
    QByteArray Contents(const TWavStream& wave) const
    {
        return QByteArray(reinterpret_cast<const char*>(wave.Memory()), int(wave.Size()));
    }

    QTemporaryDir dir;
    TWavStream wave;
};

TEST_F(SoundFileTest, FlacLoadsAsSixteenBitPcmInItsOwnShape)
{
    const std::vector<int16_t> tones = TwoTones();
    WriteWithSndfile(QString::fromStdString(Path("tones.flac")), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, tones);
    WriteWithSndfile(QString::fromStdString(Path("tones.wav")), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, tones);
    TWavStream wav;
    wav.LoadFromFile(Path("tones.wav"));

    wave.Write("stale", 5);
    LoadSoundFile(wave, Path("tones.flac"));

    const WAVEFORMATEX pcm16{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(std::memcmp(&wave.Format, &pcm16, sizeof pcm16), 0);
    EXPECT_EQ(Contents(wave), Contents(wav)) << "lossless: the samples the WAV file holds, and nothing else";
    EXPECT_EQ(wave.Position(), 0);
    EXPECT_EQ(wave.FileName, Path("tones.flac"));
    EXPECT_THROW(wave.SetFormat(pcm16), EWavStreamError) << "a loaded stream keeps its file's format";
}

// A long silence packs into a few kilobytes, far fewer than the file's frame count would
// plausibly take: the stream is not sized from the header then, but grows as the sound comes,
// and ends up holding exactly the sound.
TEST_F(SoundFileTest, ASoundMuchLongerThanItsFileLooksIsDecodedWhole)
{
    constexpr size_t Frames = 2'500'000;
    std::vector<int16_t> silence(Frames, 0);
    const size_t marks[] = {0, 1'048'575, 1'048'576, 1'572'864, Frames - 1};
    for (size_t i = 0; i < std::size(marks); ++i)
        silence[marks[i]] = int16_t(1000 * (int(i) + 1));
    WriteWithSndfile(QString::fromStdString(Path("quiet.flac")), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, silence);

    LoadSoundFile(wave, Path("quiet.flac"));
    ASSERT_EQ(wave.Size(), int64_t(Frames * 2));
    const auto* samples = reinterpret_cast<const int16_t*>(wave.Memory());
    int64_t loud = 0;
    for (size_t i = 0; i < Frames; ++i)
        loud += samples[i] != 0;
    EXPECT_EQ(loud, int64_t(std::size(marks)));
    for (size_t i = 0; i < std::size(marks); ++i)
        EXPECT_NEAR(samples[marks[i]], 1000 * (int(i) + 1), 1) << marks[i];
}

TEST_F(SoundFileTest, FloatSamplesStayFloat)
{
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_AIFF | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(Path("float.aiff").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    // Beyond full scale on purpose: a float file may hold that, and it must arrive unclipped.
    const float samples[4] = {0.25f, -0.5f, 1.5f, -1.0f};
    ASSERT_EQ(sf_writef_float(file, samples, 4), 4);
    sf_close(file);

    LoadSoundFile(wave, Path("float.aiff"));
    const WAVEFORMATEX float32{WAVE_FORMAT_IEEE_FLOAT, 1, 8000, 32000, 4, 32, 0};
    EXPECT_EQ(std::memcmp(&wave.Format, &float32, sizeof float32), 0);
    ASSERT_EQ(wave.Size(), 16);
    EXPECT_EQ(std::memcmp(wave.Memory(), samples, 16), 0);
}

TEST_F(SoundFileTest, RiffWaveFilesKeepTheirOwnReader)
{
    // A format tag libsndfile knows nothing of, and a LIST chunk after the data: the WAV
    // stream takes both as they stand.
    WriteFile(dir.filePath("odd.wav"),
              RiffWave(Chunk("fmt ", FmtPayload(0x1234, 1, 8000, 8000, 1, 8)) + Chunk("data", "abcd") +
                       Chunk("LIST", "info")));
    wave.Format.cbSize = 0x7777;
    LoadSoundFile(wave, Path("odd.wav"));
    EXPECT_EQ(wave.Format.wFormatTag, 0x1234);
    EXPECT_EQ(wave.Format.cbSize, 0x7777) << "a 16-byte fmt chunk leaves cbSize alone";
    EXPECT_EQ(Contents(wave), "abcd");
}

TEST_F(SoundFileTest, WhatDecodesNeitherWayFailsAsTheWavStreamFails)
{
    WriteFile(dir.filePath("junk.mp3"), "this is no sound at all");
    wave.Format.nChannels = 9;
    try {
        LoadSoundFile(wave, Path("junk.mp3"));
        FAIL() << "junk loaded";
    } catch (const EWavStreamError& e) {
        EXPECT_STREQ(e.what(), "Not a valid WAV file.");
    }
    EXPECT_EQ(Contents(wave), "this is no sound at all") << "as the WAV stream leaves it";
    EXPECT_EQ(wave.Position(), 12);
    EXPECT_EQ(wave.Format.nChannels, 9);
    EXPECT_TRUE(wave.FileName.empty());

    // A RIFF WAVE header with nothing behind it is the WAV stream's: an empty sound.
    WriteFile(dir.filePath("short.wav"), RiffWave(QByteArray()));
    LoadSoundFile(wave, Path("short.wav"));
    EXPECT_EQ(wave.Size(), 0);

    EXPECT_THROW(LoadSoundFile(wave, Path("missing.flac")), EFOpenError);
    EXPECT_THROW(LoadSoundFile(wave, LocalPath(dir.path())), Exception) << "a folder";
}

TEST_F(SoundFileTest, LossyFilesDecodeToTheSignalTheyWereMadeFrom)
{
    const std::vector<int16_t> tones = TwoTones();
    for (const SoundFileKind& kind : FlacOggMp3) {
        if (!kind.Lossy)
            continue;
        const std::string path = Path("tones.") + kind.Extension;
        WriteWithSndfile(QString::fromStdString(path), kind.Format, 44100, 2, tones);
        LoadSoundFile(wave, path);
        EXPECT_EQ(wave.Format.wBitsPerSample, 16) << kind.Extension;
        EXPECT_EQ(wave.Format.nChannels, 2) << kind.Extension;
        EXPECT_EQ(wave.Format.nSamplesPerSec, 44100u) << kind.Extension;
        // Whole frames, at least the length written (an encoder may pad its last block).
        EXPECT_EQ(wave.Size() % 4, 0) << kind.Extension;
        EXPECT_GE(wave.Size() / 2, int64_t(tones.size())) << kind.Extension;
    }
}

}
