#include "devices/ACMIn.h"

#include "devices/DeviceErrors.h"

#include <algorithm>
#include <cstring>

namespace {

// Clears a capture buffer for the device's next use.
void ClearBuffer(PWaveHdr header, uint32_t size)
{
    header->dwBufferLength = size;
    header->dwBytesRecorded = 0;
    header->dwUser = 0;
    header->dwFlags = 0;
    header->dwLoops = 0;
    std::memset(header->lpData, 0, size);
}

}  // namespace

TACMIn::TACMIn(TComponent* owner)
    : TComponent(owner),
      FMessageWindow(std::make_unique<TMessageWindow>([this](const TMessage& message) { Notice(message); }))
{
}

TACMIn::~TACMIn()
{
    Close();
    FMessageWindow.reset();
}

void TACMIn::SetBufferSize(uint32_t value)
{
    if (!FActive && value > 0)
        FBufferSize = value;
}

void TACMIn::SetNumBuffers(uint8_t value)
{
    if (!FActive && value >= MinBuffers && value <= MaxBuffers)
        FNumBuffers = value;
}

void TACMIn::Open(TWaveFormatBlock Format)
{
    if (FActive)
        return;
    FDeviceHandle = nullptr;
    FDeviceFormat = Format;
    const TDeviceChoice choice = ChooseDevice(FDeviceFormat.Format);
    const MMRESULT result =
        waveInOpen(&FDeviceHandle, choice.DeviceId, &FDeviceFormat.Format, FMessageWindow.get(), 0, choice.Flags);
    if (result != MMSYSERR_NOERROR) {
        FDeviceHandle = nullptr;
        RaiseDeviceError<EACMIn>("WaveIn-Open", result);
    }
    try {
        for (unsigned i = 0; i < FNumBuffers; ++i)
            AddBuffer();
        RaiseDeviceError<EACMIn>("WaveIn-Start", waveInStart(FDeviceHandle));
    } catch (...) {
        // Inactive, the component would never close the device nor free the buffers.
        Shutdown();
        throw;
    }
    FActive = true;
}

void TACMIn::AddBuffer()
{
    const PWaveHdr header = FHeaders.Add(FBufferSize);
    RaiseDeviceError<EACMIn>("WaveIn-PrepareHeader", waveInPrepareHeader(FDeviceHandle, header, sizeof(WAVEHDR)));
    RaiseDeviceError<EACMIn>("WaveIn-AddBuffer", waveInAddBuffer(FDeviceHandle, header, sizeof(WAVEHDR)));
    ++FQueued;
}

void TACMIn::Notice(const TMessage& message)
{
    if (message.Msg == MM_WIM_DATA && FActive && OwnNotice(message, FDeviceHandle, FHeaders))
        BufferDone(reinterpret_cast<PWaveHdr>(message.LParam));
}

void TACMIn::BufferDone(PWaveHdr header)
{
    --FQueued;
    const uint32_t n = std::min(header->dwBytesRecorded, header->dwBufferLength);
    if (OnBufferFull) {
        // The handler keeps its copy valid while the device refills the buffer.
        const std::unique_ptr<char[]> copy(new char[n]);
        std::memcpy(copy.get(), header->lpData, n);
        OnBufferFull(this, copy.get(), static_cast<int>(n));
        // The handler may have closed the component, which released the buffer.
        if (!FActive || !FHeaders.Contains(header))
            return;
    }
    RaiseDeviceError<EACMIn>("WaveIn-UnprepareHeader", waveInUnprepareHeader(FDeviceHandle, header, sizeof(WAVEHDR)));
    ClearBuffer(header, FBufferSize);
    RaiseDeviceError<EACMIn>("WaveIn-PrepareHeader", waveInPrepareHeader(FDeviceHandle, header, sizeof(WAVEHDR)));
    const MMRESULT queued = waveInAddBuffer(FDeviceHandle, header, sizeof(WAVEHDR));
    if (queued == MMSYSERR_NOERROR) {
        ++FQueued;
        return;
    }
    if (queued == MMSYSERR_NODRIVER) {
        // The device is gone and hands back every buffer: the capture ends with the last.
        if (FQueued > 0)
            return;
        Close();
        if (OnDeviceLost)
            OnDeviceLost(this);
    }
    RaiseDeviceError<EACMIn>("WaveInAddBuffer", queued);
}

void TACMIn::ReleaseHeader(PWaveHdr header)
{
    FHeaders.Release(header, [this](PWaveHdr owned) { waveInUnprepareHeader(FDeviceHandle, owned, sizeof(WAVEHDR)); });
}

void TACMIn::Close()
{
    if (!FActive)
        return;
    FActive = false;
    Shutdown();
}

void TACMIn::Shutdown()
{
    waveInReset(FDeviceHandle);
    waveInClose(FDeviceHandle);
    while (!FHeaders.empty())
        ReleaseHeader(FHeaders.Last());
    FQueued = 0;
    FDeviceHandle = nullptr;
}
