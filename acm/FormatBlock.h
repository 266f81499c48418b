#pragma once

#include "acm/MMSystem.h"

#include <cstdint>
#include <vector>

#pragma pack(push, 1)
// A wave format with room for the extra bytes a non-PCM format declares in cbSize: what a
// conversion stream is opened with, and a wave device.
struct TWaveFormatBlock {
    WAVEFORMATEX Format;
    uint8_t Extra[MaxFormatExtra];
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormatBlock) == 129, "a format block is 129 packed bytes");

// Makes block the format of a source sound: its whole record and, behind it, the extra format
// bytes that followed the record in its file (as many as fit). The block's remaining bytes
// become 0, so that nothing of an earlier source's format is read as this one's.
void SetSourceFormat(TWaveFormatBlock& block, const WAVEFORMATEX& format, const std::vector<uint8_t>& extra);
