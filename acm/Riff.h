#pragma once

#include <cstdint>
#include <cstring>

// Little-endian packing, as RIFF files, stored properties and game table pages keep numbers,
// and the header that puts one "fmt " and one "data" chunk into a RIFF WAVE image.

inline uint16_t GetLe16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

inline uint32_t GetLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void PutLe16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void PutLe32(uint8_t* p, uint32_t v)
{
    PutLe16(p, uint16_t(v));
    PutLe16(p + 2, uint16_t(v >> 16));
}

// The bytes before the samples of a RIFF WAVE image whose "fmt " chunk carries fmtSize bytes:
// 44 for the 16-byte record of a PCM file.
constexpr size_t WaveHeaderSize(size_t fmtSize) { return 12 + 8 + fmtSize + 8; }

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
