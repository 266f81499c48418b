#include "platform/WaveDevices.h"
#include "platform/SdlWaveDriver.h"
#include "platform/WaveDriver.h"
#include "support/QtFiles.h"
#include "support/WaveTesting.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <list>
#include <unistd.h>

// The SDL2 driver through SDL's disk driver: played bytes land in a file, captured bytes
// come from one. Each test starts SDL afresh with its own files.
namespace {

const WAVEFORMATEX Taunt = TauntFormat;

class SdlDiskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        environment.Set("SDL_AUDIODRIVER", "disk");
        environment.Set("SDL_DISKAUDIOFILE", OutFile().toUtf8());
        environment.Set("SDL_DISKAUDIOFILEIN", InFile().toUtf8());
        // A millisecond per period: a second of sound passes in about 45 ms, and the file of
        // played bytes, which gets silence whenever nothing plays, stays small.
        environment.Set("SDL_DISKAUDIODELAY", "1");
        // The file is complete only once SDL has closed it: devices close at once here.
        SetSdlKeepTime(std::chrono::milliseconds(0));
        SetWaveDriver(nullptr);
    }
    void TearDown() override
    {
        SetWaveDriver(nullptr);
        SetSdlKeepTime(keep);
    }
    QString OutFile() const { return dir.filePath("played.raw"); }
    QString InFile() const { return dir.filePath("heard.raw"); }

    HWAVEOUT OpenOutput(const WAVEFORMATEX& format = Taunt) { return ::OpenOutput(&window, format); }
    HWAVEIN OpenInput() { return ::OpenInput(&window); }
    TestBuffer& Write(HWAVEOUT handle, const QByteArray& bytes)
    {
        TestBuffer& buffer = buffers.emplace_back(bytes);
        PrepareAndWrite(handle, buffer);
        return buffer;
    }
    TestBuffer& Add(HWAVEIN handle, size_t size)
    {
        TestBuffer& buffer = buffers.emplace_back(size);
        PrepareAndAdd(handle, buffer);
        return buffer;
    }
    // Each buffer came back exactly once, and only on this thread.
    void ExpectEachBackOnce()
    {
        EXPECT_EQ(window.Messages.size(), buffers.size());
        for (const TestBuffer& buffer : buffers)
            EXPECT_EQ(window.CountOf(&buffer.Header), 1);
        EXPECT_FALSE(window.OffThread);
    }

    const std::chrono::milliseconds keep = SdlKeepTime();
    QTemporaryDir dir;
    ScopedEnvironment environment;
    NoticeWindow window;
    std::list<TestBuffer> buffers;
};

TEST_F(SdlDiskTest, PlaysEveryByteInOrderAndReturnsEachBufferWhenTaken)
{
    const HWAVEOUT handle = OpenOutput();
    const QByteArray sound = Pattern(9000);
    Write(handle, sound.left(4000));
    Write(handle, sound.mid(4000, 1));
    Write(handle, QByteArray());
    Write(handle, sound.mid(4001));
    ASSERT_TRUE(window.WaitFor(4));
    std::vector<WAVEHDR*> order;
    for (TestBuffer& buffer : buffers)
        order.push_back(&buffer.Header);
    EXPECT_EQ(window.Headers(), order);
    EXPECT_EQ(window.Messages[0].Msg, MM_WOM_DONE);
    EXPECT_EQ(window.Messages[0].WParam, reinterpret_cast<WPARAM>(handle));
    ASSERT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    ExpectEachBackOnce();
    ExpectSoundAmidSilence(ReadFile(OutFile()), sound);
}

