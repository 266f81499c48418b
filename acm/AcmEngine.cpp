#include "acm/AcmEngine.h"

#include "acm/AcmStages.h"
#include "acm/MSAcm.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <numeric>
#include <thread>

using namespace AcmStages;

namespace {

// A long sound is resampled as two halves on two threads. Each half reaches this far into
// the other, well past the filter's reach, and the overlap is dropped from the result.
constexpr int64_t SplitFrames = int64_t(1) << 20;
constexpr int64_t OverlapFrames = 16384;

// What a half that failed by an exception answers: the result a platform call would give.
MMRESULT ResultOf(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

MMRESULT RunCaught(const std::function<MMRESULT()>& half) noexcept
{
    try {
        return half();
    } catch (...) {
        return ResultOf(std::current_exception());
    }
}
}

MMRESULT AcmRunHalves(const std::function<MMRESULT()>& first, const std::function<MMRESULT()>& second) noexcept
{
    // Each half answers with a code, so that neither an exception on the other thread nor one
    // that would leave this frame with the thread still running can end the program.
    MMRESULT firstResult = MMSYSERR_NOERROR;
    std::thread firstHalf;
    try {
        firstHalf = std::thread([&] { firstResult = RunCaught(first); });
    } catch (...) {
        // No second thread to be had: the halves take turns on this one.
        firstResult = RunCaught(first);
    }
    const MMRESULT secondResult = RunCaught(second);
    if (firstHalf.joinable())
        firstHalf.join();
    return secondResult ? secondResult : firstResult;
}

// A sound that arrives in blocks: the stages it runs through, its reader where the decoder
// carries state from block to block, and the result not yet handed out.
struct AcmEngine::Run {
    Run(const AcmSourceFormat& source, const Destination& destination)
        : Stages(source, destination.Channels, destination.SamplesPerSec, destination.Bits)
    {
    }

    Pipeline Stages;
    std::unique_ptr<AcmSourceReader> Continuing;
    std::vector<uint8_t> Pending;
    size_t Handed = 0;
    uint64_t FramesIn = 0;
    uint64_t FramesOut = 0;
    bool Ended = false;

    // The frames of result still to come when all the input so far gives at most `most`, with
    // a margin for the resampler's rounding.
    uint64_t RoomFor(uint64_t most) const { return most + 16 > FramesOut ? most + 16 - FramesOut : 0; }

