#pragma once

#include "devices/WaveHeaders.h"
#include "framework/Component.h"
#include "platform/Messages.h"
#include "platform/WaveDevices.h"

#include <cstddef>
#include <cstdint>
#include <functional>

#include <QObject>

class QEvent;

using TNotifyEvent = std::function<void(QObject* Sender)>;

// The simple player: plays blocks of sample bytes on the wave output. Problems are shown to
// the user as message boxes at once; nothing is raised. The device's done notices go to the
// owner's window, which must hand each MM_WOM_DONE to the player's PlayerBufferDone.
class TACMWaveOut : public QObject, public TComponent {
    Q_OBJECT
public:
    explicit TACMWaveOut(QObject* owner);
    // Closes the device and frees the buffers whose notices have not been handled yet.
    ~TACMWaveOut() override;

    // Opens the output device for a format record of formatSize bytes (a WAVEFORMATEX,
    // possibly followed by extra format bytes). Does nothing for no format or while a device
    // is open: a caller that wants another format closes first.
    void Open(const WAVEFORMATEX* format, size_t formatSize = sizeof(WAVEFORMATEX));
    // Queues a copy of the bytes behind what is already playing; returns at once. Does
    // nothing while closed.
    void Play(const void* data, uint32_t size);
    // Cuts off whatever plays and closes the device; its buffers come back as notices later.
    void Close();

    // The done handling of a buffer, for one MM_WOM_DONE whose lParam is the header:
    // unprepares it while its device is still the open one, then frees it. False (and
    // nothing touched) for a header that is not a buffer of this player waiting for its notice.
    bool PlayerBufferDone(LPARAM header);

    // Fired when a finished buffer has been released by a notice sent to the player itself.
    TNotifyEvent OnCallBack;

    // The open output device; nullptr while closed. Only the player writes it.
    HWAVEOUT PlayerHandle = nullptr;
    // Set by Close, cleared by the next successful Open. While set, finished buffers are freed
    // without being unprepared: their device is gone. Only the player writes it.
    bool PlayerClosing = false;

protected:
    bool event(QEvent* event) override;

private:
    // Every buffer handed to a device and not yet released, with the device it went to,
    // which may be closed and replaced by another before the notice arrives.
    TWaveHeaders PlayerBuffers;
};
