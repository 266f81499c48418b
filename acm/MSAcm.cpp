#include "acm/MSAcm.h"

#include "acm/AcmEngine.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

// A stream is its converter and the headers prepared on it, with the buffers they had
// then: a header whose buffers were changed behind the stream's back is refused.
struct HACMSTREAM__ {
    struct Prepared {
        const ACMSTREAMHEADER* Header;
        const uint8_t* Src;
        uint32_t SrcLength;
        const uint8_t* Dst;
        uint32_t DstLength;
    };
    std::unique_ptr<AcmEngine> Engine;
    std::vector<Prepared> Headers;

    Prepared* Find(const ACMSTREAMHEADER* header)
    {
        auto it = std::find_if(Headers.begin(), Headers.end(), [&](const Prepared& p) { return p.Header == header; });
        return it == Headers.end() ? nullptr : &*it;
    }
};

namespace {

// Every open stream, so that a stale or made-up handle is answered with a code, never used.
// Never destroyed: a component destroyed late in the program's exit may still close its stream.
std::mutex& StreamsLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}
std::unordered_set<HACMSTREAM>& Streams()
{
    static auto* streams = new std::unordered_set<HACMSTREAM>;
    return *streams;
}

bool IsOpen(HACMSTREAM has)
{
    std::lock_guard<std::mutex> guard(StreamsLock());
    return has && Streams().count(has) != 0;
}

// Runs a call's body so that no exception leaves it.
template <typename F>
MMRESULT Guard(F&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

MMRESULT CheckHeader(HACMSTREAM has, const ACMSTREAMHEADER* pash)
{
    if (!IsOpen(has))
        return MMSYSERR_INVALHANDLE;
    if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER))
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

}

MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc, const WAVEFORMATEX* pwfxDst,
                       const WAVEFILTER* pwfltr, uintptr_t, uintptr_t, uint32_t fdwOpen)
{
    return Guard([&]() -> MMRESULT {
        const bool query = fdwOpen & ACM_STREAMOPENF_QUERY;
        if (phas)
            *phas = nullptr;
        if (fdwOpen & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC | ACM_STREAMOPENF_NONREALTIME))
            return MMSYSERR_INVALFLAG;
        if (had)
            return MMSYSERR_INVALHANDLE;
        if (!pwfxSrc || !pwfxDst || (!phas && !query))
            return MMSYSERR_INVALPARAM;
        // Conversions here are synchronous and unfiltered; nothing else can be offered.
        if ((fdwOpen & ACM_STREAMOPENF_ASYNC) || pwfltr)
            return ACMERR_NOTPOSSIBLE;

        std::unique_ptr<AcmEngine> engine;
        if (const MMRESULT result = AcmEngine::Create(pwfxSrc, pwfxDst, engine))
            return result;
        if (query)
            return MMSYSERR_NOERROR;
        auto stream = std::make_unique<HACMSTREAM__>();
        stream->Engine = std::move(engine);
        std::lock_guard<std::mutex> guard(StreamsLock());
        Streams().insert(stream.get());
        *phas = stream.release();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes, uint32_t fdwSize)
{
    return Guard([&]() -> MMRESULT {
        if (!IsOpen(has))
            return MMSYSERR_INVALHANDLE;
        if (!pdwOutputBytes)
            return MMSYSERR_INVALPARAM;
        if (fdwSize == ACM_STREAMSIZEF_DESTINATION)
            return MMSYSERR_NOTSUPPORTED;
        if (fdwSize != ACM_STREAMSIZEF_SOURCE)
            return MMSYSERR_INVALFLAG;
        return has->Engine->DestinationSize(cbInput, *pdwOutputBytes);
    });
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare)
{
    return Guard([&]() -> MMRESULT {
        if (const MMRESULT result = CheckHeader(has, pash))
            return result;
        if (fdwPrepare != 0)
            return MMSYSERR_INVALFLAG;
        if (has->Find(pash))
            return MMSYSERR_NOERROR;
        if ((!pash->pbSrc && pash->cbSrcLength) || (!pash->pbDst && pash->cbDstLength))
            return MMSYSERR_INVALPARAM;
        has->Headers.push_back({pash, pash->pbSrc, pash->cbSrcLength, pash->pbDst, pash->cbDstLength});
        pash->fdwStatus = (pash->fdwStatus & ~ACMSTREAMHEADER_STATUSF_INQUEUE) | ACMSTREAMHEADER_STATUSF_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert)
{
    return Guard([&]() -> MMRESULT {
        if (const MMRESULT result = CheckHeader(has, pash))
            return result;
        if (fdwConvert & ~(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END))
            return MMSYSERR_INVALFLAG;
        const HACMSTREAM__::Prepared* prepared = has->Find(pash);
        if (!prepared || !(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
            return ACMERR_UNPREPARED;
        if (pash->pbSrc != prepared->Src || pash->pbDst != prepared->Dst || pash->cbSrcLength > prepared->SrcLength ||
            pash->cbDstLength > prepared->DstLength)
            return MMSYSERR_INVALPARAM;

        pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
        uint32_t srcUsed = 0;
        uint32_t dstUsed = 0;
        const MMRESULT result = has->Engine->Convert(pash->pbSrc, pash->cbSrcLength, fdwConvert, pash->pbDst,
                                                     pash->cbDstLength, srcUsed, dstUsed);
        pash->cbSrcLengthUsed = srcUsed;
        pash->cbDstLengthUsed = dstUsed;
        pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
        return result;
    });
}

MMRESULT acmStreamReset(HACMSTREAM has, uint32_t fdwReset)
{
    // Conversions finish inside acmStreamConvert, so there is never one to stop.
    return Guard([&]() -> MMRESULT {
        if (!IsOpen(has))
            return MMSYSERR_INVALHANDLE;
        return fdwReset == 0 ? MMSYSERR_NOERROR : MMSYSERR_INVALFLAG;
    });
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare)
{
    return Guard([&]() -> MMRESULT {
        if (const MMRESULT result = CheckHeader(has, pash))
            return result;
        if (fdwUnprepare != 0)
            return MMSYSERR_INVALFLAG;
        const HACMSTREAM__::Prepared* prepared = has->Find(pash);
        if (!prepared)
            return ACMERR_UNPREPARED;
        if (pash->pbSrc != prepared->Src || pash->cbSrcLength != prepared->SrcLength || pash->pbDst != prepared->Dst ||
            pash->cbDstLength != prepared->DstLength)
            return MMSYSERR_INVALPARAM;
        has->Headers.erase(has->Headers.begin() + (prepared - has->Headers.data()));
        pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose)
{
    return Guard([&]() -> MMRESULT {
        if (fdwClose != 0)
            return MMSYSERR_INVALFLAG;
        {
            std::lock_guard<std::mutex> guard(StreamsLock());
            if (!has || Streams().erase(has) == 0)
                return MMSYSERR_INVALHANDLE;
        }
        delete has;
        return MMSYSERR_NOERROR;
    });
}
