#include "devices/ACMOut.h"
#include "devices/DeviceErrors.h"
#include "sound/TauntFormat.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedWaveDriver.h"
#include "support/WaveTesting.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

TWaveFormatBlock Block(const WAVEFORMATEX& format)
{
    TWaveFormatBlock block{};
    block.Format = format;
    return block;
}

class ACMOutTest : public ::testing::Test {
protected:
    ACMOutTest()
    {
        out.OnBufferPlayed = [this](TComponent* sender, PWaveHdr header) {
            EXPECT_EQ(sender, &out);
            played.push_back(QByteArray(header->lpData, qsizetype(header->dwBufferLength)));
        };
    }
    static void Deliver() { QCoreApplication::sendPostedEvents(); }
    void WriteText(const char* text) { out.Write(text, uint32_t(qstrlen(text))); }

    ScriptedWaveDriver driver;
    ScriptedDialogs dialogs;
    TACMOut out;
    std::vector<QByteArray> played;
    const TWaveFormatBlock taunt = Block(TauntFormat);
};

TEST_F(ACMOutTest, HoldsBackNumBuffersBlocksThenStartsThemAllInOrderAndStreamsTheRest)
{
    out.Open(taunt);
    char block[] = "one";
    out.Write(block, 3);
    block[0] = 'X';  // the caller's block is free again at once
    WriteText("two");
    WriteText("three");
    WriteText("four");
    EXPECT_FALSE(driver.CallNames().contains("waveOutWrite"));
    EXPECT_EQ(out.Pending().size(), 4u);

    WriteText("five");
    EXPECT_EQ(driver.Written(), "onetwothreefourfive");
    EXPECT_TRUE(out.Pending().empty());
    WriteText("six");
    EXPECT_EQ(driver.Written(), "onetwothreefourfivesix");
    EXPECT_EQ(out.Headers().size(), 6u);

    EXPECT_EQ(driver.CompleteOutput(2), 2u);
    Deliver();
    EXPECT_EQ(played, (std::vector<QByteArray>{"one", "two"}));
    EXPECT_EQ(out.Headers().size(), 4u) << "played blocks are released after their report";
    EXPECT_EQ(driver.CallNames().count("waveOutUnprepareHeader"), 2);

    // Every Open holds back anew; a count changed while active counts from then.
    out.SetNumBuffers(0);
    out.Close();
    out.Open(taunt);
    WriteText("now");
    EXPECT_EQ(driver.Devices.back()->Written, "now");
}

TEST_F(ACMOutTest, WritesOfNoBytesOrWhileInactiveDoNothing)
{
    WriteText("early");
    out.Open(taunt);
    out.Write("x", 0);
    EXPECT_TRUE(out.Headers().empty());
    out.Close();
    WriteText("late");
    EXPECT_TRUE(out.Headers().empty());
    EXPECT_EQ(driver.CallNames(), (QStringList{"waveOutOpen", "waveOutReset", "waveOutClose"}));
}

TEST_F(ACMOutTest, CloseFreesHeldBackAndQueuedBlocksWithoutReportingThem)
{
    out.SetNumBuffers(1);
    out.Open(taunt);
    WriteText("a");
    WriteText("b");  // both at the device now
    WriteText("c");
    out.SetNumBuffers(3);
    out.Close();
    out.Open(taunt);
    WriteText("held");
    out.Close();
    EXPECT_TRUE(out.Headers().empty());
    EXPECT_TRUE(out.Pending().empty());
    EXPECT_EQ(out.DeviceHandle(), nullptr);
    Deliver();  // the reset's notices name blocks already freed
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(driver.Written(), "abc");
}

TEST_F(ACMOutTest, PcmGoesToTheDefaultDeviceAndOtherFormatsThroughTheMapper)
{
    out.Open(taunt);
    out.Open(Block({2, 1, 22050, 11155, 512, 4, 32}));  // active: ignored
    out.Close();
    out.Open(Block({2, 1, 22050, 11155, 512, 4, 32}));
    ASSERT_EQ(driver.Devices.size(), 2u);
    EXPECT_EQ(driver.Devices[0]->DeviceId, WAVE_MAPPER);
    EXPECT_EQ(driver.Devices[0]->Flags, 0x10000u);
    EXPECT_EQ(driver.Devices[0]->Format.nSamplesPerSec, 22050u);
    EXPECT_EQ(driver.Devices[1]->DeviceId, 0u);
    EXPECT_EQ(driver.Devices[1]->Flags, 0x10004u);
    EXPECT_EQ(out.DeviceFormat().Format.wFormatTag, 2);
}