    // Room at the end of Pending for `frames` more frames of result.
    uint8_t* Room(uint64_t frames, uint16_t blockAlign)
    {
        const size_t used = Pending.size();
        Pending.resize(used + size_t(frames) * blockAlign);
        return Pending.data() + used;
    }
};

std::optional<AcmHalves> AcmSplitInHalves(uint32_t from, uint32_t to, bool fixedFrames, int64_t frames)
{
    if (from == to || !fixedFrames || frames < SplitFrames || std::thread::hardware_concurrency() <= 1)
        return std::nullopt;
    const int64_t p = from / std::gcd(from, to);
    const int64_t q = to / std::gcd(from, to);
    const int64_t overlap = (OverlapFrames + p - 1) / p * p;
    const int64_t split = frames / 2 / p * p;
    if (split <= overlap)
        return std::nullopt;
    return AcmHalves{split, overlap, uint64_t(split / p * q), uint64_t(overlap / p * q)};
}

AcmEngine::AcmEngine(AcmSourceFormat source, const Destination& destination, bool identity)
    : FSource(std::move(source)), FDestination(destination), FIdentity(identity)
{
}

AcmEngine::~AcmEngine() = default;

MMRESULT AcmEngine::Create(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, std::unique_ptr<AcmEngine>& engine)
{
    if (!src || !dst)
        return MMSYSERR_INVALPARAM;
    const bool dstValid = dst->wFormatTag == WAVE_FORMAT_PCM && AcmShapeIsSane(dst->nChannels, dst->nSamplesPerSec) &&
        (dst->wBitsPerSample == 8 || dst->wBitsPerSample == 16 || dst->wBitsPerSample == 24 ||
         dst->wBitsPerSample == 32) &&
        uint32_t(dst->nBlockAlign) == uint32_t(dst->nChannels) * dst->wBitsPerSample / 8;
    if (!dstValid)
        return ACMERR_NOTPOSSIBLE;
    std::optional<AcmSourceFormat> source = AcmSourceFormat::Describe(src);
    if (!source)
        return ACMERR_NOTPOSSIBLE;
    const Destination destination{dst->nChannels, dst->nSamplesPerSec, dst->wBitsPerSample, dst->nBlockAlign};
    const bool identity = src->wFormatTag == WAVE_FORMAT_PCM && src->nChannels == dst->nChannels &&
        src->nSamplesPerSec == dst->nSamplesPerSec && src->wBitsPerSample == dst->wBitsPerSample &&
        src->nBlockAlign == dst->nBlockAlign;
    engine.reset(new AcmEngine(std::move(*source), destination, identity));
    return MMSYSERR_NOERROR;
}

uint64_t AcmEngine::MostFramesOut(uint64_t frames) const
{
    if (FSource.SamplesPerSec == FDestination.SamplesPerSec || frames == 0)
        return frames;
    // The resampler gives about frames × to / from; one more frame covers its rounding.
    return (frames * FDestination.SamplesPerSec + FSource.SamplesPerSec - 1) / FSource.SamplesPerSec + 1;
}

MMRESULT AcmEngine::DestinationSize(uint32_t sourceBytes, uint32_t& destinationBytes) const
{
    if (FIdentity) {
        destinationBytes = sourceBytes;
        return MMSYSERR_NOERROR;
    }
    const uint64_t bytes = MostFramesOut(FSource.MaxFrames(sourceBytes)) * FDestination.BlockAlign;
    if (bytes > UINT32_MAX)
        return ACMERR_NOTPOSSIBLE;
    destinationBytes = uint32_t(bytes);
    return MMSYSERR_NOERROR;
}

MMRESULT AcmEngine::Convert(const uint8_t* src, uint32_t srcLength, uint32_t flags, uint8_t* dst, uint32_t dstLength,
                            uint32_t& srcUsed, uint32_t& dstUsed)
{
    srcUsed = 0;
    dstUsed = 0;
    const bool start = flags & ACM_STREAMCONVERTF_START;
    const bool end = flags & ACM_STREAMCONVERTF_END;
    const uint32_t whole = srcLength - srcLength % FSource.BlockAlign;
    // A sound in blocks whose end has come takes only the calls that collect its rest.
    if (FRun && FRun->Ended && (start || !end))
        FRun.reset();
    if (FIdentity || (start && end) || (!FRun && !start)) {
        FRun.reset();
        const uint32_t taken = (flags & ACM_STREAMCONVERTF_BLOCKALIGN) ? whole : srcLength;
        if (taken == 0)
            return MMSYSERR_NOERROR;
        if (const MMRESULT result = ConvertWhole(src, taken, dst, dstLength, dstUsed))
            return result;
        srcUsed = FIdentity ? dstUsed : taken;
        return MMSYSERR_NOERROR;
    }
    if (start) {
        FRun = std::make_unique<Run>(FSource, FDestination);
        if (!FRun->Stages.Ok()) {
            FRun.reset();
            return MMSYSERR_NOMEM;
        }
    }
    const uint32_t taken = FRun->Ended ? 0 : end && !(flags & ACM_STREAMCONVERTF_BLOCKALIGN) ? srcLength : whole;
    const MMRESULT result = ConvertInRun(src, taken, end, dst, dstLength, dstUsed);
    if (result) {
        FRun.reset();
        return result;
    }
    srcUsed = taken;
    if (FRun->Ended && FRun->Handed == FRun->Pending.size())
        FRun.reset();
    return MMSYSERR_NOERROR;
}

MMRESULT AcmEngine::ConvertInRun(const uint8_t* src, uint32_t srcLength, bool last, uint8_t* dst, uint32_t dstLength,
                                 uint32_t& dstUsed)
{
    Run& run = *FRun;
    const uint16_t channels = FDestination.Channels;
    const uint16_t blockAlign = FDestination.BlockAlign;
    // What was handed out makes way for what comes now.
    run.Pending.erase(run.Pending.begin(), run.Pending.begin() + ptrdiff_t(run.Handed));
    run.Handed = 0;
    if (!run.Ended && srcLength > 0) {
        const int64_t frames = int64_t(FSource.MaxFrames(srcLength));
        // A format whose decoder carries state from block to block is read by one reader
        // over the whole sound; any other by a reader of the block alone.
        std::unique_ptr<AcmSourceReader> own;
        AcmSourceReader* reader;
        if (!FSource.DecodesAcrossBlocks()) {
            own = std::make_unique<AcmSourceReader>(FSource, src, srcLength);
            if (!own->Open())
                return ACMERR_NOTPOSSIBLE;
            reader = own.get();
        } else if (!run.Continuing) {
            run.Continuing = std::make_unique<AcmSourceReader>(FSource);
            run.Continuing->Feed(src, srcLength);
            if (!run.Continuing->Open())
                return ACMERR_NOTPOSSIBLE;
            reader = run.Continuing.get();
        } else {
            run.Continuing->Feed(src, srcLength);
            reader = run.Continuing.get();
        }
        run.FramesIn += uint64_t(frames);
        // The resampler never gets ahead of its input: what it has made so far stays within
        // the most that all the input so far gives.
        const uint64_t room = run.RoomFor(MostFramesOut(run.FramesIn));
        Quantizer sink(FDestination.Bits, run.Room(room, blockAlign), room * channels, 0);
        const bool pumped = run.Stages.Pump(*reader, frames, sink);
        run.Pending.resize(run.Pending.size() - size_t(room - sink.Written() / channels) * blockAlign);
        run.FramesOut += sink.Written() / channels;
        if (!pumped)
            return MMSYSERR_ERROR;
    }
    if (last && !run.Ended) {
        const uint64_t room = run.RoomFor(MostFramesOut(run.FramesIn));
        Quantizer sink(FDestination.Bits, run.Room(room, blockAlign), room * channels, 0);
        const bool finished = run.Stages.Finish(sink);
        run.Pending.resize(run.Pending.size() - size_t(room - sink.Written() / channels) * blockAlign);
        run.FramesOut += sink.Written() / channels;
        if (!finished)
            return MMSYSERR_ERROR;
        // The whole sound as one block is held to the most its frames give: so is this.
        const uint64_t most = MostFramesOut(run.FramesIn);
        if (run.FramesOut > most) {
            run.Pending.resize(run.Pending.size() - size_t(run.FramesOut - most) * blockAlign);
            run.FramesOut = most;
        }
        run.Ended = true;
    }
    const size_t handed = std::min(run.Pending.size(), size_t(dstLength - dstLength % blockAlign));
    if (handed > 0)
        std::memcpy(dst, run.Pending.data(), handed);
    run.Handed = handed;
    dstUsed = uint32_t(handed);
    return MMSYSERR_NOERROR;
}

MMRESULT AcmEngine::ConvertWhole(const uint8_t* src, uint32_t srcLength, uint8_t* dst, uint32_t dstLength,
                                 uint32_t& dstUsed)
{
    if (FIdentity) {
        const uint32_t n = std::min(srcLength, dstLength - dstLength % FDestination.BlockAlign);
        std::memcpy(dst, src, n);
        dstUsed = n;
        return MMSYSERR_NOERROR;
    }

    const uint64_t capacity = dstLength / FDestination.BlockAlign;
    const int64_t frames = int64_t(FSource.MaxFrames(srcLength));
    uint64_t written = 0;
    MMRESULT result;
    if (const std::optional<AcmHalves> halves =
            AcmSplitInHalves(FSource.SamplesPerSec, FDestination.SamplesPerSec, FSource.HasFixedFrames(), frames)) {
        const uint64_t splitOut = std::min(halves->SplitOut, capacity);
        const int64_t split = halves->Split;
        const int64_t overlap = halves->Overlap;
        uint64_t firstWritten = 0;
        uint64_t secondWritten = 0;
        result = AcmRunHalves(
            [&] {
                return Render(src, srcLength, 0, std::min(frames, split + overlap), 0, dst, splitOut, firstWritten);
            },
            [&] {
                return Render(src, srcLength, split - overlap, frames - split + overlap, halves->Skip,
                              dst + splitOut * FDestination.BlockAlign, capacity - splitOut, secondWritten);
            });
        written = firstWritten == splitOut ? firstWritten + secondWritten : firstWritten;
    } else {
        result = Render(src, srcLength, 0, frames, 0, dst, capacity, written);
    }
    if (result)
        return result;
    dstUsed = uint32_t(written * FDestination.BlockAlign);
    return MMSYSERR_NOERROR;
}

MMRESULT AcmEngine::Render(const uint8_t* src, uint32_t srcLength, int64_t first, int64_t count, uint64_t skip,
                           uint8_t* dst, uint64_t capacity, uint64_t& written) const
{
    written = 0;
    AcmSourceReader reader(FSource, src, srcLength);
    if (!reader.Open() || (first > 0 && !reader.Seek(first)))
        return ACMERR_NOTPOSSIBLE;
    const uint16_t channels = FDestination.Channels;
    Quantizer sink(FDestination.Bits, dst, capacity * channels, skip * channels);
    Pipeline pipeline(FSource, channels, FDestination.SamplesPerSec, FDestination.Bits);
    if (!pipeline.Ok())
        return MMSYSERR_NOMEM;
    if (!pipeline.Pump(reader, count, sink) || !pipeline.Finish(sink))
        return MMSYSERR_ERROR;
    written = sink.Written() / channels;
    return MMSYSERR_NOERROR;
}
