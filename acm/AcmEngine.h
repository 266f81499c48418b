#pragma once

#include "acm/AcmSource.h"
#include "acm/MMSystem.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Runs two halves of one conversion at the same time, the first on a thread of its own, and
// answers a failed half's code (the second's when both fail). A half that raises gives
// MMSYSERR_NOMEM for a failed allocation, MMSYSERR_ERROR for anything else; both halves always
// finish before this returns.
MMRESULT AcmRunHalves(const std::function<MMRESULT()>& first, const std::function<MMRESULT()>& second) noexcept;

// How a conversion of a long sound is cut into two halves that run side by side: the first
// converts source frames [0, Split + Overlap) and keeps its first SplitOut frames of result,
// the second converts [Split - Overlap, end), drops its first Skip frames of result and
// keeps the rest. The halves meet where a source frame falls exactly on a result frame, so
// that the second's result lines up with the first's to the frame.
struct AcmHalves {
    int64_t Split;
    int64_t Overlap;
    uint64_t SplitOut;
    uint64_t Skip;
};

// The halves for `frames` source frames of fixed size from rate `from` to rate `to`, or
// nothing when the sound is converted in one run: too short, the same rate, frames of
// varying size, or a machine of one core.
std::optional<AcmHalves> AcmSplitInHalves(uint32_t from, uint32_t to, bool fixedFrames, int64_t frames);

// The converter behind every conversion stream: decodes the source (plain PCM and float
// samples itself, every other format with libsndfile), averages
// the channels, changes the rate with libsoxr and rounds to the destination's PCM width.
// Identical source and destination formats are copied byte for byte.
class AcmEngine {
public:
    // A converter from src to dst, or the result code that says why there is none.
    static MMRESULT Create(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, std::unique_ptr<AcmEngine>& engine);
    ~AcmEngine();

    // Destination bytes that are enough for converting sourceBytes.
    MMRESULT DestinationSize(uint32_t sourceBytes, uint32_t& destinationBytes) const;

    // Converts a source block. Never writes more than dstLength bytes. The flags are the
    // stream's: with ACM_STREAMCONVERTF_BLOCKALIGN only whole source blocks are taken.
    //
    // A block given without ACM_STREAMCONVERTF_START or _END is a sound of its own and is
    // converted completely. A sound may also arrive in blocks: the first carries _START, the
    // last _END, the blocks between neither. The converter then keeps its state from block to
    // block (decoder, resampler), so that the blocks' results together are the very bytes
    // that converting the whole sound as one block gives. Whole source blocks are taken each
    // time (the rest of the source too with the last block unless _BLOCKALIGN), and each call
    // hands out what is ready, as much as fits; what does not fit, and what the resampler lets
    // out at the end, waits for the next call: after the last block the caller calls again
    // with _END and no source until nothing more comes.
    MMRESULT Convert(const uint8_t* src, uint32_t srcLength, uint32_t flags, uint8_t* dst, uint32_t dstLength,
                     uint32_t& srcUsed, uint32_t& dstUsed);

private:
    struct Destination {
        uint16_t Channels;
        uint32_t SamplesPerSec;
        uint16_t Bits;
        uint16_t BlockAlign;
    };
    struct Run;
    AcmEngine(AcmSourceFormat source, const Destination& destination, bool identity);

    MMRESULT ConvertWhole(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength, uint32_t& dstUsed);
    MMRESULT ConvertInRun(const uint8_t* src, uint32_t srcLength, bool last, uint8_t* dst, uint32_t dstLength,
                          uint32_t& dstUsed);

    // Converts `count` source frames from frame `first` on, drops the first `skip` frames
    // of the result and writes at most `capacity` frames at dst.
    MMRESULT Render(const uint8_t* src, uint32_t srcLength, int64_t first, int64_t count, uint64_t skip, uint8_t* dst,
                    uint64_t capacity, uint64_t& written) const;
    // The most result frames that `frames` source frames give.
    uint64_t MostFramesOut(uint64_t frames) const;

    AcmSourceFormat FSource;
    Destination FDestination;
    bool FIdentity;
    std::unique_ptr<Run> FRun;
};
