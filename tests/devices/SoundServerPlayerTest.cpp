#include "devices/ACMWaveOut.h"
#include "support/ScriptedDialogs.h"
#include "support/SoundServer.h"

#include <QCoreApplication>
#include <QTest>
#include <algorithm>

namespace {

using SoundServerPlayerTest = SoundServerTest;

// A player whose owner window releases each finished buffer, as the main window does.
struct OwnedPlayer {
    int Released = 0;
    TMessageWindow Owner{[this](const TMessage& message) {
        if (message.Msg == MM_WOM_DONE && PlayerBufferDone(message.LParam))
            ++Released;
    }};
    TACMWaveOut* const Player = new TACMWaveOut(&Owner);
};

TEST_F(SoundServerPlayerTest, BytesPlayedArriveExactlyAtTheSink)
{
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    OwnedPlayer owned;
    const int& released = owned.Released;
    TACMWaveOut* const player = owned.Player;
    const WAVEFORMATEX taunt = TauntFormat;
    player->Open(&taunt);
    ASSERT_NE(PlayerHandle, nullptr);

    // Half a second in two blocks, which must join without a gap.
    const QByteArray sound = Pattern(11025, 4);
    player->Play(sound.constData(), 4000);
    player->Play(sound.constData() + 4000, static_cast<uint32_t>(sound.size() - 4000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return released == 2; }, 5000));
    const QByteArray heard =
        monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 5000);
    ExpectSoundAmidSilence(heard, sound);
    player->Close();
}

// The player through a sound server that goes away in the middle of a sound and comes back,
// and once more while the device is idle, closed and kept for the next open: each time the
// first sound after the server is back arrives whole.
TEST_F(SoundServerLossTest, ThePlayerGivesBackWhatTheServerCutOffAndPlaysWholeWhenItIsBack)
{
    ScriptedDialogs dialogs;
    OwnedPlayer owned;
    const int& released = owned.Released;
    TACMWaveOut* const player = owned.Player;
    const WAVEFORMATEX taunt = TauntFormat;
    const auto play = [&](const QByteArray& sound) {
        player->Close();
        player->Open(&taunt);
        player->Play(sound.constData(), uint32_t(sound.size()));
    };
    const auto playAndHear = [&](uint32_t seed) {
        ServerRecorder monitor;
        ASSERT_TRUE(monitor.Start("out.monitor"));
        const QByteArray sound = Pattern(11025, seed);
        play(sound);
        ExpectSoundAmidSilence(
            monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 5000),
            sound);
    };

    const QByteArray cutOff = Pattern(22050 * 30, 40);
    {
        ServerRecorder monitor;
        ASSERT_TRUE(monitor.Start("out.monitor"));
        play(cutOff);
        ASSERT_TRUE(monitor.ReadUntil([&](const QByteArray& bytes) { return bytes.contains(cutOff.left(2205)); }, 5000)
                        .contains(cutOff.left(2205)));
    }
    ASSERT_TRUE(KillServer());
    EXPECT_TRUE(QTest::qWaitFor([&] { return released == 1; }, 3000)) << "the cut-off sound came back";
    ASSERT_TRUE(RestartServer());
    playAndHear(41);

    ASSERT_TRUE(QTest::qWaitFor([&] { return released == 2; }, 5000));
    player->Close();
    ASSERT_TRUE(KillServer());
    QTest::qWait(500);
    ASSERT_TRUE(RestartServer());
    playAndHear(42);
    EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.Texts().join('\n').toStdString();
    player->Close();
}

}  // namespace

namespace {

// Bytes of one range only, so that every byte at the sink tells which sound it came from.
QByteArray Ranged(qsizetype size, uint8_t low, uint8_t high, uint32_t seed)
{
    QByteArray bytes = Pattern(size_t(size), seed);
    for (char& byte : bytes)
        byte = char(low + uint8_t(byte) % (high - low + 1));
    return bytes;
}

// Bytes of the loud range.
qsizetype Loud(const QByteArray& bytes)
{
    return std::count_if(bytes.begin(), bytes.end(), [](char byte) { return uint8_t(byte) >= 0xC0; });
}

TEST_F(SoundServerPlayerTest, ANewPlayCutsTheOldSoundOffForGood)
{
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    TMessageWindow owner([&](const TMessage& message) {
        if (message.Msg == MM_WOM_DONE)
            PlayerBufferDone(message.LParam);
    });
    auto* player = new TACMWaveOut(&owner);
    const WAVEFORMATEX taunt = TauntFormat;
    const QByteArray first = Ranged(44100, 0xC0, 0xFF, 1);  // two seconds, all loud
    const QByteArray second = Ranged(4410, 0x00, 0x3F, 2);

    // The workbench's way: close, open, play; the second time while the first still plays.
    for (const QByteArray* sound : {&first, &second}) {
        player->Close();
        player->Open(&taunt);
        ASSERT_NE(PlayerHandle, nullptr);
        player->Play(sound->constData(), uint32_t(sound->size()));
        if (sound == &first)
            monitor.ReadUntil([](const QByteArray& bytes) { return Loud(bytes) > 2000; }, 5000);
    }
    const QByteArray heard =
        monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, second, 4410); }, 5000);
    const qsizetype at = heard.indexOf(second);
    ASSERT_GE(at, 0) << "the second sound arrived whole";
    EXPECT_GT(Loud(heard.left(at)), 2000) << "the first sound was playing";
    EXPECT_LT(Loud(heard.left(at)), first.size()) << "and was cut off";
    EXPECT_EQ(Loud(heard.mid(at)), 0) << "no byte of the first sound after the second began";
    player->Close();
    QCoreApplication::sendPostedEvents();
}

}  // namespace
