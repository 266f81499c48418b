#include "platform/SdlStream.h"
#include "platform/SdlWaveDriver.h"
#include "platform/WaveDevices.h"
#include "support/SoundServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>
#include <cstdio>
#include <cstdlib>

// A closed output device is kept for the next open of its format, and really closed when it
// has been idle a while, when another format is asked for, and when the program ends. What
// the test server sees proves it: one stream each SDL device keeps open.
namespace {

// In the program that exits with a device kept: registered before the wave devices' state
// exists, so it runs after that state has been torn down, as the very last clean-up.
void FailIfADeviceIsOpen()
{
    if (SdlOpenDevices() != 0) {
        std::fputs("an SDL device was still open at exit\n", stderr);
        std::_Exit(3);
    }
}
const bool CheckedAtExit =
    qEnvironmentVariableIsSet("JEERBOX_EXIT_WITH_KEPT_DEVICE") && std::atexit(FailIfADeviceIsOpen) == 0;

class SoundServerKeptDeviceTest : public SoundServerTest {
protected:
    void TearDown() override
    {
        SoundServerTest::TearDown();
        SetSdlKeepTime(keep);
    }
    // Opens, plays a moment of sound, closes; the notices are handled.
    void PlayOnce(const WAVEFORMATEX& format, bool silent = false)
    {
        HWAVEOUT handle = OpenOutput(&window, format);
        TestBuffer buffer(silent ? QByteArray(2205 * format.nBlockAlign, '\0') : Pattern(2205 * format.nBlockAlign));
        PrepareAndWrite(handle, buffer);
        ASSERT_TRUE(window.WaitFor(window.Messages.size() + 1));
        ASSERT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
        window.Deliver();
    }

    const std::chrono::milliseconds keep = SdlKeepTime();
    NoticeWindow window;
};

TEST_F(SoundServerKeptDeviceTest, AClosedDeviceServesTheNextOpenAndClosesWhenIdleOrReplaced)
{
    SetSdlKeepTime(std::chrono::milliseconds(1500));
    const WAVEFORMATEX taunt = TauntFormat;
    PlayOnce(taunt);
    EXPECT_EQ(SdlOpenDevices(), 1);
    const QStringList kept = ServerPlayers();
    ASSERT_EQ(kept.size(), 1) << "the closed device still has its stream";
    PlayOnce(taunt);
    EXPECT_EQ(ServerPlayers(), kept) << "the same stream served the next open";

    const WAVEFORMATEX stereo{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
    PlayOnce(stereo);
    EXPECT_EQ(SdlOpenDevices(), 1) << "the taunt device went when another format came";
    const QStringList replaced = ServerPlayers();
    ASSERT_EQ(replaced.size(), 1);
    EXPECT_NE(replaced, kept);

    EXPECT_TRUE(QTest::qWaitFor([] { return SdlOpenDevices() == 0; }, 5000)) << "idle for longer than kept";
    EXPECT_TRUE(QTest::qWaitFor([] { return ServerPlayers().isEmpty(); }, 3000))
        << ServerPlayers().join(' ').toStdString();

    // The end of the driver, as at program exit, closes what is kept at once.
    SetSdlKeepTime(std::chrono::minutes(1));
    PlayOnce(taunt);
    EXPECT_EQ(SdlOpenDevices(), 1);
    SetWaveDriver(nullptr);
    EXPECT_EQ(SdlOpenDevices(), 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return ServerPlayers().isEmpty(); }, 3000));
}

TEST_F(SoundServerKeptDeviceTest, AChangeOfChannelsAloneOpensANewStream)
{
    SetSdlKeepTime(std::chrono::minutes(1));
    // Silent, since its end may still be playing when the next sound begins and mix with it.
    PlayOnce(WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0}, true);
    const QStringList mono = ServerPlayers();
    ASSERT_EQ(mono.size(), 1);

    // Both channels alike, each sample a whole 8-bit step: the server's mix down to the
    // taunt-format sink gives back exactly `sound`. Played by a mono device it would last
    // twice as long, each byte heard twice.
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    const QByteArray sound = Pattern(4410, 7);
    QByteArray frames;
    for (char byte : sound) {
        const int16_t sample = int16_t((uint8_t(byte) - 128) * 256);
        for (int channel = 0; channel < 2; ++channel)
            frames.append(reinterpret_cast<const char*>(&sample), 2);
    }
    const WAVEFORMATEX stereo{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
    HWAVEOUT handle = OpenOutput(&window, stereo);
    EXPECT_NE(ServerPlayers(), mono) << "a new stream for the new channel count";
    TestBuffer buffer(frames);
    PrepareAndWrite(handle, buffer);
    ASSERT_TRUE(window.WaitFor(window.Messages.size() + 1));
    ExpectHeardAmidSilence(
        monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 5000), sound);
    ASSERT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
}

// Run as a program of its own by the test below: ends with a device kept, and fails its exit
// if that device is still open when the program's last clean-up runs.
TEST_F(SoundServerKeptDeviceTest, ExitingWithAKeptDevice)
{
    if (qEnvironmentVariableIsEmpty("JEERBOX_EXIT_WITH_KEPT_DEVICE"))
        GTEST_SKIP() << "run by ExitClosesAKeptDevice";
    ASSERT_TRUE(CheckedAtExit);
    SetSdlKeepTime(std::chrono::minutes(1));
    PlayOnce(TauntFormat);
    ASSERT_EQ(SdlOpenDevices(), 1);
}

TEST_F(SoundServerKeptDeviceTest, ExitClosesAKeptDevice)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("JEERBOX_EXIT_WITH_KEPT_DEVICE", "1");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=SoundServerKeptDeviceTest.ExitingWithAKeptDevice"});
    ASSERT_TRUE(child.waitForFinished(30000));
    const QByteArray output = child.readAllStandardOutput() + child.readAllStandardError();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

}  // namespace
