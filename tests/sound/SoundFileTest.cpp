#include "sound/SoundFile.h"
#include "support/Files.h"
#include "support/Signal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// How much more memory this process holds at its peak from now on than it holds now.
class PeakMemory {
public:
    PeakMemory()
    {
        std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts anew at what is held
        FStart = HighWaterKiB();
    }
    long GrowthKiB() const { return HighWaterKiB() - FStart; }

private:
    static long HighWaterKiB()
    {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("VmHWM:", 0) == 0)
                return std::stol(line.substr(6));
        return 0;
    }
    long FStart = 0;
};

class SoundFileTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return dir.FilePath(name); }
    std::string Contents(const TWavStream& wave) const
    {
        return std::string(reinterpret_cast<const char*>(wave.Memory()), int(wave.Size()));
    }

    TempDir dir;
    TWavStream wave;
};

TEST_F(SoundFileTest, FlacLoadsAsSixteenBitPcmInItsOwnShape)
{
    const std::vector<int16_t> tones = TwoTones();
    WriteWithSndfile(Path("tones.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, tones);
    WriteWithSndfile(Path("tones.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, tones);
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
    WriteWithSndfile(Path("quiet.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, silence);

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
    WriteFile(dir.FilePath("odd.wav"),
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
    WriteFile(dir.FilePath("junk.mp3"), "this is no sound at all");
    wave.Format.nChannels = 9;
    try {
        LoadSoundFile(wave, Path("junk.mp3"));
        FAIL() << "junk loaded";
    } catch (const EWavStreamError& e) {
        EXPECT_STREQ(e.what(), "Not a valid WAV file.");
    }
    EXPECT_TRUE(Contents(wave).empty()) << "as the WAV stream leaves it";
    EXPECT_EQ(wave.Format.nChannels, 9);
    EXPECT_TRUE(wave.FileName.empty());

    // A RIFF WAVE header with nothing behind it is the WAV stream's: an empty sound.
    WriteFile(dir.FilePath("short.wav"), RiffWave(std::string()));
    LoadSoundFile(wave, Path("short.wav"));
    EXPECT_EQ(wave.Size(), 0);

    EXPECT_THROW(LoadSoundFile(wave, Path("missing.flac")), EFOpenError);
    EXPECT_THROW(LoadSoundFile(wave, dir.Path()), Exception) << "a folder";
}

TEST_F(SoundFileTest, LossyFilesDecodeToTheSignalTheyWereMadeFrom)
{
    const std::vector<int16_t> tones = TwoTones();
    for (const SoundFileKind& kind : FlacOggMp3) {
        if (!kind.Lossy)
            continue;
        const std::string path = Path("tones.") + kind.Extension;
        WriteWithSndfile(path, kind.Format, 44100, 2, tones);
        LoadSoundFile(wave, path);
        EXPECT_EQ(wave.Format.wBitsPerSample, 16) << kind.Extension;
        EXPECT_EQ(wave.Format.nChannels, 2) << kind.Extension;
        EXPECT_EQ(wave.Format.nSamplesPerSec, 44100u) << kind.Extension;
        // Whole frames, at least the length written (an encoder may pad its last block).
        EXPECT_EQ(wave.Size() % 4, 0) << kind.Extension;
        EXPECT_GE(wave.Size() / 2, int64_t(tones.size())) << kind.Extension;
    }
}

// Nothing of a long file that is no sound is read to refuse it: not under its own name, not
// under a WAV file's. The stream keeps what it held.
TEST_F(SoundFileTest, ALongFileThatIsNoSoundIsRefusedFromItsHeader)
{
    const PeakMemory peak;
    for (const char* name : {"disc.iso", "disc.wav"}) {
        WriteFile(dir.FilePath(name), std::string(4096, '\0') + "CD001");
        std::filesystem::resize_file(Path(name), (uintmax_t(5) << 30) + 1);  // sparse: costs no disk
        wave.Clear();
        wave.Write("kept", 4);
        try {
            LoadSoundFile(wave, Path(name));
            ADD_FAILURE() << name << " loaded";
        } catch (const EWavStreamError& e) {
            EXPECT_STREQ(e.what(), "Not a valid WAV file.") << name;
        }
        EXPECT_EQ(Contents(wave), "kept") << name;
    }
    EXPECT_LT(peak.GrowthKiB(), 64 * 1024) << "KiB taken at the peak";
}

// A cut Ogg file does not say how long it is, and 255 channels make each frame long: memory
// is taken as the sound comes all the same, and the sound is what the file holds.
TEST_F(SoundFileTest, MemoryIsTakenAsTheSoundComes)
{
    const std::string whole = dir.FilePath("many.ogg");
    WriteWithSndfile(whole, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 48000, 255, Sine16(440, 0.5, 48000, 0.1, 255));
    const std::string bytes = ReadFile(whole);
    WriteFile(dir.FilePath("cut.ogg"), bytes.substr(0, bytes.size() * 2 / 3));

    const PeakMemory peak;
    LoadSoundFile(wave, Path("cut.ogg"));
    EXPECT_LT(peak.GrowthKiB(), 64 * 1024) << "KiB taken at the peak";
    EXPECT_EQ(wave.Format.nChannels, 255);
    EXPECT_GT(wave.Size(), 0);
    EXPECT_EQ(wave.Size() % (255 * 2), 0);
}

// A FLAC file whose decoder loses its way in the middle fails with what the decoder says of
// it, rather than loading as a shorter sound; the same file merely cut short loads the sound
// it holds.
TEST_F(SoundFileTest, ADamagedFileSaysSoAndACutOneLoadsWhatItHolds)
{
    const std::vector<int16_t> tones = Sine16(440, 0.5, 44100, 3.0, 2);
    const std::string whole = dir.FilePath("whole.flac");
    WriteWithSndfile(whole, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, tones);
    const std::string bytes = ReadFile(whole);
    std::string damaged = bytes;
    damaged.replace(bytes.size() / 2, 4096, std::string(4096, '\0'));  // a block of the disk lost
    WriteFile(dir.FilePath("damaged.flac"), damaged);
    WriteFile(dir.FilePath("cut.flac"), bytes.substr(0, bytes.size() * 2 / 3));

    SF_INFO info{};
    SNDFILE* file = sf_open(Path("damaged.flac").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<short> frames(2 * 4096);
    while (sf_readf_short(file, frames.data(), 4096) > 0) {}
    const std::string decoderSays = sf_strerror(file);
    ASSERT_NE(sf_error(file), SF_ERR_NO_ERROR);
    sf_close(file);

    try {
        LoadSoundFile(wave, Path("damaged.flac"));
        ADD_FAILURE() << "a damaged file loaded";
    } catch (const EWavStreamError& e) {
        EXPECT_EQ(e.what(), decoderSays);
    }
    EXPECT_TRUE(wave.FileName.empty());

    LoadSoundFile(wave, Path("cut.flac"));
    EXPECT_GT(wave.Size(), int64_t(tones.size()));
    EXPECT_LT(wave.Size(), int64_t(tones.size() * 2));
    EXPECT_EQ(Contents(wave), Bytes(tones).substr(0, size_t(wave.Size())));

    // Read block by block, the files say the same.
    TSoundFileStream damagedStream(Path("damaged.flac"));
    EXPECT_THROW(
        try { damagedStream.Size(); } catch (const EWavStreamError& e) {
            EXPECT_EQ(e.what(), decoderSays);
            throw;
        },
        EWavStreamError);
    TSoundFileStream cutStream(Path("cut.flac"));
    ASSERT_EQ(cutStream.Size(), uint64_t(wave.Size()));
    uint32_t got = 0;
    const uint8_t* read = cutStream.Next(uint32_t(wave.Size()), got);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(read), got), Contents(wave));
}

// The decoder has read a short file to its end before it meets damage in the middle: the
// damage still fails, and the file cut short still loads.
TEST_F(SoundFileTest, AShortFileTellsDamageFromACutToo)
{
    WriteWithSndfile(Path("short.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, Sine16(440, 0.5, 44100, 1.5, 2));
    const std::string bytes = ReadFile(Path("short.flac"));
    WriteFile(Path("cut.flac"), bytes.substr(0, bytes.size() * 2 / 3));
    WriteFile(Path("damaged.flac"), std::string(bytes).replace(bytes.size() / 2, 4096, std::string(4096, '\0')));
    EXPECT_THROW(LoadSoundFile(wave, Path("damaged.flac")), EWavStreamError);
    EXPECT_THROW(TSoundFileStream(Path("damaged.flac")).Size(), EWavStreamError);
    LoadSoundFile(wave, Path("cut.flac"));
    EXPECT_GT(wave.Size(), 44100 * 2);
}

// A header's length only sizes the first room: a second of sound whose header claims 2^36 - 1
// frames loads as the second it holds.
TEST_F(SoundFileTest, AHeaderThatClaimsAnEndlessSoundLoadsWhatTheFileHolds)
{
    WriteWithSndfile(Path("claims.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, 1, Sine16(440, 0.5, 8000, 1.0, 1));
    std::string bytes = ReadFile(Path("claims.flac"));
    // The stream information's 36-bit count of samples ends at byte 26.
    bytes[21] = char(bytes[21] | 0x0F);
    bytes.replace(22, 4, "\xff\xff\xff\xff");
    WriteFile(Path("claims.flac"), bytes);
    LoadSoundFile(wave, Path("claims.flac"));
    EXPECT_EQ(wave.Size(), 16000);
}

// Whether a file is opened by its name is decided by that file alone: another thread's open
// that fails meanwhile changes nothing.
TEST_F(SoundFileTest, AnotherThreadsFailureDoesNotDecideHowAFileOpens)
{
    const std::string mp3 = Path("late.mp3"), bad = Path("bad.aiff");
    WriteWithSndfile(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 22050, 1, Sine16(440, 0.5, 22050, 0.05, 1));
    WriteFile(mp3, std::string(3000, 'j') + ReadFile(mp3));
    WriteFile(bad, "FORM" + std::string(4, '\xff') + "AIFFCOMM" + std::string(30, '\xff'));
    const auto opens = [](const std::string& name) {
        try {
            TSoundFileStream opened(name);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };
    std::atomic<bool> done{false};
    std::thread failing([&] {
        while (!done)
            opens(bad);
    });
    int failed = 0;
    for (int i = 0; i < 500; ++i)
        failed += !opens(mp3);
    done = true;
    failing.join();
    EXPECT_EQ(failed, 0);
}

// 1024 channels at 3 MHz are more bytes a second than the format record counts: it shows the
// most it can hold, not what is left after a wrap.
TEST_F(SoundFileTest, BytesPerSecondBeyondTheRecordShowAsItsLargest)
{
    WriteWithSndfile(dir.FilePath("wide.caf"), SF_FORMAT_CAF | SF_FORMAT_PCM_16, 3'000'000, 1024,
                     std::vector<int16_t>(1024 * 4, 0));
    LoadSoundFile(wave, Path("wide.caf"));
    EXPECT_EQ(wave.Format.nBlockAlign, 2048);
    EXPECT_EQ(wave.Format.nAvgBytesPerSec, UINT32_MAX);
}

}
