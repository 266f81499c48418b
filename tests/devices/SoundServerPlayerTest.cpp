#include "devices/ACMWaveOut.h"
#include "platform/SdlWaveDriver.h"
#include "support/ScriptedDialogs.h"
#include "support/SoundServer.h"

#include <QCoreApplication>
#include <QTest>
#include <algorithm>

namespace {

using SoundServerPlayerTest = SoundServerTest;

TEST_F(SoundServerPlayerTest, BytesPlayedArriveExactlyAtTheSink)
{
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    int released = 0;
    TACMWaveOut* player = nullptr;
    TMessageWindow owner([&](const TMessage& message) {
        if (message.Msg == MM_WOM_DONE && player->PlayerBufferDone(message.LParam))
            ++released;
    });
    player = new TACMWaveOut(&owner);
    const WAVEFORMATEX taunt = TauntFormat;
    player->Open(&taunt);
    ASSERT_NE(player->PlayerHandle, nullptr);

    // Half a second in two blocks, which must join without a gap.
    const QByteArray sound = Pattern(11025, 4);
    player->Play(sound.constData(), 4000);
    player->Play(sound.constData() + 4000, static_cast<uint32_t>(sound.size() - 4000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return released == 2; }, 5000));
    const QByteArray heard =
        monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 5000);
    ExpectHeardAmidSilence(heard, sound);
    // Only around the join: the server may fill a gap anywhere when the machine stalls.
    EXPECT_TRUE(heard.contains(sound.mid(3968, 64))) << "the blocks join without a gap";
    player->Close();
}

// A player whose owner window releases each finished buffer and counts it.
struct OwnedPlayer {
    int Released = 0;
    TMessageWindow Owner{
        [this](const TMessage& m) { Released += m.Msg == MM_WOM_DONE && Player->PlayerBufferDone(m.LParam); }};
    TACMWaveOut* Player = nullptr;  // the owner's, made after it
    OwnedPlayer() : Player(new TACMWaveOut(&Owner)) {}
};

// After a sound the player keeps its device, idle: the sink hears nothing but silence (a
// server may fill a stream that runs dry with something else), and once the device has been
// idle for the keep time its stream goes, so that the sink can rest; the next sound on the
// same device is heard whole.
TEST_F(SoundServerPlayerTest, AnIdlePlayerSendsOnlySilenceAndLetsTheSinkRest)
{
    const std::chrono::milliseconds keep = SdlKeepTime();
    SetSdlKeepTime(std::chrono::milliseconds(2500));
    OwnedPlayer owned;
    TACMWaveOut* player = owned.Player;
    const WAVEFORMATEX taunt = TauntFormat;
    player->Open(&taunt);
    const QByteArray sound = Pattern(2205, 5);
    player->Play(sound.constData(), uint32_t(sound.size()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return owned.Released == 1; }, 5000));
    QTest::qWait(300);  // the end of the sound reaches the sink
    {
        ServerRecorder monitor;
        ASSERT_TRUE(monitor.Start("out.monitor"));
        const QByteArray idle = monitor.ReadUntil([](const QByteArray&) { return false; }, 3000);
        EXPECT_EQ(idle.count('\x80'), idle.size()) << "an idle player sends nothing but silence";
    }
    EXPECT_TRUE(QTest::qWaitFor([] { return ServerPlayers().isEmpty(); }, 2000)) << "the idle stream stayed";
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    player->Play(sound.constData(), uint32_t(sound.size()));
    ExpectHeardAmidSilence(
        monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 5000), sound);
    player->Close();
    SetSdlKeepTime(keep);
}

// The server goes away while the player's device idles, and stays away: the next Play says so
// at once, in one box. Once the server is back, the next Play is heard; and so it is when the
// server goes and comes back between two plays.
TEST_F(SoundServerLossTest, APlayWhileTheServerIsAwaySaysSoOnce)
{
    ScriptedDialogs dialogs;
    OwnedPlayer owned;
    TACMWaveOut* player = owned.Player;
    const WAVEFORMATEX taunt = TauntFormat;
    const QByteArray sound = Pattern(2205, 43);
    const auto play = [&] {
        player->Close();
        player->Open(&taunt);
        player->Play(sound.constData(), uint32_t(sound.size()));
    };
    play();
    QTest::qWait(300);
    ASSERT_TRUE(Server("kill"));
    play();
    EXPECT_EQ(dialogs.Texts(), QStringList{"Problem creating playing handle6"});
    ASSERT_TRUE(Server("restart"));
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    play();
    ExpectHeardAmidSilence(
        monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 5000), sound);
    // Gone and back at once, as fast as the server starts: the next Play is heard all the same.
    ASSERT_TRUE(Server("kill"));
    ASSERT_TRUE(Server("restart"));
    ServerRecorder again;
    ASSERT_TRUE(again.Start("out.monitor"));
    play();
    ExpectHeardAmidSilence(
        again.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 5000), sound);
    EXPECT_EQ(dialogs.Texts().size(), 1);
    player->Close();
}

