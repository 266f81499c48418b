#pragma once

#include "acm/MSAcm.h"

#include <string>
#include <vector>

// One whole block through a conversion stream, the way the convertor drives it.
struct AcmRun {
    MMRESULT Result = MMSYSERR_NOERROR;  // the first call that failed, or success
    uint32_t DestinationSize = 0;  // what acmStreamSize promised
    uint32_t SourceUsed = 0;
    std::vector<uint8_t> Output;  // the bytes the stream reported as written
    bool WroteBeyond = false;  // whether anything past the promised size changed
};

// format: the 18-byte record and any extra bytes after it.
AcmRun ConvertBlock(const std::string& format, const WAVEFORMATEX& target, const std::string& source);

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits);
std::string Record(const WAVEFORMATEX& format);
