#pragma once

#include "acm/MMSystem.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sf_private_tag;

// Whether a channel count and a rate describe a sound rather than nonsense.
bool AcmShapeIsSane(uint32_t channels, uint32_t samplesPerSec);

// Samples that are plain little-endian integers or IEEE floats, as a WAV file holds them.
enum class AcmPlainSamples : uint8_t { None, U8, S16, S24, S32, F32, F64 };

// A source format the conversion streams can decode: the complete "fmt " payload that
// libsndfile is shown, and the shape of the sound it describes.
struct AcmSourceFormat {
    std::vector<uint8_t> FmtChunk;
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint16_t BlockAlign = 0;

    // The format behind pwfx (the 18-byte record and, for the formats that need them, its
    // extra bytes), checked and completed; empty when it is nonsense or not decodable.
    // ADPCM and GSM formats whose extra bytes are missing or zero get the standard ones,
    // which follow from the block size: a format copied as its bare 18-byte record still works.
    static std::optional<AcmSourceFormat> Describe(const WAVEFORMATEX* pwfx);
    // Why a format that Describe refuses would be decodable but for libsndfile, which it needs
    // and which cannot be loaded; empty when that is not why.
    static std::string MissingDecoder(const WAVEFORMATEX* pwfx);

    // The most frames that `bytes` source bytes decode to (a partial last block counted whole).
    uint64_t MaxFrames(uint64_t bytes) const;
    bool IsFloat() const;
    // Whether every sample decodes to at most 16 bits (8- and 16-bit PCM, the companding and
    // ADPCM codecs, GSM), so that libsndfile hands them out as 16-bit integers unchanged.
    bool HasNarrowSamples() const;
    // The kind of samples a reader decodes without libsndfile, when the format holds plain
    // PCM or float samples.
    AcmPlainSamples PlainSamples() const;
    // Whether every frame is a fixed number of bytes, so that any frame can be read first.
    bool HasFixedFrames() const;
    // Whether the decoder carries state from one block to the next (GSM 6.10), so that a block
    // decodes as it does within the whole sound only after the blocks before it.
    bool DecodesAcrossBlocks() const;
};

// How a reader of one block decodes plain PCM and float samples: straight from the bytes, to
// the very values libsndfile gives for them, or through libsndfile as every other format is.
enum class AcmDecoding { Direct, Libsndfile };

// Decodes one block of source bytes as float frames (full scale ±1), by letting libsndfile
// read an in-memory RIFF image of the format and the bytes; plain PCM and float samples are
// decoded here, without libsndfile. The bytes are read in place.
class AcmSourceReader {
public:
    // data may be null: the image then holds `size` zero bytes (used to ask libsndfile how
    // many frames a block of that size decodes to without needing the bytes); libsndfile
    // then decodes whatever the format.
    AcmSourceReader(const AcmSourceFormat& format, const uint8_t* data, uint32_t size,
                    AcmDecoding decoding = AcmDecoding::Direct);
    // A reader of a sound that arrives in blocks (Feed): its file declares as many bytes as a
    // RIFF file can hold, so that the decoder runs on from block to block with its state.
    explicit AcmSourceReader(const AcmSourceFormat& format);
    ~AcmSourceReader();
    AcmSourceReader(const AcmSourceReader&) = delete;
    AcmSourceReader& operator=(const AcmSourceReader&) = delete;

    // False when libsndfile cannot read the image (or cannot be loaded), or reads another shape
    // than the format's.
    bool Open();
    int64_t Frames() const { return FFrames; }
    // Reads up to count frames of Channels floats each; returns the count read (0 at the end).
    int64_t Read(float* frames, int64_t count);
    // The same as 16-bit integers (full scale ±32768), for a format with narrow samples only
    // (a reader of wider plain samples reads none this way):
    // cheaper than floats, which libsndfile makes from the integers one by one.
    int64_t ReadNarrow(int16_t* frames, int64_t count);
    // Makes `frame` the next frame to read.
    bool Seek(int64_t frame);
    // Hands a reader of a sound in blocks its next block, the bytes that follow the last one.
    // Reads must stay within the frames that the blocks fed so far hold.
    void Feed(const uint8_t* data, uint32_t size);

    // What the virtual file offers to libsndfile: the header, then the data bytes, of which
    // the DataSize bytes at Data are those from offset Base on (a sound that arrives in blocks
    // has only its latest block at hand).
    struct Image {
        std::vector<uint8_t> Header;
        const uint8_t* Data = nullptr;
        int64_t Base = 0;
        int64_t DataSize = 0;
        int64_t Declared = 0;
        int64_t Position = 0;
        int64_t Length() const { return int64_t(Header.size()) + Declared; }
    };

private:
    // Takes up to count frames from the bytes, for a reader that decodes them itself.
    int64_t TakeFrames(int64_t count, const uint8_t*& bytes);

    const AcmSourceFormat& FFormat;
    Image FImage;
    sf_private_tag* FFile = nullptr;
    int64_t FFrames = 0;
    AcmPlainSamples FPlain = AcmPlainSamples::None;
    int64_t FPosition = 0;
};
