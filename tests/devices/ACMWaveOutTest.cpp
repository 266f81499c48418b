#include "devices/ACMWaveOut.h"
#include "support/WaveTesting.h"
#include "support/ScriptedDialogs.h"
#include "support/ScriptedWaveDriver.h"

#include <QCoreApplication>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace {

// The owner window handles MM_WOM_DONE as the main window does: by the player's done
// handling, without the player's event.
class PlayerTest : public ::testing::Test {
protected:
    void Deliver() { QCoreApplication::sendPostedEvents(); }

    // The unprepare calls that reached the driver, as (device, header).
    std::vector<std::pair<int, WAVEHDR*>> Unprepares() const
    {
        std::vector<std::pair<int, WAVEHDR*>> calls;
        for (const auto& call : driver.Calls)
            if (call.Name == "waveOutUnprepareHeader")
                calls.emplace_back(call.Device, call.Header);
        return calls;
    }
    // The headers the player wrote, in order.
    std::vector<WAVEHDR*> Written() const
    {
        std::vector<WAVEHDR*> headers;
        for (const auto& call : driver.Calls)
            if (call.Name == "waveOutWrite" && call.Result == MMSYSERR_NOERROR)
                headers.push_back(call.Header);
        return headers;
    }

    ScriptedWaveDriver driver;
    ScriptedDialogs dialogs;
    std::vector<WAVEHDR*> released;  // notices that freed a player buffer
    std::vector<WAVEHDR*> ignored;  // notices for headers the player no longer knows
    TMessageWindow owner{[this](const TMessage& message) {
        if (message.Msg == MM_WOM_DONE)
            (player && player->PlayerBufferDone(message.LParam) ? released : ignored)
                .push_back(reinterpret_cast<WAVEHDR*>(message.LParam));
    }};
    TACMWaveOut* player = new TACMWaveOut(&owner);
    const WAVEFORMATEX taunt = TauntFormat;
};

