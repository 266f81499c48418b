#include "devices/WaveHeaders.h"

#include <algorithm>

PWaveHdr TWaveHeaders::Add(uint32_t size, const void* device)
{
    auto owned = std::make_unique<TOwnedHeader>();
    owned->Bytes = std::make_unique_for_overwrite<char[]>(size);
    owned->Header.lpData = owned->Bytes.get();
    owned->Header.dwBufferLength = size;
    owned->Device = device;
    FHeaders.push_back(std::move(owned));
    return &FHeaders.back()->Header;
}

bool TWaveHeaders::Contains(const WAVEHDR* header) const
{
    return std::any_of(FHeaders.begin(), FHeaders.end(),
                       [header](const auto& owned) { return &owned->Header == header; });
}

std::unique_ptr<TOwnedHeader> TWaveHeaders::Take(const WAVEHDR* header)
{
    const auto it = std::find_if(FHeaders.begin(), FHeaders.end(),
                                 [header](const auto& owned) { return &owned->Header == header; });
    if (it == FHeaders.end())
        return nullptr;
    std::unique_ptr<TOwnedHeader> owned = std::move(*it);
    FHeaders.erase(it);
    return owned;
}

bool OwnNotice(const TMessage& message, const void* device, const TWaveHeaders& headers)
{
    // Only the addresses are compared: the header itself may be gone.
    return device && message.WParam == reinterpret_cast<WPARAM>(device) &&
        headers.Contains(reinterpret_cast<const WAVEHDR*>(message.LParam));
}

TDeviceChoice ChooseDevice(const WAVEFORMATEX& format)
{
    if (format.wFormatTag == WAVE_FORMAT_PCM)
        return {WAVE_MAPPER, CALLBACK_WINDOW};
    return {0, CALLBACK_WINDOW | WAVE_MAPPED};
}