TEST_F(SdlDiskTest, PlaysWideFormatsAsTheyStand)
{
    const WAVEFORMATEX stereo16{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    const HWAVEOUT handle = OpenOutput(stereo16);
    const QByteArray sound = Pattern(4000 * 4, 7);
    Write(handle, sound);
    ASSERT_TRUE(window.WaitFor(1));
    ASSERT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    const QByteArray file = ReadFile(OutFile());
    const qsizetype at = file.indexOf(sound);
    ASSERT_GE(at, 0);
    EXPECT_EQ(file.left(at).count('\0'), at) << "16-bit silence is zero";
}

TEST_F(SdlDiskTest, CapturesTheInputExactlyAndThenSilence)
{
    const QByteArray heard = Pattern(5000, 3);
    WriteFile(InFile(), heard);
    const HWAVEIN handle = OpenInput();
    for (int i = 0; i < 3; ++i)
        Add(handle, 2048);
    window.Deliver();
    EXPECT_TRUE(window.Messages.empty());
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(window.WaitFor(3));
    QByteArray captured;
    for (const TestBuffer& buffer : buffers) {
        EXPECT_EQ(buffer.Header.dwBytesRecorded, 2048u);
        captured += buffer.Recorded();
    }
    EXPECT_EQ(captured, heard + QByteArray(6144 - 5000, '\x80'));
    EXPECT_EQ(window.Messages[0].Msg, MM_WIM_DATA);
    EXPECT_EQ(window.Messages[0].WParam, reinterpret_cast<WPARAM>(handle));
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    ExpectEachBackOnce();
}

TEST_F(SdlDiskTest, ResetAndCloseReturnEveryBufferOnceWhilePlaying)
{
    const HWAVEOUT handle = OpenOutput();
    QByteArray sound;
    for (int i = 0; i < 12; ++i)
        sound += Write(handle, Pattern(65536, i + 1)).Bytes;
    ASSERT_TRUE(window.WaitFor(1));
    ASSERT_EQ(waveOutReset(handle), MMSYSERR_NOERROR);
    window.Deliver();
    ExpectEachBackOnce();

    for (int i = 0; i < 12; ++i)
        Write(handle, Pattern(8192, i + 20));
    ASSERT_TRUE(window.WaitFor(13));
    ASSERT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    ExpectEachBackOnce();

    // Before the next sound, the first played up to the reset and then silence: nothing
    // handed back plays again.
    const QByteArray file = ReadFile(OutFile());
    const qsizetype next = file.indexOf(Pattern(8192, 20));
    ASSERT_GE(next, 0);
    QByteArray played = file.left(next);
    while (played.endsWith('\x80'))
        played.chop(1);
    while (played.startsWith('\x80'))
        played.remove(0, 1);
    EXPECT_TRUE(sound.startsWith(played));
    EXPECT_LT(played.size(), sound.size()) << "the reset came before the end";
}

TEST_F(SdlDiskTest, ResetReturnsTheCaptureBuffersWithWhatTheyCaught)
{
    // Buffers of an odd size: the reset finds one partly filled, and only that one holds bytes.
    const QByteArray heard = Pattern(200000, 5);
    WriteFile(InFile(), heard);
    const HWAVEIN handle = OpenInput();
    for (int i = 0; i < 64; ++i)
        Add(handle, 3001);
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(window.WaitFor(1));
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    window.Deliver();
    ExpectEachBackOnce();
    QByteArray captured;
    for (const TestBuffer& buffer : buffers)
        captured += buffer.Recorded();
    EXPECT_GE(captured.size(), 3001);
    EXPECT_EQ(captured, heard.left(captured.size())) << "the buffers hold the first bytes heard, in order";

    Add(handle, 100);
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    ExpectEachBackOnce();
    EXPECT_EQ(buffers.back().Header.dwBytesRecorded, 0u) << "capture stopped with the reset";
}

TEST_F(SdlDiskTest, RefusesFormatsItCannotPlay)
{
    const WAVEFORMATEX refused[] = {
        {2, 1, 22050, 11155, 512, 4, 32},  // MS ADPCM
        {WAVE_FORMAT_PCM, 1, 22050, 66150, 3, 24, 0},  // 24-bit
        {WAVE_FORMAT_PCM, 9, 22050, 198450, 9, 8, 0},  // nine channels
        {WAVE_FORMAT_PCM, 2, 22050, 22050, 1, 8, 0},  // block of one byte for two channels
        {WAVE_FORMAT_PCM, 1, 0, 0, 1, 8, 0},  // no rate
        {WAVE_FORMAT_IEEE_FLOAT, 1, 22050, 44100, 2, 16, 0},
    };
    for (const WAVEFORMATEX& format : refused) {
        HWAVEOUT handle = reinterpret_cast<HWAVEOUT>(1);
        EXPECT_EQ(waveOutOpen(&handle, 0, &format, &window, 0, CALLBACK_WINDOW), WAVERR_BADFORMAT)
            << format.wFormatTag << " " << format.nChannels << " " << format.wBitsPerSample;
        EXPECT_EQ(handle, nullptr);
    }
    WriteFile(InFile(), QByteArray());
    const WAVEFORMATEX accepted[] = {
        {WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 384000, 8, 32, 0},
        {WAVE_FORMAT_PCM, 1, 8000, 32000, 4, 32, 0},
    };
    for (const WAVEFORMATEX& format : accepted) {
        HWAVEIN handle = nullptr;
        EXPECT_EQ(waveInOpen(&handle, 0, &format, &window, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
        EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    }
}

TEST_F(SdlDiskTest, NoSoundSystemMeansNoDriver)
{
    environment.Set("SDL_AUDIODRIVER", "no-such-sound-system");
    SetWaveDriver(nullptr);
    HWAVEOUT output = nullptr;
    EXPECT_EQ(waveOutOpen(&output, WAVE_MAPPER, &Taunt, &window, 0, CALLBACK_WINDOW), MMSYSERR_NODRIVER);
    HWAVEIN input = nullptr;
    EXPECT_EQ(waveInOpen(&input, 0, &Taunt, &window, 0, CALLBACK_WINDOW), MMSYSERR_NODRIVER);
}

// The session's sound server is expected (its address is named) and away: left to choose, SDL
// would fall back to ALSA, whose opens fail with other codes and print to the terminal.
TEST_F(SdlDiskTest, WithTheDesktopServerAwayThereIsNoDriverAndNothingOnTheTerminal)
{
    environment.Set("SDL_AUDIODRIVER", "");
    environment.Set("PULSE_SERVER", ("unix:" + dir.filePath("gone")).toUtf8());
    environment.Set("XDG_RUNTIME_DIR", dir.path().toUtf8());
    SetWaveDriver(nullptr);
    const QString said = dir.filePath("stderr");
    const int saved = dup(STDERR_FILENO);
    const int file = open(said.toUtf8().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, STDERR_FILENO);
    close(file);
    HWAVEOUT output = nullptr;
    const MMRESULT played = waveOutOpen(&output, WAVE_MAPPER, &Taunt, &window, 0, CALLBACK_WINDOW);
    HWAVEIN input = nullptr;
    const MMRESULT recorded = waveInOpen(&input, 0, &Taunt, &window, 0, CALLBACK_WINDOW);
    dup2(saved, STDERR_FILENO);
    close(saved);
    EXPECT_EQ(played, MMSYSERR_NODRIVER);
    EXPECT_EQ(recorded, MMSYSERR_NODRIVER);
    EXPECT_EQ(ReadFile(said), QByteArray());
}

}  // namespace
