#pragma once

#include "platform/Messages.h"
#include "platform/WaveDevices.h"
#include "sound/TauntFormat.h"

#include <QByteArray>
#include <optional>
#include <utility>
#include <vector>

// Helpers for the tests of the wave devices and of what plays through them.

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

// Opens the default device for the window's notices, expecting success.
HWAVEOUT OpenOutput(HWND window, const WAVEFORMATEX& format = TauntFormat);
HWAVEIN OpenInput(HWND window, const WAVEFORMATEX& format = TauntFormat);
// Prepares the buffer and hands it to the device, expecting success.
void PrepareAndWrite(HWAVEOUT handle, TestBuffer& buffer);
void PrepareAndAdd(HWAVEIN handle, TestBuffer& buffer);

// Noise that is never silence (0x80), so that it stands out exactly in a captured stream.
QByteArray Pattern(size_t size, uint32_t seed = 1);

// The bytes played or captured hold silence, the sound whole, and silence again.
void ExpectSoundAmidSilence(const QByteArray& stream, const QByteArray& sound);

// Sets environment variables for as long as it lives; the earlier values come back after.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    void Set(const char* name, const QByteArray& value);

private:
    std::vector<std::pair<const char*, std::optional<QByteArray>>> FSaved;
};
