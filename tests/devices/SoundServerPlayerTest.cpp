#include "devices/ACMWaveOut.h"
#include "support/SoundServer.h"

#include <QTest>

namespace {

using SoundServerPlayerTest = SoundServerTest;

TEST_F(SoundServerPlayerTest, BytesPlayedArriveExactlyAtTheSink)
{
    ServerRecorder monitor;
    ASSERT_TRUE(monitor.Start("out.monitor"));
    int released = 0;
    TMessageWindow owner([&](const TMessage& message) {
        if (message.Msg == MM_WOM_DONE && PlayerBufferDone(message.LParam))
            ++released;
    });
    auto* player = new TACMWaveOut(&owner);
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

}  // namespace