// Debian's desktops start pipewire-pulse and the PipeWire daemon from sockets that outlive
// them. Either ends (as a crash or an update ends it) while the player keeps its device idle:
// the next Play is heard, with no box, though the socket is the same one; the daemon takes its
// session manager with it, and both come back as the desktop's service manager brings them.
TEST_F(SoundServerLossTest, ASoundServiceStartedFromItsSocketIsHeardAgainAfterItEnds)
{
    if (qgetenv("JEERBOX_TEST_SOUND_SERVER") != "pipewire")
        GTEST_SKIP() << "only the PipeWire stack starts from sockets";
    ScriptedDialogs dialogs;
    OwnedPlayer owned;
    const WAVEFORMATEX taunt = TauntFormat;
    const QByteArray sound = Pattern(2205, 44);
    for (const char* ending : {"kill-service", "kill-daemon"}) {
        SCOPED_TRACE(ending);
        const int released = owned.Released;
        owned.Player->Open(&taunt);
        owned.Player->Play(sound.constData(), uint32_t(sound.size()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return owned.Released == released + 1; }, 5000));
        ASSERT_TRUE(Server(ending));
        owned.Player->Close();
        owned.Player->Open(&taunt);
        ServerRecorder monitor;
        ASSERT_TRUE(monitor.Start("out.monitor"));
        owned.Player->Play(sound.constData(), uint32_t(sound.size()));
        ExpectHeardAmidSilence(
            monitor.ReadUntil([&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound, 2205); }, 5000),
            sound);
        EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.Texts().join('\n').toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return owned.Released == released + 2; }, 5000));
        owned.Player->Close();
    }
}

// The server goes away in the middle of a sound and comes back; then again while the device,
// closed after its sound, is kept idle for the next open. Each time the cut-off sound comes
// back at once, and the first sound after the server is back arrives whole.
TEST_F(SoundServerLossTest, ThePlayerGivesBackWhatTheServerCutOffAndPlaysWholeWhenItIsBack)
{
    ScriptedDialogs dialogs;
    int released = 0;
    TACMWaveOut* player = nullptr;
    TMessageWindow owner(
        [&](const TMessage& m) { released += m.Msg == MM_WOM_DONE && player->PlayerBufferDone(m.LParam); });
    player = new TACMWaveOut(&owner);
    const WAVEFORMATEX taunt = TauntFormat;
    // What reaches the sink until the first `heard` bytes of the sound and 2205 more have.
    const auto play = [&](const QByteArray& sound, qsizetype heard) {
        ServerRecorder monitor;
        EXPECT_TRUE(monitor.Start("out.monitor"));
        player->Close();
        player->Open(&taunt);
        player->Play(sound.constData(), uint32_t(sound.size()));
        return monitor.ReadUntil(
            [&](const QByteArray& bytes) { return HoldsSoundAndMore(bytes, sound.left(heard), 2205); }, 5000);
    };
    const QByteArray cutOff = Pattern(22050 * 30, 40);
    ASSERT_TRUE(play(cutOff, 64).contains(cutOff.left(64))) << "the sound plays";
    ASSERT_TRUE(Server("kill"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return released == 1; }, 3000)) << "the cut-off sound came back";
    ASSERT_TRUE(Server("restart"));
    // Short sounds: fewer periods in which a loaded machine can starve the device.
    const QByteArray first = Pattern(4410, 41);
    ExpectHeardAmidSilence(play(first, first.size()), first);

    ASSERT_TRUE(QTest::qWaitFor([&] { return released == 2; }, 5000));
    player->Close();
    ASSERT_TRUE(Server("kill"));
    QTest::qWait(500);
    ASSERT_TRUE(Server("restart"));
    const QByteArray second = Pattern(4410, 42);
    ExpectHeardAmidSilence(play(second, second.size()), second);
    EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.Texts().join('\n').toStdString();
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
    TACMWaveOut* player = nullptr;
    TMessageWindow owner([&](const TMessage& message) {
        if (message.Msg == MM_WOM_DONE)
            player->PlayerBufferDone(message.LParam);
    });
    player = new TACMWaveOut(&owner);
    const WAVEFORMATEX taunt = TauntFormat;
    const QByteArray first = Ranged(44100, 0xC0, 0xFF, 1);  // two seconds, all loud
    const QByteArray second = Ranged(4410, 0x00, 0x3F, 2);

    // The workbench's way: close, open, play; the second time while the first still plays.
    for (const QByteArray* sound : {&first, &second}) {
        player->Close();
        player->Open(&taunt);
        ASSERT_NE(player->PlayerHandle, nullptr);
        player->Play(sound->constData(), uint32_t(sound->size()));
        if (sound == &first)
            monitor.ReadUntil([](const QByteArray& bytes) { return Loud(bytes) > 2000; }, 5000);
    }
    // Found by its start, since the first sound stands before it.
    const QByteArray heard = monitor.ReadUntil(
        [&](const QByteArray& bytes) {
            return HoldsSoundAndMore(bytes.mid(bytes.indexOf(second.left(64))), second, 4410);
        },
        5000);
    const qsizetype at = heard.indexOf(second.left(64));
    ASSERT_GE(at, 0) << "the second sound began";
    ExpectHeardAmidSilence(heard.mid(at), second);
    EXPECT_GT(Loud(heard.left(at)), 2000) << "the first sound was playing";
    EXPECT_LT(Loud(heard.left(at)), first.size()) << "and was cut off";
    EXPECT_EQ(Loud(heard.mid(at)), 0) << "no byte of the first sound after the second began";
    player->Close();
    QCoreApplication::sendPostedEvents();
}

}  // namespace
