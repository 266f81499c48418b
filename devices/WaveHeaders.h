#pragma once

#include "platform/Messages.h"
#include "platform/WaveDevices.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A wave header with a block of bytes of its own, and the device it was handed to.
struct TOwnedHeader {
    WAVEHDR Header{};
    std::unique_ptr<char[]> Bytes;
    const void* Device = nullptr;
};

// The wave headers a device component owns, in the order they were made, from then until
// the component releases them. A device names a header in its notices by address alone,
// and may do so after the header is gone; the list says whether an address is still one of
// its own, so that such a notice is never read.
class TWaveHeaders {
public:
    // A header with a block of size bytes, for device, appended to the list.
    PWaveHdr Add(uint32_t size, const void* device = nullptr);
    bool Contains(const WAVEHDR* header) const;
    // Takes a header out of the list and hands it over; nothing for a header not listed.
    std::unique_ptr<TOwnedHeader> Take(const WAVEHDR* header);
    // Frees a listed header with its block; false for a header not listed.
    bool Release(const WAVEHDR* header) { return Take(header) != nullptr; }
    // Unprepares a listed header with unprepare(header), whose result is not asked for (the
    // header goes either way), then frees it. A header not listed is not the owner's to touch.
    template <typename Unprepare>
    void Release(PWaveHdr header, Unprepare unprepare)
    {
        if (!Contains(header))
            return;
        unprepare(header);
        Release(header);
    }
    PWaveHdr Last() const { return &FHeaders.back()->Header; }
    size_t size() const { return FHeaders.size(); }
    bool empty() const { return FHeaders.empty(); }

private:
    std::vector<std::unique_ptr<TOwnedHeader>> FHeaders;
};

// True when a notice names this device and a header of this list: a notice for a device that
// has been closed since, or for a header already released, is not the component's to read.
bool OwnNotice(const TMessage& message, const void* device, const TWaveHeaders& headers);

// The device and open flags for a format: PCM opens the default device, anything else
// device 0 through the mapper; the buffered output and the capture choose alike.
struct TDeviceChoice {
    UINT DeviceId;
    DWORD Flags;
};
TDeviceChoice ChooseDevice(const WAVEFORMATEX& format);
