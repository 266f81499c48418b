#pragma once

#include "acm/MSAcm.h"

#include <cstdint>
#include <vector>

// The conversion-stream calls a stream makes. They are the platform's; a test puts its own
// in their place to make a chosen call fail.
struct TACMStreamCalls {
    decltype(&acmStreamOpen) Open = acmStreamOpen;
    decltype(&acmStreamSize) Size = acmStreamSize;
    decltype(&acmStreamPrepareHeader) PrepareHeader = acmStreamPrepareHeader;
    decltype(&acmStreamConvert) Convert = acmStreamConvert;
    decltype(&acmStreamReset) Reset = acmStreamReset;
    decltype(&acmStreamUnprepareHeader) UnprepareHeader = acmStreamUnprepareHeader;
    decltype(&acmStreamClose) Close = acmStreamClose;
};

// What converting one block came to.
struct TAcmBlock {
    MMRESULT Result = MMSYSERR_NOERROR;  // the first call that failed, or success
    const char* Call = nullptr;  // the call Result answers, as a message of its failure names it
    uint32_t Room = 0;  // what acmStreamSize promised for the block
    uint32_t SourceUsed = 0;
    uint32_t Written = 0;
};

// A conversion stream, the one way a block of sound is converted: the convertor, the
// converting of a file block by block and the wave mapper all drive their streams through
// it. The room for a block is what the stream promises for it, a header is prepared over the
// block and that room, the block converted, the header unprepared. Closed with its owner.
class TAcmStream {
public:
    TAcmStream() = default;
    ~TAcmStream();
    TAcmStream(const TAcmStream&) = delete;
    TAcmStream& operator=(const TAcmStream&) = delete;

    TACMStreamCalls Calls;

    // Opens a stream from source (its record and the cbSize extra bytes behind it) to target,
    // after closing the one open before.
    MMRESULT Open(const WAVEFORMATEX* source, const WAVEFORMATEX* target, uint32_t flags = ACM_STREAMOPENF_NONREALTIME);
    // Closes the stream; nothing when none is open. A stream that will not close stays open,
    // so that a later Close can try again.
    MMRESULT Close();
    bool IsOpen() const { return StreamHandle != nullptr; }

    // The room that length source bytes need: the stream's promise.
    MMRESULT Room(uint32_t length, uint32_t& room) const;

    // The single calls on a header, for a caller that keeps one prepared over its buffers
    // from conversion to conversion.
    MMRESULT Prepare(ACMSTREAMHEADER& header) { return Calls.PrepareHeader(StreamHandle, &header, 0); }
    MMRESULT ConvertHeader(ACMSTREAMHEADER& header, uint32_t flags)
    {
        return Calls.Convert(StreamHandle, &header, flags);
    }
    MMRESULT Unprepare(ACMSTREAMHEADER& header) { return Calls.UnprepareHeader(StreamHandle, &header, 0); }
    MMRESULT Reset() { return Calls.Reset(StreamHandle, 0); }

    // One block into a destination of room bytes. The header is unprepared whenever it was
    // prepared; its failure counts only when everything before succeeded.
    TAcmBlock ConvertInto(const uint8_t* source, uint32_t length, uint8_t* destination, uint32_t room,
                          uint32_t flags = ACM_STREAMCONVERTF_BLOCKALIGN);
    // One block appended to out, in room of exactly the promised size; out keeps the bytes
    // written, none after a failure. A promise of more than `most` bytes, or of more memory
    // than can be had, is refused with MMSYSERR_NOMEM and converts nothing.
    TAcmBlock Convert(const uint8_t* source, uint32_t length, std::vector<uint8_t>& out,
                      uint32_t flags = ACM_STREAMCONVERTF_BLOCKALIGN, uint32_t most = UINT32_MAX);
    // Bytes that may begin and end inside one of the source's blocks (nBlockAlign bytes):
    // carry holds the start of a block that the bytes before left incomplete. The block it
    // starts is completed and converted first, then the whole blocks that follow, and the start
    // of a block the bytes leave incomplete is kept in carry for the next call. A failure
    // leaves carry and out part way: a caller that must keep them as they were works on copies.
    MMRESULT ConvertRun(std::vector<uint8_t>& carry, const uint8_t* data, uint32_t size, std::vector<uint8_t>& out);

protected:
    HACMSTREAM StreamHandle = nullptr;

private:
    uint32_t FBlockAlign = 1;
};
