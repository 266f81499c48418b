#pragma once

#include "acm/AcmSource.h"
#include "acm/MMSystem.h"

#include <cstdint>
#include <functional>
#include <memory>

// Runs two halves of one conversion at the same time, the first on a thread of its own, and
// answers a failed half's code (the second's when both fail). A half that raises gives
// MMSYSERR_NOMEM for a failed allocation, MMSYSERR_ERROR for anything else; both halves always
// finish before this returns.
MMRESULT AcmRunHalves(const std::function<MMRESULT()>& first, const std::function<MMRESULT()>& second) noexcept;

// The converter behind every conversion stream: decodes the source with libsndfile, averages
// the channels, changes the rate with libsoxr and rounds to the destination's PCM width.
// Identical source and destination formats are copied byte for byte.
class AcmEngine {
public:
    // A converter from src to dst, or the result code that says why there is none.
    static MMRESULT Create(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, std::unique_ptr<AcmEngine>& engine);

    // Destination bytes that are enough for converting sourceBytes.
    MMRESULT DestinationSize(uint32_t sourceBytes, uint32_t& destinationBytes) const;

    // Converts the source block completely; with wholeBlocks only whole source blocks. Never
    // writes more than dstLength bytes.
    MMRESULT Convert(const uint8_t* src, uint32_t srcLength, bool wholeBlocks, uint8_t* dst, uint32_t dstLength,
                     uint32_t& srcUsed, uint32_t& dstUsed) const;

private:
    struct Destination {
        uint16_t Channels;
        uint32_t SamplesPerSec;
        uint16_t Bits;
        uint16_t BlockAlign;
    };
    AcmEngine(AcmSourceFormat source, const Destination& destination, bool identity);

    // Converts `count` source frames from frame `first` on, drops the first `skip` frames
    // of the result and writes at most `capacity` frames at dst.
    MMRESULT Render(const uint8_t* src, uint32_t srcLength, int64_t first, int64_t count, uint64_t skip, uint8_t* dst,
                    uint64_t capacity, uint64_t& written) const;

    AcmSourceFormat FSource;
    Destination FDestination;
    bool FIdentity;
};
