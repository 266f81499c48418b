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
};

class TWavStream : public TCustomWavStream {};

// A chunk of a RIFF WAVE file as its walk met it.
struct TWaveChunk {
    std::string Id;
    // Where its 8-byte header begins, the payload size it declares and the bytes of it present.
    int64_t Start = 0;
    int64_t Declared = 0;
    int64_t Present = 0;
    // Whether the walk stepped over a pad byte after it (odd-sized chunks only).
    bool Padded = false;
};

// Where the parts of a RIFF WAVE file lie, as its chunk walk finds them.
struct TWaveParts {
    WAVEFORMATEX Format{};
    std::vector<uint8_t> FormatExtra;
    int64_t DataStart = 0;
    int64_t DataSize = 0;
    // Every chunk, in the file's order.
    std::vector<TWaveChunk> Chunks;
};

// Walks the chunks of the RIFF WAVE file in stream, from its start. parts.Format and
// parts.FormatExtra start as the caller gives them: a short "fmt " chunk replaces only the
// start of the record. Raises EWavStreamError "Not a valid WAV file." for a file that is no
// RIFF WAVE file.
void WalkWaveChunks(TStream& stream, TWaveParts& parts);
