#pragma once

#include "framework/Component.h"
#include "platform/Messages.h"
#include "platform/WaveDevices.h"

#include <cstddef>
#include <cstdint>
#include <functional>

#include <QObject>

class QEvent;

using TNotifyEvent = std::function<void(QObject* Sender)>;

// The player's device state belongs to the unit, not to a player: the owner window's done
// handling reads it directly.
// The one open output device of all players; nullptr while closed.
extern HWAVEOUT PlayerHandle;
// Set by Close, cleared by the next successful Open. While set, finished buffers are freed
// without being unprepared: their device is gone.
extern bool PlayerClosing;

// The simple player: plays blocks of sample bytes on the wave output. Problems are shown to
// the user as message boxes at once; nothing is raised. The device's done notices go to the
// owner's window, which must hand each MM_WOM_DONE to PlayerBufferDone.
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

    // Fired when a finished buffer has been released by a notice sent to the player itself.
    TNotifyEvent OnCallBack;

protected:
    bool event(QEvent* event) override;
};

// The done handling of a player buffer, for one MM_WOM_DONE whose lParam is the header:
// unprepares it while its device is still the open one, then frees it. False (and nothing
// touched) for a header that is not a player buffer waiting for its notice.
bool PlayerBufferDone(LPARAM header);
