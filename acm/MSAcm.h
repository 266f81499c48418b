#pragma once

#include "acm/MMSystem.h"

#include <cstdint>

// Conversion streams of the audio compression manager. Every call answers with a result
// code (MMSYSERR_* / ACMERR_*) and never lets an exception out. A stream converts each
// block it is given synchronously. A block without ACM_STREAMCONVERTF_START or _END is a
// sound of its own and comes out whole in one call; a sound handed over in blocks (_START on
// the first, _END on the last) comes out as the same bytes, block by block (AcmEngine::Convert).

struct HACMSTREAM__;
using HACMSTREAM = HACMSTREAM__*;
struct HACMDRIVER__;
using HACMDRIVER = HACMDRIVER__*;
struct WAVEFILTER;

constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x00000001;
constexpr uint32_t ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;

constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;

constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr uint32_t ACM_STREAMCONVERTF_START = 0x00000010;
constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

// Describes a source and a destination buffer to a stream. The layout is this platform's
// own: pointers and user words are machine words, so on 64-bit it is larger than 84 bytes,
// and cbStruct must hold sizeof(ACMSTREAMHEADER).
struct ACMSTREAMHEADER {
    uint32_t cbStruct;
    uint32_t fdwStatus;
    uintptr_t dwUser;
    uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
    uintptr_t dwDstUser;
    uint32_t dwReservedDriver[10];
};

// Opens a stream from pwfxSrc to pwfxDst. The source format may carry cbSize extra bytes
// after its 18-byte record (ADPCM, GSM and extensible formats need them). With
// ACM_STREAMOPENF_QUERY only asks whether the conversion is possible; phas may then be null.
MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc, const WAVEFORMATEX* pwfxDst,
                       const WAVEFILTER* pwfltr, uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen);
// With ACM_STREAMSIZEF_SOURCE: a destination size that is always enough for cbInput source bytes.
MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes, uint32_t fdwSize);
MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare);
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert);
MMRESULT acmStreamReset(HACMSTREAM has, uint32_t fdwReset);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare);
MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose);
