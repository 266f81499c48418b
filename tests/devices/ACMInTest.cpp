#include "devices/ACMIn.h"
#include "sound/TauntFormat.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedWaveDriver.h"
#include "support/WaveTesting.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class ACMInTest : public ::testing::Test {
protected:
    ACMInTest()
    {
        in.SetNumBuffers(2);
        in.SetBufferSize(16);
        in.OnBufferFull = [this](TComponent* sender, const void* data, int size) {
            EXPECT_EQ(sender, &in);
            reported.push_back(QByteArray(static_cast<const char*>(data), size));
        };
        taunt.Format = TauntFormat;
    }
    static void Deliver() { QCoreApplication::sendPostedEvents(); }
    QByteArray Reported() const
    {
        QByteArray all;
        for (const QByteArray& bytes : reported)
            all += bytes;
        return all;
    }
    // The message the open raises, or "" when it opens.
    std::string OpenError()
    {
        try {
            in.Open(taunt);
        } catch (const EACMIn& e) {
            return e.what();
        }
        return {};
    }
    ScriptedWaveDriver::Device* Input() { return driver.NewestOpen(TWaveDirection::Input); }

    ScriptedWaveDriver driver;
    ScriptedDialogs dialogs;
    TACMIn in;
    TWaveFormatBlock taunt{};
    std::vector<QByteArray> reported;
};

TEST_F(ACMInTest, OpenQueuesTheRingAndStartsOnTheDefaultDeviceOnce)
{
    in.SetNumBuffers(3);
    in.Open(taunt);
    EXPECT_EQ(driver.CallNames(),
              (QStringList{"waveInOpen", "waveInPrepareHeader", "waveInAddBuffer", "waveInPrepareHeader",
                           "waveInAddBuffer", "waveInPrepareHeader", "waveInAddBuffer", "waveInStart"}));
    ASSERT_NE(Input(), nullptr);
    EXPECT_EQ(Input()->DeviceId, WAVE_MAPPER);
    EXPECT_EQ(Input()->Flags, 0x10000u);
    EXPECT_EQ(in.Headers().size(), 3u);

    // While capturing, a second Open and new sizes change nothing.
    TWaveFormatBlock other = taunt;
    other.Format.nSamplesPerSec = 8000;
    in.Open(other);
    in.SetBufferSize(99);
    in.SetNumBuffers(9);
    EXPECT_EQ(in.BufferSize(), 16u);
    EXPECT_EQ(in.NumBuffers(), 3);
    EXPECT_EQ(in.DeviceFormat().Format.nSamplesPerSec, 22050u);
    EXPECT_EQ(driver.Devices.size(), 1u);
    EXPECT_EQ(in.Headers().size(), 3u);

    in.Close();
    // Counts outside the ring's range and an empty buffer size are not taken.
    in.SetNumBuffers(1);
    in.SetNumBuffers(65);
    in.SetBufferSize(0);
    EXPECT_EQ(in.NumBuffers(), 3);
    EXPECT_EQ(in.BufferSize(), 16u);
    in.SetNumBuffers(64);
    EXPECT_EQ(in.NumBuffers(), 64);
}

TEST_F(ACMInTest, EveryByteHeardIsReportedOnceInOrderAndPartialBuffersWithTheirCount)
{
    in.Open(taunt);
    const QByteArray heard = Pattern(16 * 7 + 5, 3);
    // More than the ring holds at once: the rest waits until buffers come back.
    driver.Feed(heard);
    for (int i = 0; i < 8; ++i)
        Deliver();
    EXPECT_EQ(reported.size(), 7u);
    driver.CompleteInput(1);  // the device hands back the buffer it is filling
    Deliver();
    ASSERT_EQ(reported.size(), 8u);
    EXPECT_EQ(reported.back().size(), 5);
    EXPECT_EQ(Reported(), heard);
    EXPECT_EQ(in.Headers().size(), 2u) << "the same buffers circulate";
}

TEST_F(ACMInTest, ABufferIsClearedBeforeItGoesBackToTheDevice)
{
    in.Open(taunt);
    driver.Feed(Pattern(16, 4));
    Deliver();
    ASSERT_EQ(reported.size(), 1u);
    ASSERT_EQ(Input()->Queue.size(), 2u);
    const WAVEHDR* requeued = Input()->Queue.back();
    EXPECT_EQ(QByteArray(requeued->lpData, 16), QByteArray(16, '\0'));
    EXPECT_EQ(requeued->dwBytesRecorded, 0u);
    EXPECT_EQ(requeued->dwBufferLength, 16u);
}

TEST_F(ACMInTest, WithoutAHandlerTheRingStillCirculates)
{
    in.OnBufferFull = nullptr;
    in.Open(taunt);
    driver.Feed(Pattern(16 * 5, 5));
    for (int i = 0; i < 6; ++i)
        Deliver();
    EXPECT_EQ(driver.CallNames().count("waveInAddBuffer"), 2 + 5);
    EXPECT_TRUE(driver.Heard.isEmpty());
}