TEST_F(PlayerTest, OpensDeviceZeroThroughTheMapperOnceUntilClosed)
{
    player->Open(nullptr);
    EXPECT_TRUE(driver.Calls.empty());

    player->Open(&taunt);
    ASSERT_EQ(driver.Devices.size(), 1u);
    const auto& device = *driver.Devices[0];
    EXPECT_EQ(device.DeviceId, 0u);
    EXPECT_EQ(device.Flags, 0x10004u);
    EXPECT_EQ(std::memcmp(&device.Format, &taunt, sizeof taunt), 0);
    EXPECT_NE(player->PlayerHandle, nullptr);
    EXPECT_FALSE(player->PlayerClosing);

    const WAVEFORMATEX other{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    player->Open(&other);
    EXPECT_EQ(driver.Devices.size(), 1u) << "the earlier device and format stay";
    player->Close();
    player->Open(&other);
    ASSERT_EQ(driver.Devices.size(), 2u);
    EXPECT_EQ(driver.Devices[1]->Format.nChannels, 2);
    EXPECT_TRUE(dialogs.boxes.empty());
}

// The device goes away in the middle of a sound: its buffer comes back, a play on it shows
// the write's error, and the next open plays again.
TEST_F(PlayerTest, ALostDeviceGivesItsBufferBackAndTheNextOpenPlays)
{
    player->Open(&taunt);
    player->Play("abc", 3);
    driver.Lose(TWaveDirection::Output);
    Deliver();
    EXPECT_EQ(released, Written());
    player->Play("def", 3);
    player->Close();
    player->Open(&taunt);
    player->Play("ghi", 3);
    EXPECT_EQ(driver.Devices.back()->Written, "ghi");
    EXPECT_EQ(dialogs.Texts(), QStringList{"WaveOutWrite error"});
}

TEST_F(PlayerTest, CopiesTheFormatRecordWithoutReadingPastIt)
{
    // A bare 16-byte PCM record, and a convertor's 129-byte block with extra bytes: each
    // lives in a heap block of exactly its size, so reading beyond it is caught.
    auto pcm = std::make_unique<char[]>(16);
    std::memcpy(pcm.get(), &taunt, 16);
    player->Open(reinterpret_cast<const WAVEFORMATEX*>(pcm.get()), 16);
    ASSERT_EQ(driver.Devices.size(), 1u);
    EXPECT_EQ(driver.Devices[0]->Format.nSamplesPerSec, 22050u);
    EXPECT_EQ(driver.Devices[0]->Format.cbSize, 0) << "what the record does not hold reads as zero";
    player->Close();

    auto block = std::make_unique<char[]>(129);
    std::memset(block.get(), 0x5A, 129);
    WAVEFORMATEX adpcm{2, 1, 22050, 11155, 512, 4, 111};
    std::memcpy(block.get(), &adpcm, sizeof adpcm);
    player->Open(reinterpret_cast<const WAVEFORMATEX*>(block.get()), 129);
    ASSERT_EQ(driver.Devices.size(), 2u);
    EXPECT_EQ(driver.Devices[1]->Format.wFormatTag, 2);
    EXPECT_EQ(driver.Devices[1]->Format.cbSize, 111);
}

TEST_F(PlayerTest, AFailedOpenShowsTheCodeAndLeavesThePlayerClosed)
{
    // A device that takes nothing: the mapper finds no format to convert to either.
    driver.Takes = [](const WAVEFORMATEX&) { return false; };
    player->Open(&taunt);
    driver.OutputDevices = 0;
    player->Open(&taunt);
    EXPECT_EQ(dialogs.Texts(), QStringList({"Problem creating playing handle32", "Problem creating playing handle6"}));
    EXPECT_EQ(dialogs.boxes[0].caption, "Orvalis Jeerbox");
    EXPECT_EQ(player->PlayerHandle, nullptr);

    const char bytes[] = "abc";
    player->Play(bytes, 3);
    player->Close();
    EXPECT_FALSE(driver.CallNames().isEmpty());
    EXPECT_EQ(driver.CallNames().count("waveOutOpen"), driver.CallNames().size())
        << "nothing reaches a device that is not open";
    EXPECT_EQ(dialogs.boxes.size(), 2u);
}

TEST_F(PlayerTest, PlayQueuesCopiesOneAfterTheOtherAndReturnsAtOnce)
{
    player->Open(&taunt);
    QByteArray first = Pattern(300, 1);
    const QByteArray original = first;
    const QByteArray second = Pattern(5, 2);
    player->Play(first.constData(), 300);
    first.fill('\0');  // the caller may reuse its block at once
    player->Play(second.constData(), 5);
    player->Play(second.constData(), 0);
    EXPECT_EQ(driver.Written(), original + second);

    const std::vector<WAVEHDR*> headers = Written();
    ASSERT_EQ(headers.size(), 3u);
    const WAVEHDR& header = *headers[0];
    EXPECT_EQ(header.dwBufferLength, 300u);
    EXPECT_EQ(header.dwBytesRecorded, 300u);
    EXPECT_EQ(header.dwUser, 0u);
    EXPECT_EQ(header.dwLoops, 0u);
    EXPECT_EQ(header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    EXPECT_EQ(driver.NewestOpen(TWaveDirection::Output)->Queue.size(), 3u) << "nothing has finished yet";
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PlayerTest, AFinishedBufferIsUnpreparedOnItsDeviceAndReleased)
{
    player->Open(&taunt);
    player->Play("abc", 3);
    player->Play("de", 2);
    driver.CompleteOutput(1);
    Deliver();
    const std::vector<WAVEHDR*> headers = Written();
    EXPECT_EQ(released, std::vector<WAVEHDR*>({headers[0]}));
    EXPECT_EQ(Unprepares(), (std::vector<std::pair<int, WAVEHDR*>>{{0, headers[0]}}));

    driver.Plan("waveOutUnprepareHeader", MMSYSERR_INVALPARAM);
    driver.CompleteOutput(1);
    Deliver();
    EXPECT_EQ(released, headers) << "a failed unprepare frees the buffer all the same";
    EXPECT_EQ(dialogs.Texts(), QStringList({"WaveOutUnprepareHeader error"}));
    EXPECT_TRUE(ignored.empty());
}

TEST_F(PlayerTest, AFailedPrepareIsShownAndTheWriteStillTried)
{
    player->Open(&taunt);
    driver.Plan("waveOutPrepareHeader", MMSYSERR_NOMEM);
    player->Play("abc", 3);
    // The device refuses the unprepared header itself, so the write fails too.
    EXPECT_EQ(dialogs.Texts(), QStringList({"WaveOutPrepareHeader error", "WaveOutWrite error"}));
    EXPECT_EQ(driver.CallNames(), QStringList({"waveOutOpen", "waveOutPrepareHeader"}));
    player->Close();
    Deliver();
    EXPECT_TRUE(released.empty() && ignored.empty()) << "the buffer was freed at once, no notice comes";
}

TEST_F(PlayerTest, AFailedWriteIsShownAndTheBufferFreedAtOnce)
{
    player->Open(&taunt);
    driver.Plan("waveOutWrite", MMSYSERR_INVALPARAM);
    player->Play("abc", 3);
    EXPECT_EQ(dialogs.Texts(), QStringList({"WaveOutWrite error"}));
    EXPECT_EQ(driver.CallNames(),
              QStringList({"waveOutOpen", "waveOutPrepareHeader", "waveOutWrite", "waveOutUnprepareHeader"}));
    player->Play("de", 2);
    EXPECT_EQ(driver.Written(), QByteArray("de")) << "the player goes on";
    driver.CompleteOutput();
    Deliver();
    EXPECT_EQ(released.size(), 1u);
    EXPECT_TRUE(ignored.empty());
}

TEST_F(PlayerTest, CloseCutsTheSoundOffAndItsBuffersAreFreedWithoutUnprepare)
{
    player->Open(&taunt);
    player->Play("abc", 3);
    player->Play("de", 2);
    player->Close();
    EXPECT_EQ(player->PlayerHandle, nullptr);
    EXPECT_TRUE(player->PlayerClosing);
    EXPECT_EQ(driver.CallNames().mid(5), QStringList({"waveOutReset", "waveOutClose"}));
    EXPECT_TRUE(released.empty()) << "the notices come later, through the event loop";
    Deliver();
    EXPECT_EQ(released, Written());
    EXPECT_TRUE(Unprepares().empty());
    player->Close();
    EXPECT_EQ(driver.Calls.size(), 7u) << "closing a closed player does nothing";
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PlayerTest, ANoticeFromAClosedDeviceAfterANewOpenIsNotUnpreparedOnTheNewOne)
{
    player->Open(&taunt);
    player->Play("old", 3);
    player->Close();
    player->Open(&taunt);
    EXPECT_FALSE(player->PlayerClosing);
    player->Play("new", 3);
    driver.CompleteOutput();
    Deliver();
    const std::vector<WAVEHDR*> headers = Written();
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(released, headers);
    EXPECT_EQ(Unprepares(), (std::vector<std::pair<int, WAVEHDR*>>{{1, headers[1]}}));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PlayerTest, ANoticeSentToThePlayerItselfReleasesTheBufferAndFiresOnCallBack)
{
    // An owner that passes the device's notices on to the player.
    TACMWaveOut* own = nullptr;
    TMessageWindow relay(
        [&own](const TMessage& message) { PostMessage(own, message.Msg, message.WParam, message.LParam); });
    own = new TACMWaveOut(&relay);
    std::vector<QObject*> senders;
    own->OnCallBack = [&](QObject* sender) { senders.push_back(sender); };
    own->Open(&taunt);
    own->Play("abc", 3);
    driver.CompleteOutput();
    Deliver();
    Deliver();  // the notice passed on
    EXPECT_EQ(senders, std::vector<QObject*>({own}));
    EXPECT_EQ(Unprepares().size(), 1u);

    // A notice for a header the player does not hold is ignored, and fires nothing.
    WAVEHDR stranger{};
    PostMessage(own, MM_WOM_DONE, 0, reinterpret_cast<LPARAM>(&stranger));
    Deliver();
    EXPECT_EQ(senders.size(), 1u);
}

TEST_F(PlayerTest, DestroyingThePlayerFreesWhatIsStillOnTheWay)
{
    player->Open(&taunt);
    player->Play("abc", 3);
    player->Play("de", 2);
    delete player;
    player = nullptr;
    EXPECT_EQ(driver.NewestOpen(TWaveDirection::Output), nullptr) << "its device is closed";
    EXPECT_EQ(driver.CallNames().mid(5), QStringList({"waveOutReset", "waveOutClose"}));
    Deliver();
    EXPECT_TRUE(released.empty());
    EXPECT_EQ(ignored.size(), 2u) << "late notices name buffers already freed and are not read";
}

}  // namespace
