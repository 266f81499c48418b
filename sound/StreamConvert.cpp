#include "sound/StreamConvert.h"

#include "acm/AcmBlock.h"
#include "acm/AcmEngine.h"
#include "acm/FormatBlock.h"
#include "framework/SideBySide.h"
#include "sound/ACMConvertor.h"
#include "sound/SoundFile.h"

#include <algorithm>
#include <atomic>
#include <optional>

namespace {

// Source bytes per block: some hundred kilobytes keep a block's work in the caches. A block
// holds a whole number of the engine's steps of frames, so that the resampler is fed as
// converting the whole sound feeds it.
constexpr uint32_t BlockBytes = 256 * 1024;
constexpr uint32_t StepFrames = 1024;

// Source bytes per block for a sound of `size` bytes: a short sound needs no more room than
// it fills.
uint32_t BlockSize(const WAVEFORMATEX& format, uint64_t size)
{
    const uint32_t step = StepFrames * std::max<uint32_t>(1, format.nBlockAlign);
    const uint64_t steps = std::min<uint64_t>(std::max<uint32_t>(1, BlockBytes / step), (size + step - 1) / step);
    return uint32_t(std::max<uint64_t>(1, steps)) * step;
}

// One run of a convertor over source bytes [first, first + count) of the file: the first
// `skip` bytes of its result are dropped, at most `keep` are handed on, at `at` onwards.
struct TRange {
    uint64_t First;
    uint64_t Count;
    uint64_t Skip;
    uint64_t Keep;
    uint64_t At;
};

// A conversion stream that raises what its calls answer, closed however its work ends.
class TConversion {
public:
    TConversion(const TSoundFileStream& source, const WAVEFORMATEX& format)
    {
        TWaveFormatBlock in{};
        SetSourceFormat(in, source.Format, source.FormatExtra);
        TACMConvertor::CheckOpen(FStream.Open(&in.Format, &format), &in.Format);
    }

    // Room for what `bytes` source bytes give.
    void Size(uint32_t bytes)
    {
        uint32_t size = 0;
        TACMConvertor::Check(FStream.Room(bytes, size), "acmStreamSize:");
        FOutput.resize(size);
    }

    // Converts a part of the sound where it lies; returns the count of bytes made, at Output.
    uint32_t Convert(const uint8_t* part, uint32_t count, uint32_t flags)
    {
        const TAcmBlock block = FStream.ConvertInto(part, count, FOutput.data(), uint32_t(FOutput.size()),
                                                    ACM_STREAMCONVERTF_BLOCKALIGN | flags);
        TACMConvertor::Check(block.Result, block.Call);
        return block.Written;
    }

    const uint8_t* Output() const { return FOutput.data(); }

private:
    TAcmStream FStream;
    std::vector<uint8_t> FOutput;
};

// Converts one range; returns the count of bytes it handed on.
uint64_t ConvertRange(TSoundFileStream& source, const WAVEFORMATEX& format, const TRange& range,
                      const TConvertedSink& sink, const std::function<void(uint64_t)>& read)
{
    TConversion stream(source, format);
    const uint32_t block = BlockSize(source.Format, range.Count);
    stream.Size(block);
    source.Skip(range.First);

    uint64_t skip = range.Skip;
    uint64_t handed = 0;
    auto handOn = [&](uint32_t made) {
        const uint32_t dropped = uint32_t(std::min<uint64_t>(skip, made));
        skip -= dropped;
        const uint32_t n = uint32_t(std::min<uint64_t>(made - dropped, range.Keep - handed));
        if (n > 0)
            sink(range.At + handed, stream.Output() + dropped, n);
        handed += n;
    };
    uint64_t left = range.Count;
    uint32_t flags = ACM_STREAMCONVERTF_START;
    for (;;) {
        const uint32_t wanted = uint32_t(std::min<uint64_t>(left, block));
        uint32_t got = 0;
        const uint8_t* part = wanted > 0 ? source.Next(wanted, got) : nullptr;
        // A sound that ends early (a decoder that finds less than it counted) ends the range.
        left = got < wanted ? 0 : left - got;
        read(got);
        if (left == 0)
            flags |= ACM_STREAMCONVERTF_END;
        handOn(stream.Convert(part, got, flags));
        flags = 0;
        if (left == 0)
            break;
    }
    // A sound of one block came out whole; one of several brings its rest after the last.
    if (range.Count > block)
        while (const uint32_t made = stream.Convert(nullptr, 0, ACM_STREAMCONVERTF_END))
            handOn(made);
    return handed;
}
}

uint64_t ConvertSoundFile(const std::string& fileName, const WAVEFORMATEX& format, bool parallel,
                          const TConvertedSink& sink, const TConvertProgress& progress)
{
    TSoundFileStream source(fileName);
    const uint64_t size = source.Size();
    const WAVEFORMATEX& in = source.Format;
    std::optional<AcmHalves> halves;
    // Only a sound of fixed frames is split, and only a long one: a short one is not looked at.
    if (in.nBlockAlign > 0 &&
        AcmSplitInHalves(in.nSamplesPerSec, format.nSamplesPerSec, true, int64_t(size / in.nBlockAlign))) {
        // Only a format the engine takes can be split; any other fails below as it would whole.
        TWaveFormatBlock block{};
        SetSourceFormat(block, in, source.FormatExtra);
        if (const std::optional<AcmSourceFormat> described = AcmSourceFormat::Describe(&block.Format))
            halves = AcmSplitInHalves(in.nSamplesPerSec, format.nSamplesPerSec, described->HasFixedFrames(),
                                      int64_t(described->MaxFrames(size - size % in.nBlockAlign)));
    }

    std::atomic<uint64_t> done{0};
    const uint64_t total = halves ? size + 2 * uint64_t(halves->Overlap) * in.nBlockAlign : size;
    auto read = [&](uint64_t n) {
        done += n;
        if (progress)
            progress(done, total);
    };
    if (!halves)
        return ConvertRange(source, format, {0, size, 0, UINT64_MAX, 0}, sink, read);

    const uint64_t frameBytes = in.nBlockAlign;
    const uint64_t outFrameBytes = format.nBlockAlign;
    const uint64_t splitOut = halves->SplitOut * outFrameBytes;
    const TRange firstHalf{0, uint64_t(halves->Split + halves->Overlap) * frameBytes, 0, splitOut, 0};
    const uint64_t secondFirst = uint64_t(halves->Split - halves->Overlap) * frameBytes;
    const TRange secondHalf{secondFirst, size - secondFirst, halves->Skip * outFrameBytes, UINT64_MAX, splitOut};
    uint64_t made[2] = {0, 0};
    const auto convertHalf = [&](size_t half) {
        if (half == 0) {
            made[0] = ConvertRange(source, format, firstHalf, sink, read);
            return;
        }
        TSoundFileStream again(fileName);
        made[1] = ConvertRange(again, format, secondHalf, sink, read);
    };
    if (parallel) {
        RunSideBySide(2, convertHalf);
    } else {
        convertHalf(0);
        convertHalf(1);
    }
    // As converting whole: the second half counts only behind a complete first.
    return made[0] == splitOut ? made[0] + made[1] : made[0];
}
