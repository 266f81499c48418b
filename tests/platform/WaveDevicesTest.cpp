#include "platform/WaveDevices.h"
#include "support/WaveTesting.h"
#include "support/ScriptedWaveDriver.h"

#include <gtest/gtest.h>

namespace {

constexpr UINT HeaderSize = sizeof(WAVEHDR);
const WAVEFORMATEX Taunt = TauntFormat;

class WaveDevicesTest : public ::testing::Test {
protected:
    HWAVEOUT OpenOutput() { return ::OpenOutput(&window); }
    HWAVEIN OpenInput() { return ::OpenInput(&window); }
    void Write(HWAVEOUT handle, TestBuffer& buffer) { PrepareAndWrite(handle, buffer); }
    void Add(HWAVEIN handle, TestBuffer& buffer) { PrepareAndAdd(handle, buffer); }

    ScriptedWaveDriver driver;
    NoticeWindow window;
};

TEST_F(WaveDevicesTest, OpenChecksItsArgumentsBeforeTheDriverSeesThem)
{
    HWAVEOUT handle = reinterpret_cast<HWAVEOUT>(1);
    EXPECT_EQ(waveOutOpen(nullptr, 0, &Taunt, &window, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&handle, 0, nullptr, &window, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(handle, nullptr) << "a failed open leaves no handle behind";
    EXPECT_EQ(waveOutOpen(&handle, 0, &Taunt, nullptr, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&handle, 0, &Taunt, &window, 0, 0), MMSYSERR_INVALFLAG) << "notices need a window";
    EXPECT_EQ(waveOutOpen(&handle, 0, &Taunt, &window, 0, 0x30000), MMSYSERR_INVALFLAG) << "function callbacks";
    EXPECT_EQ(waveOutOpen(&handle, 0, &Taunt, &window, 0, CALLBACK_WINDOW | 0x1), MMSYSERR_INVALFLAG);
    EXPECT_EQ(waveOutOpen(&handle, 1, &Taunt, &window, 0, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
    HWAVEIN input = nullptr;
    EXPECT_EQ(waveInOpen(&input, 7, &Taunt, &window, 0, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
    EXPECT_TRUE(driver.Calls.empty());

    driver.OutputDevices = 0;
    EXPECT_EQ(waveOutOpen(&handle, WAVE_MAPPER, &Taunt, &window, 0, CALLBACK_WINDOW), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveOutOpen(&handle, 0, &Taunt, &window, 0, CALLBACK_WINDOW), MMSYSERR_NODRIVER);
}

TEST_F(WaveDevicesTest, TheDriverGetsDeviceFlagsAndFormatAndItsRefusalIsTheResult)
{
    WAVEFORMATEX adpcm{2, 1, 22050, 11155, 512, 4, 32};
    HWAVEOUT handle = nullptr;
    ASSERT_EQ(waveOutOpen(&handle, 0, &adpcm, &window, 0, CALLBACK_WINDOW | WAVE_MAPPED), MMSYSERR_NOERROR);
    ASSERT_NE(handle, nullptr);
    const auto& device = *driver.Devices.at(0);
    EXPECT_EQ(device.DeviceId, 0u);
    EXPECT_EQ(device.Flags, CALLBACK_WINDOW | WAVE_MAPPED);
    EXPECT_EQ(device.Format.wFormatTag, 2);
    EXPECT_EQ(device.Format.cbSize, 32) << "the record is passed as it stands";

    driver.Plan("waveOutOpen", WAVERR_BADFORMAT);
    HWAVEOUT refused = reinterpret_cast<HWAVEOUT>(1);
    EXPECT_EQ(waveOutOpen(&refused, 0, &Taunt, &window, 0, CALLBACK_WINDOW), WAVERR_BADFORMAT);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(driver.Devices.size(), 1u);
    EXPECT_EQ(driver.Devices.at(0)->DeviceId, 0u);
}

TEST_F(WaveDevicesTest, HandlesAreCheckedAndNeverComeBackToLife)
{
    TestBuffer buffer(QByteArray("abc"));
    EXPECT_EQ(waveOutWrite(nullptr, &buffer.Header, HeaderSize), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutReset(reinterpret_cast<HWAVEOUT>(0x1234)), MMSYSERR_INVALHANDLE);

    const HWAVEOUT first = OpenOutput();
    const HWAVEIN input = OpenInput();
    // An input handle is no output device, and the other way round.
    EXPECT_EQ(waveOutReset(reinterpret_cast<HWAVEOUT>(input)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStart(reinterpret_cast<HWAVEIN>(first)), MMSYSERR_INVALHANDLE);

    EXPECT_EQ(waveOutClose(first), MMSYSERR_NOERROR);
    const HWAVEOUT second = OpenOutput();
    EXPECT_NE(second, first) << "a closed handle is not handed out again";
    for (auto call : {waveOutPrepareHeader, waveOutWrite, waveOutUnprepareHeader})
        EXPECT_EQ(call(first, &buffer.Header, HeaderSize), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutReset(first), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutClose(first), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(input), MMSYSERR_NOERROR);
    for (auto call : {waveInPrepareHeader, waveInAddBuffer, waveInUnprepareHeader})
        EXPECT_EQ(call(input, &buffer.Header, HeaderSize), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStart(input), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInReset(input), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(input), MMSYSERR_INVALHANDLE);
}

TEST_F(WaveDevicesTest, HeadersMustBePreparedAndQueuedOnlyOnce)
{
    const HWAVEOUT handle = OpenOutput();
    TestBuffer buffer(QByteArray("samples"));
    EXPECT_EQ(waveOutWrite(handle, &buffer.Header, HeaderSize), WAVERR_UNPREPARED);
    EXPECT_EQ(waveOutPrepareHeader(handle, &buffer.Header, HeaderSize - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutPrepareHeader(handle, nullptr, HeaderSize), MMSYSERR_INVALPARAM);
    TestBuffer noData(QByteArray("x"));
    noData.Header.lpData = nullptr;
    EXPECT_EQ(waveOutPrepareHeader(handle, &noData.Header, HeaderSize), MMSYSERR_INVALPARAM);

    ASSERT_EQ(waveOutPrepareHeader(handle, &buffer.Header, HeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.Header.dwFlags, WHDR_PREPARED);
    ASSERT_EQ(waveOutWrite(handle, &buffer.Header, HeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.Header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    EXPECT_EQ(waveOutWrite(handle, &buffer.Header, HeaderSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutUnprepareHeader(handle, &buffer.Header, HeaderSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(driver.Written(), QByteArray("samples")) << "the refused second write added nothing";

    driver.CompleteOutput();
    EXPECT_EQ(buffer.Header.dwFlags, WHDR_PREPARED | WHDR_DONE);
    EXPECT_EQ(waveOutUnprepareHeader(handle, &buffer.Header, HeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.Header.dwFlags, WHDR_DONE);
    EXPECT_EQ(driver.CallNames(),
              QStringList({"waveOutOpen", "waveOutPrepareHeader", "waveOutWrite", "waveOutUnprepareHeader"}));
    window.Deliver();
}

TEST_F(WaveDevicesTest, AFailedWriteKeepsNoHoldOnTheBuffer)
{
    const HWAVEOUT handle = OpenOutput();
    TestBuffer buffer(QByteArray("abc"));
    ASSERT_EQ(waveOutPrepareHeader(handle, &buffer.Header, HeaderSize), MMSYSERR_NOERROR);
    driver.Plan("waveOutWrite", MMSYSERR_NOMEM);
    EXPECT_EQ(waveOutWrite(handle, &buffer.Header, HeaderSize), MMSYSERR_NOMEM);
    EXPECT_EQ(buffer.Header.dwFlags, WHDR_PREPARED);
    EXPECT_EQ(waveOutUnprepareHeader(handle, &buffer.Header, HeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    EXPECT_TRUE(window.Messages.empty()) << "a buffer the device never took does not come back";
}

TEST_F(WaveDevicesTest, EveryBufferComesBackOnceThroughPlayResetCloseAndReopen)
{
    HWAVEOUT handle = OpenOutput();
    TestBuffer a(QByteArray("a")), b(QByteArray("bb")), c(QByteArray("ccc")), d(QByteArray("dddd"));
    Write(handle, a);
    Write(handle, b);
    Write(handle, c);
    EXPECT_EQ(driver.CompleteOutput(1), 1u);
    EXPECT_TRUE(window.Messages.empty()) << "notices wait for the event loop";
    window.Deliver();
    ASSERT_EQ(window.Messages.size(), 1u);
    EXPECT_EQ(window.Messages[0].Msg, MM_WOM_DONE);
    EXPECT_EQ(window.Messages[0].WParam, reinterpret_cast<WPARAM>(handle));
    EXPECT_EQ(window.Headers(), std::vector<WAVEHDR*>({&a.Header}));

    ASSERT_EQ(waveOutReset(handle), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutReset(handle), MMSYSERR_NOERROR);
    window.Deliver();
    EXPECT_EQ(window.Headers(), std::vector<WAVEHDR*>({&a.Header, &b.Header, &c.Header}));

    // The device keeps working after a reset; closing returns what is still queued.
    ASSERT_EQ(waveOutUnprepareHeader(handle, &b.Header, HeaderSize), MMSYSERR_NOERROR);
    Write(handle, b);
    Write(handle, d);
    ASSERT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    handle = OpenOutput();
    ASSERT_EQ(waveOutUnprepareHeader(handle, &a.Header, HeaderSize), MMSYSERR_NOERROR);
    Write(handle, a);
    driver.CompleteOutput();
    // A device reporting a buffer a second time, or one it was never given, changes nothing.
    driver.NewestOpen(TWaveDirection::Output)->Done->BufferDone(&a.Header);
    driver.NewestOpen(TWaveDirection::Output)->Done->BufferDone(&c.Header);
    window.Deliver();
    EXPECT_EQ(window.Headers(),
              std::vector<WAVEHDR*>({&a.Header, &b.Header, &c.Header, &b.Header, &d.Header, &a.Header}));
    EXPECT_EQ(window.Messages.back().WParam, reinterpret_cast<WPARAM>(handle));
    EXPECT_FALSE(window.OffThread);
    EXPECT_EQ(driver.Written(), QByteArray("abbcccbbdddda"));
    waveOutClose(handle);
}

TEST_F(WaveDevicesTest, BuffersAreReturnedEvenWhenTheDeviceFailsToLetGo)
{
    const HWAVEOUT handle = OpenOutput();
    TestBuffer a(QByteArray("a")), b(QByteArray("b"));
    Write(handle, a);
    Write(handle, b);
    driver.Plan("waveOutReset", MMSYSERR_ERROR);
    EXPECT_EQ(waveOutReset(handle), MMSYSERR_ERROR);
    window.Deliver();
    EXPECT_TRUE(window.Messages.empty()) << "a failed reset keeps the queue playing";

    driver.Plan("waveOutClose", MMSYSERR_ERROR);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_ERROR);
    TestBuffer c(QByteArray("c"));
    Write(handle, c);  // still open

    // Replacing the driver closes what is open on it; its buffers come back all the same.
    ScriptedWaveDriver next;
    window.Deliver();
    EXPECT_EQ(window.Headers(), std::vector<WAVEHDR*>({&a.Header, &b.Header, &c.Header}));
    EXPECT_EQ(waveOutReset(handle), MMSYSERR_INVALHANDLE);
}

TEST_F(WaveDevicesTest, CaptureFillsBuffersInOrderOnlyOnceStarted)
{
    const HWAVEIN handle = OpenInput();
    TestBuffer first(4), second(4), third(4);
    EXPECT_EQ(waveInAddBuffer(handle, &first.Header, HeaderSize), WAVERR_UNPREPARED);
    Add(handle, first);
    Add(handle, second);
    EXPECT_EQ(waveInAddBuffer(handle, &first.Header, HeaderSize), WAVERR_STILLPLAYING);
    driver.Feed("0123456789");
    window.Deliver();
    EXPECT_TRUE(window.Messages.empty()) << "nothing is captured before the start";

    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    window.Deliver();
    ASSERT_EQ(window.Headers(), std::vector<WAVEHDR*>({&first.Header, &second.Header}));
    EXPECT_EQ(window.Messages[0].Msg, MM_WIM_DATA);
    EXPECT_EQ(window.Messages[0].WParam, reinterpret_cast<WPARAM>(handle));
    EXPECT_EQ(first.Recorded(), QByteArray("0123"));
    EXPECT_EQ(second.Recorded(), QByteArray("4567"));
    EXPECT_EQ(first.Header.dwFlags, WHDR_PREPARED | WHDR_DONE);

    // The buffer being filled comes back with what it holds, the ones behind it empty.
    Add(handle, third);
    ASSERT_EQ(waveInUnprepareHeader(handle, &first.Header, HeaderSize), MMSYSERR_NOERROR);
    Add(handle, first);
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    window.Deliver();
    ASSERT_EQ(window.Messages.size(), 4u);
    EXPECT_EQ(third.Recorded(), QByteArray("89"));
    EXPECT_EQ(first.Header.dwBytesRecorded, 0u);

    // After a reset capture waits for the next start.
    ASSERT_EQ(waveInUnprepareHeader(handle, &first.Header, HeaderSize), MMSYSERR_NOERROR);
    Add(handle, first);
    driver.Feed("abcd");
    window.Deliver();
    EXPECT_EQ(window.Messages.size(), 4u);
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    EXPECT_EQ(window.CountOf(&first.Header), 3);
    EXPECT_EQ(first.Recorded(), QByteArray("abcd"));
    EXPECT_FALSE(window.OffThread);
}

TEST_F(WaveDevicesTest, CloseReturnsCaptureBuffersWithWhatTheyHold)
{
    const HWAVEIN handle = OpenInput();
    TestBuffer first(8), second(8);
    Add(handle, first);
    Add(handle, second);
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    driver.Feed("xyz");
    EXPECT_EQ(driver.CompleteInput(1), 1u) << "a device may hand back a buffer before it is full";
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    EXPECT_EQ(window.Headers(), std::vector<WAVEHDR*>({&first.Header, &second.Header}));
    EXPECT_EQ(first.Recorded(), QByteArray("xyz"));
    EXPECT_EQ(second.Header.dwBytesRecorded, 0u);
    EXPECT_EQ(driver.CallNames(),
              QStringList({"waveInOpen", "waveInPrepareHeader", "waveInAddBuffer", "waveInPrepareHeader",
                           "waveInAddBuffer", "waveInStart", "waveInClose"}));
}

TEST(ScriptedWaveDriverTest, RefusesToPlanACallThatDoesNotExist)
{
    ScriptedWaveDriver driver;
    EXPECT_THROW(driver.Plan("waveOutStart", 1), std::invalid_argument);
    EXPECT_NO_THROW(driver.Plan("waveInStart", 1));
}

}  // namespace
