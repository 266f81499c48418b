#pragma once

#include "acm/FormatBlock.h"
#include "devices/WaveHeaders.h"
#include "framework/Component.h"
#include "framework/Exception.h"
#include "platform/Messages.h"
#include "platform/WaveDevices.h"

#include <cstdint>
#include <functional>
#include <memory>

JEERBOX_DECLARE_EXCEPTION(EACMIn, Exception)

// Called for each filled capture buffer with a copy of its bytes (Size of them, at most
// BufferSize), which the component frees right after the call.
using TBufferFullEvent = std::function<void(TComponent* Sender, const void* Data, int Size)>;

// Called once the capture has ended because its device is gone (the sound server went away,
// the microphone was unplugged); the component has closed by then.
using TDeviceLostEvent = std::function<void(TComponent* Sender)>;

// Wave input: captures in a ring of NumBuffers buffers of BufferSize bytes. Open starts the
// capture; each filled buffer is handed to OnBufferFull, cleared and queued again, until
// Close. The device's notices come to a hidden window of the component, on the
// user-interface thread. Failed device calls raise EACMIn.
//
// A device that is gone hands every buffer back with what it caught, and takes none again:
// each is reported as usual, and the last one to come back closes the component (the
// microphone is never left open), calls OnDeviceLost and raises the error, once.
class TACMIn : public TComponent {
public:
    static constexpr uint8_t MinBuffers = 2;
    static constexpr uint8_t MaxBuffers = 64;

    explicit TACMIn(TComponent* owner = nullptr);
    ~TACMIn() override;

    // Opens the input for the format, queues NumBuffers buffers and starts capturing; does
    // nothing while active. When a step after opening fails, the device is closed and every
    // buffer released before the error is raised: a failed Open leaves nothing behind.
    void Open(TWaveFormatBlock Format);
    // Stops capturing, closes the device and releases every buffer; nothing while inactive.
    // Buffers that the device returns afterwards are not reported.
    void Close();

    bool Active() const { return FActive; }
    // Both take a new value only while inactive; it counts from the next Open.
    uint32_t BufferSize() const { return FBufferSize; }
    // A buffer of no bytes would come back at once, forever: 0 is ignored.
    void SetBufferSize(uint32_t value);
    uint8_t NumBuffers() const { return FNumBuffers; }
    // Values outside MinBuffers..MaxBuffers are ignored.
    void SetNumBuffers(uint8_t value);
    TBufferFullEvent OnBufferFull;
    TDeviceLostEvent OnDeviceLost;

    // Every capture buffer the component owns, in allocation order.
    const TWaveHeaders& Headers() const { return FHeaders; }
    HWAVEIN DeviceHandle() const { return FDeviceHandle; }
    const TWaveFormatBlock& DeviceFormat() const { return FDeviceFormat; }

private:
    void AddBuffer();
    void Notice(const TMessage& message);
    void BufferDone(PWaveHdr header);
    void ReleaseHeader(PWaveHdr header);
    // Stops and closes the device and releases every buffer.
    void Shutdown();

    bool FActive = false;
    TWaveHeaders FHeaders;
    uint32_t FBufferSize = 8192;
    TWaveFormatBlock FDeviceFormat{};
    uint8_t FNumBuffers = 4;
    unsigned FQueued = 0;  // buffers at the device, their notices not yet handled
    HWAVEIN FDeviceHandle = nullptr;
    std::unique_ptr<TMessageWindow> FMessageWindow;
};
