#pragma once

#include "platform/Messages.h"
#include "platform/WaveDevices.h"

#include <QByteArray>
#include <memory>
#include <vector>

// A hidden window for device notices: keeps every message it receives and notes whether
// any arrived on a thread other than the one it lives on.
class NoticeWindow : public TMessageWindow {
public:
    NoticeWindow();

    std::vector<TMessage> Messages;
    bool OffThread = false;

    // The headers of the messages received, in order.
    std::vector<WAVEHDR*> Headers() const;
    // How many messages name this header.
    int CountOf(const WAVEHDR* header) const;
    // Lets the event loop run until `count` messages have arrived or the time is up.
    bool WaitFor(size_t count, int milliseconds = 5000);
    // Handles the notices already posted, without waiting for more.
    static void Deliver();
};

// A header with a block of its own.
struct TestBuffer {
    explicit TestBuffer(const QByteArray& contents);
    explicit TestBuffer(size_t size) : TestBuffer(QByteArray(static_cast<qsizetype>(size), '\0')) {}
    QByteArray Bytes;
    WAVEHDR Header{};
    QByteArray Recorded() const { return Bytes.left(Header.dwBytesRecorded); }
};

// Noise that is never silence (0x80), so that it stands out exactly in a captured stream.
QByteArray Pattern(size_t size, uint32_t seed = 1);

// The taunt format: PCM, mono, 22050 samples a second, 8 bits.
WAVEFORMATEX TauntWaveFormat();
