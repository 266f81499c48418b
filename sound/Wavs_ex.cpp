#include "sound/Wavs_ex.h"

#include "framework/ReplacingFile.h"
#include "acm/Riff.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {
constexpr int64_t ChunkHeaderSize = 8;

// A written file's "fmt " chunk holds the first 16 bytes of the format record.
constexpr uint32_t WrittenFmtSize = 16;
}

namespace {
// RIFF pads an odd-sized chunk with one zero byte, but some writers leave it out. The pad is
// taken as one only where it is zero and a plausible chunk id follows it, so that files of
// either kind walk as their writers meant.
bool PadByteFollows(TStream& stream)
{
    const int64_t at = stream.Position();
    uint8_t next[1 + 4];
    if (stream.Size() - at < int64_t(sizeof next))
        return false;
    stream.ReadBuffer(next, sizeof next);
    stream.Seek(at, TSeekOrigin::Beginning);
    return next[0] == 0 && std::all_of(next + 1, next + 5, [](uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}
}

void WalkWaveChunks(TStream& stream, TWaveParts& parts)
{
    stream.Seek(0, TSeekOrigin::Beginning);
    uint8_t start[RiffWaveIdSize] = {};
    stream.Read(start, sizeof start);
    if (!IsRiffWave(start))
        throw EWavStreamError(("Not a valid WAV file."));

    // The walk runs to the physical end of the file, whatever the RIFF size says. A chunk
    // that declares more bytes than remain contributes the bytes present and ends the walk;
    // a trailing fragment shorter than a chunk header ends it too.
    parts.DataStart = 0;
    parts.DataSize = 0;
    parts.Chunks.clear();
    const int64_t size = stream.Size();
    while (stream.Position() < size - 1) {
        if (size - stream.Position() < ChunkHeaderSize)
            break;
        uint8_t header[ChunkHeaderSize];
        stream.ReadBuffer(header, ChunkHeaderSize);
        const int64_t declared = GetLe32(header + 4);
        const int64_t present = std::min(declared, size - stream.Position());
        parts.Chunks.push_back({std::string(reinterpret_cast<const char*>(header), 4),
                                stream.Position() - ChunkHeaderSize, declared, present});
        if (std::memcmp(header, "fmt ", 4) == 0) {
            auto scratch = std::make_unique<uint8_t[]>(static_cast<size_t>(present) + 1);
            stream.ReadBuffer(scratch.get(), present);
            std::memcpy(&parts.Format, scratch.get(),
                        static_cast<size_t>(std::min<int64_t>(present, sizeof(WAVEFORMATEX))));
            const int64_t extra =
                std::clamp<int64_t>(present - int64_t(sizeof(WAVEFORMATEX)), 0, int64_t(MaxFormatExtra));
            parts.FormatExtra.clear();
            if (extra > 0)
                parts.FormatExtra.assign(scratch.get() + sizeof(WAVEFORMATEX),
                                         scratch.get() + sizeof(WAVEFORMATEX) + extra);
        } else if (std::memcmp(header, "data", 4) == 0) {
            parts.DataStart = stream.Position();
            parts.DataSize = present;
            stream.Seek(present, TSeekOrigin::Current);
        } else {
            stream.Seek(present, TSeekOrigin::Current);
        }
        if (present < declared)
            break;
        if ((declared & 1) && PadByteFollows(stream)) {
            stream.Seek(1, TSeekOrigin::Current);
            parts.Chunks.back().Padded = true;
        }
    }
}

void TCustomWavStream::LoadFromFile(const std::string& fileName)
{
    // The header is looked at before anything is sized: a file that is no WAV file (a disc
    // image, say) is refused after its first 12 bytes whatever its length, and leaves the
    // stream as it was.
    TFileStream file(fileName, TFileMode::OpenRead);
    uint8_t header[RiffWaveIdSize] = {};
    file.Read(header, sizeof header);
    if (!IsRiffWave(header))
        throw EWavStreamError("Not a valid WAV file.");
    LoadFromStream(file);
    TWaveParts parts{Format, FormatExtra, 0, 0, {}};
    WalkWaveChunks(*this, parts);
    Format = parts.Format;
    FormatExtra = std::move(parts.FormatExtra);
    if (parts.DataSize > 0)
        std::memmove(Memory(), Memory() + parts.DataStart, static_cast<size_t>(parts.DataSize));
    SetSize(parts.DataSize);
    Seek(0, TSeekOrigin::Beginning);
    FileName = fileName;
}

void TCustomWavStream::SaveToFile(const std::string& fileName)
{
    const int64_t n = Size();
    if (n > int64_t(UINT32_MAX) - 36)
        throw EWavStreamError(("The sound is too long for a WAV file."));

    uint8_t header[WaveHeaderSize(WrittenFmtSize)];
    PutWaveHeader(header, &Format, WrittenFmtSize, uint32_t(n));

    // Written beside the target and put in its place only when complete: a failed save
    // leaves neither a half-written file nor a destroyed old one.
    TReplacingFile replacing(fileName);
    TStream& file = replacing.Stream();
    file.WriteBuffer(header, sizeof header);
    file.WriteBuffer(Memory(), n);
    replacing.Commit();
}

void TCustomWavStream::SetFormat(const WAVEFORMATEX& format)
{
    if (!FileName.empty())
        throw EWavStreamError(("Cannot change the format of an existing file"));
    Format = format;
}
