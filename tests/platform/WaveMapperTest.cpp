#include "platform/WaveDevices.h"
#include "support/AcmRun.h"
#include "support/QtFiles.h"
#include "support/ScriptedWaveDriver.h"
#include "support/Signal.h"
#include "support/WaveTesting.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <list>
#include <sndfile.h>

// The wave mapper in front of a device that takes 16-bit PCM and nothing else.
namespace {

constexpr UINT HeaderSize = sizeof(WAVEHDR);
const WAVEFORMATEX Stereo24{WAVE_FORMAT_PCM, 2, 22050, 22050 * 6, 6, 24, 0};

class WaveMapperTest : public ::testing::Test {
protected:
    WaveMapperTest()
    {
        driver.Takes = [](const WAVEFORMATEX& f) { return f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16; };
    }

    HWAVEOUT OpenMapped(const std::string& format)
    {
        HWAVEOUT handle = nullptr;
        EXPECT_EQ(waveOutOpen(&handle, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX*>(format.data()), &window, 0,
                              CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
        return handle;
    }
    // Writes the sound in pieces of these sizes (the rest last).
    void WriteInPieces(HWAVEOUT handle, const QByteArray& sound, std::initializer_list<int> sizes)
    {
        qsizetype at = 0;
        for (int size : sizes) {
            PrepareAndWrite(handle, buffers.emplace_back(sound.mid(at, size)));
            at += size;
        }
        PrepareAndWrite(handle, buffers.emplace_back(sound.mid(at)));
    }
    std::vector<WAVEHDR*> Callers()
    {
        std::vector<WAVEHDR*> headers;
        for (TestBuffer& buffer : buffers)
            headers.push_back(&buffer.Header);
        return headers;
    }

    // The driver goes first: it returns what is still queued to a window and buffers that live.
    NoticeWindow window;
    std::list<TestBuffer> buffers;
    ScriptedWaveDriver driver;
};

TEST_F(WaveMapperTest, PlaysARefusedFormatConvertedWholeAndReturnsOnlyTheCallersHeaders)
{
    const std::string sound = Bytes(Sine16(440, 0.6, 22050, 0.2, 3)).substr(0, 6 * 3000);  // 6 bytes a frame
    const HWAVEOUT handle = OpenMapped(Record(Stereo24));
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(driver.Devices.size(), 1u);
    const WAVEFORMATEX& played = driver.Devices[0]->Format;
    EXPECT_EQ(played.wBitsPerSample, 16);
    EXPECT_EQ(played.nChannels, 2);
    EXPECT_EQ(played.nSamplesPerSec, 22050u);

    // Pieces that split frames, a piece smaller than a frame, and an empty one.
    WriteInPieces(handle, ToQt(sound), {4001, 1, 0, 5, 7000});
    const AcmRun whole = ConvertBlock(Record(Stereo24), played, sound);
    ASSERT_EQ(whole.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(driver.Written(),
              QByteArray(reinterpret_cast<const char*>(whole.Output.data()), qsizetype(whole.Output.size())));

    EXPECT_TRUE(window.Messages.empty()) << "nothing is done before the device says so";
    driver.CompleteOutput(2);
    window.Deliver();
    const std::vector<WAVEHDR*> callers = Callers();
    EXPECT_EQ(window.Headers(), std::vector<WAVEHDR*>(callers.begin(), callers.begin() + 2));
    driver.CompleteOutput();
    window.Deliver();
    EXPECT_EQ(window.Headers(), Callers()) << "each caller's header once, in order, and no other";
    EXPECT_EQ(window.Messages[0].WParam, reinterpret_cast<WPARAM>(handle));
    for (TestBuffer& buffer : buffers) {
        EXPECT_EQ(buffer.Header.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
        EXPECT_EQ(waveOutUnprepareHeader(handle, &buffer.Header, HeaderSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    EXPECT_EQ(window.Messages.size(), buffers.size());
}

TEST_F(WaveMapperTest, AdpcmBlocksSplitAcrossWritesPlayAsOne)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ima.wav");
    WriteWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 22050, 1, Sine16(300, 0.5, 22050, 0.3, 1));
    const WavParts parts = SplitWav(ToStd(ReadFile(path)));
    const WAVEFORMATEX& format = *reinterpret_cast<const WAVEFORMATEX*>(parts.Fmt.data());
    ASSERT_EQ(format.wFormatTag, 0x11);
    const std::string sound = parts.Data.substr(0, parts.Data.size() / format.nBlockAlign * format.nBlockAlign);

    const HWAVEOUT handle = OpenMapped(parts.Fmt);
    ASSERT_NE(handle, nullptr);
    WriteInPieces(handle, ToQt(sound), {format.nBlockAlign / 2, format.nBlockAlign, 3});
    const AcmRun whole = ConvertBlock(parts.Fmt, driver.Devices[0]->Format, sound);
    ASSERT_EQ(whole.Result, MMSYSERR_NOERROR);
    ASSERT_GT(whole.Output.size(), 1000u);
    EXPECT_EQ(driver.Written(),
              QByteArray(reinterpret_cast<const char*>(whole.Output.data()), qsizetype(whole.Output.size())));
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    EXPECT_EQ(window.Headers(), Callers());
}

TEST_F(WaveMapperTest, ABlockTheDeviceRefusesLeavesEverythingAsItWas)
{
    const QByteArray sound = Pattern(6 * 500, 9);
    const HWAVEOUT handle = OpenMapped(Record(Stereo24));
    PrepareAndWrite(handle, buffers.emplace_back(sound.left(1000)));  // 4 bytes carried over

    TestBuffer& refused = buffers.emplace_back(sound.mid(1000, 1000));
    ASSERT_EQ(waveOutPrepareHeader(handle, &refused.Header, HeaderSize), MMSYSERR_NOERROR);
    // Refused, and failing to allocate inside: both leave it as it was.
    driver.Plan("waveOutWrite", MMSYSERR_NOMEM);
    driver.Plan("waveOutWrite", ScriptedWaveDriver::Throws);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(waveOutWrite(handle, &refused.Header, HeaderSize), MMSYSERR_NOMEM);
        EXPECT_EQ(refused.Header.dwFlags & WHDR_INQUEUE, 0u);
    }
    ASSERT_EQ(waveOutWrite(handle, &refused.Header, HeaderSize), MMSYSERR_NOERROR) << "written again";
    PrepareAndWrite(handle, buffers.emplace_back(sound.mid(2000)));

    const AcmRun whole = ConvertBlock(Record(Stereo24), driver.Devices[0]->Format, ToStd(sound));
    EXPECT_EQ(driver.Written(),
              QByteArray(reinterpret_cast<const char*>(whole.Output.data()), qsizetype(whole.Output.size())));
    EXPECT_EQ(waveOutReset(handle), MMSYSERR_NOERROR);
    window.Deliver();
    EXPECT_EQ(window.Headers(), Callers()) << "the refused write sent no notice of its own";

    // A reset drops the incomplete frame: what follows starts on a frame of its own.
    const QByteArray after = sound.left(600);
    const qsizetype before = driver.Written().size();
    WriteInPieces(handle, after, {1});
    EXPECT_EQ(driver.Written().mid(before).size(), 600 / 6 * 4);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
}

TEST_F(WaveMapperTest, WithoutTheMapperOrWithoutAConversionTheRefusalStands)
{
    HWAVEOUT handle = reinterpret_cast<HWAVEOUT>(1);
    EXPECT_EQ(waveOutOpen(&handle, 0, &Stereo24, &window, 0, CALLBACK_WINDOW), WAVERR_BADFORMAT);
    EXPECT_EQ(driver.CallNames(), QStringList{"waveOutOpen"}) << "opening without the mapper is left alone";
    EXPECT_EQ(handle, nullptr);

    const WAVEFORMATEX mp3{0x55, 2, 44100, 16000, 1, 0, 0};
    driver.Calls.clear();
    EXPECT_EQ(waveOutOpen(&handle, 0, &mp3, &window, 0, CALLBACK_WINDOW | WAVE_MAPPED), WAVERR_BADFORMAT);
    EXPECT_EQ(driver.CallNames(), QStringList{"waveOutOpen"}) << "nothing converts it, so no other format is tried";

    driver.Takes = [](const WAVEFORMATEX&) { return false; };
    EXPECT_EQ(waveOutOpen(&handle, 0, &Stereo24, &window, 0, CALLBACK_WINDOW | WAVE_MAPPED), WAVERR_BADFORMAT);
    driver.Takes = nullptr;
    // An open that fails to allocate leaves no conversion stream behind (the leak check sees it).
    driver.Plan("waveOutOpen", WAVERR_BADFORMAT);
    driver.Plan("waveOutOpen", ScriptedWaveDriver::Throws);
    EXPECT_EQ(waveOutOpen(&handle, WAVE_MAPPER, &Stereo24, &window, 0, CALLBACK_WINDOW), MMSYSERR_NOMEM);
    EXPECT_EQ(handle, nullptr);
    driver.Plan("waveOutOpen", WAVERR_BADFORMAT);
    driver.Plan("waveOutOpen", MMSYSERR_ALLOCATED);
    EXPECT_EQ(waveOutOpen(&handle, WAVE_MAPPER, &Stereo24, &window, 0, CALLBACK_WINDOW), MMSYSERR_ALLOCATED)
        << "a busy device is reported as busy";
    EXPECT_TRUE(driver.Devices.empty());
    EXPECT_EQ(handle, nullptr);
}

}  // namespace
