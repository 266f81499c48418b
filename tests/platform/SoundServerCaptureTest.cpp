#include "platform/WaveDevices.h"
#include "support/SoundServer.h"

#include <list>

namespace {

using SoundServerCaptureTest = SoundServerTest;

TEST_F(SoundServerCaptureTest, BytesPlayedIntoTheFeedArriveExactlyInCaptureBuffers)
{
    NoticeWindow window;
    const HWAVEIN handle = OpenInput(&window);
    ASSERT_NE(handle, nullptr);
    // Two seconds of buffers: room for the server's delay, the sound, and silence after it.
    std::list<TestBuffer> buffers;
    for (int i = 0; i < 22; ++i)
        PrepareAndAdd(handle, buffers.emplace_back(2048));
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    // The feed plays once capture runs: what the microphone hears before is not recorded.
    ASSERT_TRUE(window.WaitFor(1));

    const QByteArray sound = Pattern(11025, 9);
    ASSERT_TRUE(PlayIntoServer("micfeed", sound));
    EXPECT_TRUE(window.WaitFor(buffers.size(), 10000));
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    window.Deliver();
    EXPECT_EQ(window.Messages.size(), buffers.size());
    EXPECT_FALSE(window.OffThread);

    QByteArray captured;
    for (const TestBuffer& buffer : buffers)
        captured += buffer.Recorded();
    ExpectHeardAmidSilence(captured, sound);
}

}  // namespace
