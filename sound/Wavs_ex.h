#pragma once

#include "framework/Exception.h"
#include "framework/Streams.h"
#include "acm/MMSystem.h"

#include <cstdint>
#include <string>
#include <vector>

JEERBOX_DECLARE_EXCEPTION(EWavStreamError, Exception)

// One sound in memory: its wave format record and its raw sample bytes (the stream's
// contents hold the samples only, no RIFF header).
class TCustomWavStream : public TMemoryStream {
public:
    TCustomWavStream() = default;

    WAVEFORMATEX Format{};
    // The format bytes after the 18-byte record in the last "fmt " chunk loaded (at most as
    // many as a convertor's format block holds): the extensible format's sample type lives
    // there, and the convertor needs it where Format alone cannot say.
    std::vector<uint8_t> FormatExtra;
    // The file last loaded successfully; once set, the format can no longer be changed.
    std::string FileName;

    // Replaces the contents with the samples of a RIFF WAVE file and Format with its "fmt ".
    void LoadFromFile(const std::string& fileName);
    // Writes the contents as a RIFF WAVE file with a 44-byte header.
    void SaveToFile(const std::string& fileName);
    void SetFormat(const WAVEFORMATEX& format);

private:
    bool PadByteFollows();
};

class TWavStream : public TCustomWavStream {};