TEST_F(ACMInTest, NothingIsReportedAfterCloseNorFromADeviceClosedSince)
{
    in.Open(taunt);
    driver.Feed(Pattern(16, 6));  // a full buffer whose notice waits
    in.Close();  // and the reset returns the other
    EXPECT_TRUE(in.Headers().empty());
    EXPECT_EQ(in.DeviceHandle(), nullptr);
    Deliver();
    EXPECT_TRUE(reported.empty());

    // The same again with a new capture opened before the old notices arrive.
    in.Open(taunt);
    for (int round = 0; round < 8; ++round) {
        driver.Feed(Pattern(16, 7));
        in.Close();
        in.Open(taunt);
        Deliver();
        EXPECT_TRUE(reported.empty());
        ASSERT_EQ(in.Headers().size(), 2u);
    }
    driver.Feed(Pattern(16, 8));
    Deliver();
    EXPECT_EQ(Reported(), Pattern(16, 8));
}

// A step of Open after the device opened fails: the device is closed and every buffer made
// so far released before the error is raised, so nothing stays open behind an inactive
// component. Adding a buffer in Open and re-queuing one name the operation differently.
TEST_F(ACMInTest, AFailedOpenClosesTheDeviceAndReleasesItsBuffers)
{
    const struct {
        const char* call;
        int after;  // successful calls of that name first
        const char* message;
    } steps[] = {
        {"waveInPrepareHeader", 1, "WaveIn-PrepareHeader The system is unable to allocate resources."},
        {"waveInAddBuffer", 0, "WaveIn-AddBuffer The system is unable to allocate resources."},
        {"waveInStart", 0, "WaveIn-Start The system is unable to allocate resources."},
    };
    for (const auto& step : steps) {
        for (int i = 0; i < step.after; ++i)
            driver.Plan(step.call, MMSYSERR_NOERROR);
        driver.Plan(step.call, MMSYSERR_NOMEM);
        EXPECT_EQ(OpenError(), step.message);
        EXPECT_FALSE(in.Active());
        EXPECT_TRUE(in.Headers().empty()) << step.call;
        EXPECT_EQ(in.DeviceHandle(), nullptr);
        EXPECT_EQ(Input(), nullptr) << step.call << ": the device is closed";
        EXPECT_EQ(driver.CallNames().mid(driver.CallNames().size() - 2), (QStringList{"waveInReset", "waveInClose"}));
        Deliver();
        EXPECT_TRUE(reported.empty());
    }
    driver.InputDevices = 0;
    EXPECT_EQ(OpenError(), "WaveIn-Open A suitable driver is not available to provide valid format selections.");
    EXPECT_TRUE(in.Headers().empty());

    driver.InputDevices = 1;
    EXPECT_EQ(OpenError(), "");
    driver.Plan("waveInAddBuffer", MMSYSERR_NOMEM);
    driver.Feed(Pattern(16, 9));
    Deliver();
    EXPECT_EQ(dialogs.Texts(), QStringList{"WaveInAddBuffer The system is unable to allocate resources."});
    EXPECT_EQ(reported.size(), 1u);
}

// The device goes away while the window has fallen behind: three full buffers wait to be
// reported, a fourth holds a few bytes. Each arrives with its bytes and no others; the last
// buffer back closes the capture, which says so once.
TEST_F(ACMInTest, ALossBehindUnreportedBuffersReportsEachWithWhatItCaught)
{
    in.SetNumBuffers(5);
    int lost = 0;
    in.OnDeviceLost = [&](TComponent*) { ++lost; };
    in.Open(taunt);
    const QByteArray heard = Pattern(3 * 16 + 5, 11);
    driver.Feed(heard);
    driver.Lose(TWaveDirection::Input);
    Deliver();
    EXPECT_EQ(Reported(), heard);
    ASSERT_EQ(reported.size(), 5u);
    EXPECT_EQ(reported[3].size(), 5);
    EXPECT_FALSE(in.Active());
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(dialogs.Texts(),
              QStringList{"WaveInAddBuffer A suitable driver is not available to provide valid format selections."});
}

// A buffer whose handling fails leaves the ring and stays owned until Close.
TEST_F(ACMInTest, ABufferWhoseHandlerFailsLeavesTheRingUntilClose)
{
    in.OnBufferFull = [](TComponent*, const void*, int) { throw std::runtime_error("handler failed"); };
    in.Open(taunt);
    driver.Feed(Pattern(16, 10));
    Deliver();
    EXPECT_EQ(dialogs.Texts(), QStringList{"handler failed."});
    EXPECT_EQ(Input()->Queue.size(), 1u);
    EXPECT_EQ(in.Headers().size(), 2u);
    in.Close();
    EXPECT_TRUE(in.Headers().empty());
}

}  // namespace
