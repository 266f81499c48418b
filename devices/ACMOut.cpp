#include "devices/ACMOut.h"

#include "devices/DeviceErrors.h"

#include <algorithm>
#include <cstring>

TACMOut::TACMOut(TComponent* owner)
    : TComponent(owner),
      FMessageWindow(std::make_unique<TMessageWindow>([this](const TMessage& message) { Notice(message); }))
{
}

TACMOut::~TACMOut()
{
    Close();
    FMessageWindow.reset();
}

void TACMOut::Open(TWaveFormatBlock Format)
{
    if (FActive)
        return;
    FDeviceHandle = nullptr;
    FPrebufferLeft = FNumBuffers;
    FDeviceFormat = Format;
    const TDeviceChoice choice = ChooseDevice(FDeviceFormat.Format);
    const MMRESULT result =
        waveOutOpen(&FDeviceHandle, choice.DeviceId, &FDeviceFormat.Format, FMessageWindow.get(), 0, choice.Flags);
    if (result != MMSYSERR_NOERROR) {
        FDeviceHandle = nullptr;
        RaiseDeviceError<EACMOut>("WaveOutOpen", result);
    }
    FActive = true;
}

void TACMOut::Write(const void* Data, uint32_t Size)
{
    if (Size == 0 || !FActive)
        return;
    const PWaveHdr header = FHeaders.Add(Size);
    std::memcpy(header->lpData, Data, Size);
    header->dwLoops = 1;

    FPending.push_back(header);
    if (FPrebufferLeft > 0) {
        --FPrebufferLeft;
        return;
    }
    // Each block leaves the held-back list as it goes to the device, so that after a failure
    // the blocks behind it follow with the next Write, and none goes twice.
    while (!FPending.empty()) {
        const PWaveHdr next = FPending.front();
        FPending.erase(FPending.begin());
        Submit(next);
    }
}

void TACMOut::Submit(PWaveHdr header)
{
    MMRESULT result = waveOutPrepareHeader(FDeviceHandle, header, sizeof(WAVEHDR));
    const char* operation = "WaveOut-PrepareHeader";
    if (result == MMSYSERR_NOERROR) {
        result = waveOutWrite(FDeviceHandle, header, sizeof(WAVEHDR));
        operation = "WaveOut-Write";
    }
    if (result != MMSYSERR_NOERROR) {
        // The device did not take the block, so no notice will ever release it.
        ReleaseHeader(header);
        RaiseDeviceError<EACMOut>(operation, result);
    }
}

void TACMOut::Notice(const TMessage& message)
{
    if (message.Msg == MM_WOM_DONE && FActive && OwnNotice(message, FDeviceHandle, FHeaders))
        BufferDone(reinterpret_cast<PWaveHdr>(message.LParam));
}

void TACMOut::BufferDone(PWaveHdr header)
{
    if (OnBufferPlayed)
        OnBufferPlayed(this, header);
    // The handler may have closed the component, which released the header.
    if (!FActive || !FHeaders.Contains(header))
        return;
    RaiseDeviceError<EACMOut>("WaveOut-UnprepareHeader",
                              waveOutUnprepareHeader(FDeviceHandle, header, sizeof(WAVEHDR)));
    ReleaseHeader(header);
}

void TACMOut::ReleaseHeader(PWaveHdr header)
{
    FHeaders.Release(header, [this](PWaveHdr owned) { waveOutUnprepareHeader(FDeviceHandle, owned, sizeof(WAVEHDR)); });
}

void TACMOut::Close()
{
    if (!FActive)
        return;
    FActive = false;
    waveOutReset(FDeviceHandle);
    waveOutClose(FDeviceHandle);
    FPending.clear();
    while (!FHeaders.empty())
        ReleaseHeader(FHeaders.Last());
    FDeviceHandle = nullptr;
}
