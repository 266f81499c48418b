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
#include <vector>

JEERBOX_DECLARE_EXCEPTION(EACMOut, Exception)

// Called for each block the device has finished playing; the header and its bytes are
// released right after the call.
using TBufferPlayedEvent = std::function<void(TComponent* Sender, PWaveHdr Header)>;

// Buffered output: a continuous flow of blocks to the wave output. After each Open the first
// NumBuffers blocks are held back; the next one starts all of them in order, and from then on
// every block goes to the device at once. Each block is copied, so a caller may reuse its own
// at once. The device's done notices come to a hidden window of the component, on the
// user-interface thread. Failed device calls raise EACMOut.
class TACMOut : public TComponent {
public:
    explicit TACMOut(TComponent* owner = nullptr);
    ~TACMOut() override;

    // Opens the output for the format; does nothing while active (the earlier format stays).
    // A PCM format goes to the default device, any other through the mapper to device 0.
    void Open(TWaveFormatBlock Format);
    // Queues a copy of Size bytes; nothing for Size 0 or while inactive.
    void Write(const void* Data, uint32_t Size);
    // Stops and closes the device and releases every block, held back or queued, without
    // reporting any of them; nothing while inactive.
    void Close();

    bool Active() const { return FActive; }
    // Blocks held back after each Open; a change while active counts from the next Open.
    uint8_t NumBuffers() const { return FNumBuffers; }
    void SetNumBuffers(uint8_t value) { FNumBuffers = value; }
    TBufferPlayedEvent OnBufferPlayed;

    // Every header the component owns: held back, at the device, or played and not released.
    const TWaveHeaders& Headers() const { return FHeaders; }
    // The headers held back, in arrival order.
    const std::vector<PWaveHdr>& Pending() const { return FPending; }
    HWAVEOUT DeviceHandle() const { return FDeviceHandle; }
    const TWaveFormatBlock& DeviceFormat() const { return FDeviceFormat; }

private:
    void Notice(const TMessage& message);
    void BufferDone(PWaveHdr header);
    void Submit(PWaveHdr header);
    void ReleaseHeader(PWaveHdr header);

    bool FActive = false;
    uint8_t FPrebufferLeft = 0;
    std::vector<PWaveHdr> FPending;
    uint8_t FNumBuffers = 4;
    TWaveHeaders FHeaders;
    TWaveFormatBlock FDeviceFormat{};
    HWAVEOUT FDeviceHandle = nullptr;
    std::unique_ptr<TMessageWindow> FMessageWindow;
};
