#pragma once

#include "acm/MSAcm.h"

#include <cstdint>
#include <vector>

// What converting one block came to.
struct TAcmBlock {
    MMRESULT Result = MMSYSERR_NOERROR;  // the first call that failed, or success
    uint32_t Room = 0;  // what acmStreamSize promised for the block
    uint32_t SourceUsed = 0;
    uint32_t Written = 0;
};

// A conversion stream through which blocks of sound are converted the same way by every
// caller: the room for a block is what the stream promises for it, a header is prepared over
// the block and that room, the block converted, the header unprepared. Closed with its owner.
class TAcmStream {
public:
    TAcmStream() = default;
    ~TAcmStream();
    TAcmStream(const TAcmStream&) = delete;
    TAcmStream& operator=(const TAcmStream&) = delete;

    // Opens a stream from source (its record and the cbSize extra bytes behind it) to target,
    // after closing the one open before.
    MMRESULT Open(const WAVEFORMATEX* source, const WAVEFORMATEX* target, uint32_t flags = ACM_STREAMOPENF_NONREALTIME);
    // Closes the stream; nothing when none is open.
    MMRESULT Close();
    bool IsOpen() const { return FHandle != nullptr; }

    // The room that length source bytes need: the stream's promise.
    MMRESULT Room(uint32_t length, uint32_t& room) const;
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

private:
    HACMSTREAM FHandle = nullptr;
    uint32_t FBlockAlign = 1;
};
