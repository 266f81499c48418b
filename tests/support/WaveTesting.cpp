#include "support/WaveTesting.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>

NoticeWindow::NoticeWindow()
    : TMessageWindow([this](const TMessage& message) {
          if (QThread::currentThread() != thread())
              OffThread = true;
          Messages.push_back(message);
      })
{
}

std::vector<WAVEHDR*> NoticeWindow::Headers() const
{
    std::vector<WAVEHDR*> headers;
    for (const TMessage& message : Messages)
        headers.push_back(reinterpret_cast<WAVEHDR*>(message.LParam));
    return headers;
}

int NoticeWindow::CountOf(const WAVEHDR* header) const
{
    return static_cast<int>(std::count_if(Messages.begin(), Messages.end(), [header](const TMessage& message) {
        return reinterpret_cast<const WAVEHDR*>(message.LParam) == header;
    }));
}

bool NoticeWindow::WaitFor(size_t count, int milliseconds)
{
    return QTest::qWaitFor([&] { return Messages.size() >= count; }, milliseconds);
}

void NoticeWindow::Deliver()
{
    QCoreApplication::sendPostedEvents();
}

TestBuffer::TestBuffer(const QByteArray& contents) : Bytes(contents)
{
    Header.lpData = Bytes.data();
    Header.dwBufferLength = static_cast<DWORD>(Bytes.size());
}

QByteArray Pattern(size_t size, uint32_t seed)
{
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    uint32_t state = seed | 1;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const auto byte = static_cast<uint8_t>(state >> 24);
        bytes[i] = static_cast<char>(byte == 0x80 ? 0x7F : byte);
    }
    return bytes;
}

void ExpectSoundAmidSilence(const QByteArray& stream, const QByteArray& sound)
{
    const qsizetype at = stream.indexOf(sound);
    ASSERT_GE(at, 0) << "the sound is not there whole";
    const QByteArray around = stream.left(at) + stream.mid(at + sound.size());
    EXPECT_EQ(around.count('\x80'), around.size()) << "only silence around the sound";
}

ScopedEnvironment::~ScopedEnvironment()
{
    for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it) {
        if (it->second)
            qputenv(it->first, *it->second);
        else
            qunsetenv(it->first);
    }
}

void ScopedEnvironment::Set(const char* name, const QByteArray& value)
{
    FSaved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    qputenv(name, value);
}

HWAVEOUT OpenOutput(HWND window, const WAVEFORMATEX& format)
{
    HWAVEOUT handle = nullptr;
    EXPECT_EQ(waveOutOpen(&handle, WAVE_MAPPER, &format, window, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    return handle;
}

HWAVEIN OpenInput(HWND window, const WAVEFORMATEX& format)
{
    HWAVEIN handle = nullptr;
    EXPECT_EQ(waveInOpen(&handle, WAVE_MAPPER, &format, window, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    return handle;
}

void PrepareAndWrite(HWAVEOUT handle, TestBuffer& buffer)
{
    EXPECT_EQ(waveOutPrepareHeader(handle, &buffer.Header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutWrite(handle, &buffer.Header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
}

void PrepareAndAdd(HWAVEIN handle, TestBuffer& buffer)
{
    EXPECT_EQ(waveInPrepareHeader(handle, &buffer.Header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(handle, &buffer.Header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
}
