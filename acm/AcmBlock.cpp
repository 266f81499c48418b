#include "acm/AcmBlock.h"

#include <algorithm>
#include <new>

TAcmStream::~TAcmStream()
{
    Close();
}

MMRESULT TAcmStream::Open(const WAVEFORMATEX* source, const WAVEFORMATEX* target, uint32_t flags)
{
    Close();
    const MMRESULT result = Calls.Open(&StreamHandle, nullptr, source, target, nullptr, 0, 0, flags);
    if (result != MMSYSERR_NOERROR) {
        StreamHandle = nullptr;
        return result;
    }
    // A block of no bytes would never complete.
    FBlockAlign = std::max<uint32_t>(source->nBlockAlign, 1);
    return MMSYSERR_NOERROR;
}

MMRESULT TAcmStream::Close()
{
    if (!StreamHandle)
        return MMSYSERR_NOERROR;
    const MMRESULT result = Calls.Close(StreamHandle, 0);
    if (result == MMSYSERR_NOERROR)
        StreamHandle = nullptr;
    return result;
}

MMRESULT TAcmStream::Room(uint32_t length, uint32_t& room) const
{
    return Calls.Size(StreamHandle, length, &room, ACM_STREAMSIZEF_SOURCE);
}

TAcmBlock TAcmStream::ConvertInto(const uint8_t* source, uint32_t length, uint8_t* destination, uint32_t room,
                                  uint32_t flags)
{
    TAcmBlock block;
    block.Room = room;
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = const_cast<uint8_t*>(source);
    header.cbSrcLength = length;
    header.pbDst = destination;
    header.cbDstLength = room;
    block.Call = "acmStreamPrepareHeader:";
    block.Result = Prepare(header);
    if (block.Result != MMSYSERR_NOERROR)
        return block;
    block.Call = "acmStreamConvert:";
    block.Result = ConvertHeader(header, flags);
    const MMRESULT unprepared = Unprepare(header);
    if (block.Result == MMSYSERR_NOERROR) {
        block.Call = "acmStreamUnPrepareHeader:";
        block.Result = unprepared;
    }
    block.SourceUsed = header.cbSrcLengthUsed;
    block.Written = header.cbDstLengthUsed;
    return block;
}

TAcmBlock TAcmStream::Convert(const uint8_t* source, uint32_t length, std::vector<uint8_t>& out, uint32_t flags,
                              uint32_t most)
{
    TAcmBlock block;
    block.Call = "acmStreamSize:";
    block.Result = Room(length, block.Room);
    if (block.Result != MMSYSERR_NOERROR)
        return block;
    if (block.Room > most)
        block.Result = MMSYSERR_NOMEM;
    const size_t before = out.size();
    if (block.Result == MMSYSERR_NOERROR) {
        try {
            out.resize(before + block.Room);
        } catch (const std::bad_alloc&) {
            block.Result = MMSYSERR_NOMEM;
        }
    }
    if (block.Result != MMSYSERR_NOERROR)
        return block;
    block = ConvertInto(source, length, out.data() + before, block.Room, flags);
    out.resize(before + (block.Result == MMSYSERR_NOERROR ? block.Written : 0));
    return block;
}

MMRESULT TAcmStream::ConvertRun(std::vector<uint8_t>& carry, const uint8_t* data, uint32_t size,
                                std::vector<uint8_t>& out)
{
    if (!carry.empty()) {
        const uint32_t take = std::min<uint32_t>(size, FBlockAlign - uint32_t(carry.size()));
        carry.insert(carry.end(), data, data + take);
        data += take;
        size -= take;
        if (carry.size() < FBlockAlign)
            return MMSYSERR_NOERROR;
        if (const MMRESULT result = Convert(carry.data(), FBlockAlign, out).Result)
            return result;
        carry.clear();
    }
    const uint32_t whole = size - size % FBlockAlign;
    if (whole > 0)
        if (const MMRESULT result = Convert(data, whole, out).Result)
            return result;
    carry.assign(data + whole, data + size);
    return MMSYSERR_NOERROR;
}
