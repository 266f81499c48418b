#pragma once

#include "framework/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// RIFF WAVE images: how one begins, and the header that puts one "fmt " and one "data" chunk
// into one.

// The bytes a RIFF WAVE file begins with: "RIFF", the RIFF size, "WAVE".
constexpr size_t RiffWaveIdSize = 12;

// Whether the first RiffWaveIdSize bytes of a file say it is a RIFF WAVE file.
inline bool IsRiffWave(const uint8_t* start)
{
    return std::memcmp(start, "RIFF", 4) == 0 && std::memcmp(start + 8, "WAVE", 4) == 0;
}

// The bytes before the samples of a RIFF WAVE image whose "fmt " chunk carries fmtSize bytes:
// 44 for the 16-byte record of a PCM file.
constexpr size_t WaveHeaderSize(size_t fmtSize)
{
    return 12 + 8 + fmtSize + 8;
}

// Writes that header to h (WaveHeaderSize(fmtSize) bytes). The RIFF size is cut at its 32-bit
// limit for an image longer than a RIFF file can say.
inline void PutWaveHeader(uint8_t* h, const void* fmt, uint32_t fmtSize, uint32_t dataSize)
{
    const uint64_t riffSize = WaveHeaderSize(fmtSize) - 8 + uint64_t(dataSize);
    std::memcpy(h, "RIFF", 4);
    PutLe32(h + 4, uint32_t(riffSize > UINT32_MAX ? UINT32_MAX : riffSize));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLe32(h + 16, fmtSize);
    std::memcpy(h + 20, fmt, fmtSize);
    std::memcpy(h + 20 + fmtSize, "data", 4);
    PutLe32(h + 24 + fmtSize, dataSize);
}