TEST_F(ACMOutTest, FailuresRaiseTheTableTextAfterTheOperationName)
{
    driver.Plan("waveOutOpen", MMSYSERR_ALLOCATED);
    try {
        out.Open(taunt);
        ADD_FAILURE() << "no error";
    } catch (const EACMOut& e) {
        EXPECT_STREQ(e.what(), "WaveOutOpen The specified resource is already in use.");
    }
    EXPECT_FALSE(out.Active());
    EXPECT_EQ(out.DeviceHandle(), nullptr);
    WriteText("ignored");
    EXPECT_TRUE(out.Headers().empty());

    out.SetNumBuffers(0);
    out.Open(taunt);
    driver.Plan("waveOutWrite", WAVERR_STILLPLAYING);
    try {
        WriteText("x");
        ADD_FAILURE() << "no error";
    } catch (const EACMOut& e) {
        EXPECT_STREQ(e.what(), "WaveOut-Write raised an unknown error (code #33)");
    }
    driver.Plan("waveOutPrepareHeader", MMSYSERR_NOMEM);
    EXPECT_THROW(WriteText("y"), EACMOut);
}

// A block the device refuses is released at once, and the held-back blocks behind it go
// with the next Write, each exactly once.
TEST_F(ACMOutTest, ABlockTheDeviceRefusesIsReleasedAndTheRestGoOnceInOrder)
{
    out.SetNumBuffers(2);
    out.Open(taunt);
    WriteText("A");
    WriteText("B");
    driver.Plan("waveOutWrite", MMSYSERR_NOMEM);
    EXPECT_THROW(WriteText("C"), EACMOut);
    EXPECT_EQ(out.Headers().size(), 2u) << "the refused block is gone";
    EXPECT_EQ(out.Pending().size(), 2u);
    WriteText("D");
    EXPECT_EQ(driver.Written(), "BCD");
    EXPECT_EQ(out.Headers().size(), 3u);
    driver.CompleteOutput();
    Deliver();
    EXPECT_EQ(played, (std::vector<QByteArray>{"B", "C", "D"}));
    EXPECT_TRUE(out.Headers().empty());
}

// A notice that arrives after Close names a block already freed, and a new Open may have
// made a block at the same address: only notices of the open device count.
TEST_F(ACMOutTest, NoticesFromADeviceClosedSinceAreIgnoredUnread)
{
    out.SetNumBuffers(0);
    for (int round = 0; round < 8; ++round) {
        out.Open(taunt);
        WriteText("old");
        driver.CompleteOutput();  // posted, not yet handled
        out.Close();
        out.Open(taunt);
        WriteText("new");
        Deliver();
        EXPECT_TRUE(played.empty());
        ASSERT_EQ(out.Headers().size(), 1u);
        driver.CompleteOutput();
        Deliver();
        EXPECT_EQ(played, std::vector<QByteArray>{"new"});
        played.clear();
        out.Close();
    }
}

TEST_F(ACMOutTest, AFailedUnprepareAfterAReportKeepsTheBlockUntilClose)
{
    out.SetNumBuffers(0);
    out.Open(taunt);
    WriteText("a");
    driver.Plan("waveOutUnprepareHeader", MMSYSERR_INVALHANDLE);
    driver.CompleteOutput();
    Deliver();
    EXPECT_EQ(played.size(), 1u);
    EXPECT_EQ(dialogs.Texts(), QStringList{"WaveOut-UnprepareHeader The specified handle is invalid."});
    EXPECT_EQ(out.Headers().size(), 1u);
    out.Close();
    EXPECT_TRUE(out.Headers().empty());
}

TEST(DeviceErrorTable, KnownCodesAppendTheirTextAndOthersSayUnknown)
{
    const std::pair<MMRESULT, const char*> table[] = {
        {2, " The specified resource does not exist."},
        {4, " The specified resource is already in use."},
        {5, " The specified handle is invalid."},
        {6, " A suitable driver is not available to provide valid format selections."},
        {7, " The system is unable to allocate resources."},
        {10, " At least one flag is invalid."},
        {11, " At least one parameter is invalid."},
        {32, " Unsupported audio format."},
        {35, " The specified device does not support asynchronous operation."},
        {512, " The requested operation cannot be performed."},
        {513, " The conversion stream is already in use."},
        {514, " Cannot perform this action on a header that has not been prepared."},
    };
    for (const auto& [code, text] : table)
        EXPECT_EQ(DeviceErrorMessage("Op", code), std::string("Op") + text) << code;
    for (MMRESULT code : {1u, 3u, 8u, 9u, 33u, 34u, 515u, 0xFFFFFFFFu})
        EXPECT_EQ(DeviceErrorMessage("WaveIn-Start", code),
                  "WaveIn-Start raised an unknown error (code #" + std::to_string(int32_t(code)) + ")");
    EXPECT_NO_THROW(RaiseDeviceError<EACMOut>("Op", MMSYSERR_NOERROR));
}

}  // namespace
