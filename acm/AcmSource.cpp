#include "acm/AcmSource.h"

#include "acm/Riff.h"

#include "acm/Sndfile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr uint16_t TagPcm = 0x0001;
constexpr uint16_t TagMsAdpcm = 0x0002;
constexpr uint16_t TagIeeeFloat = 0x0003;
constexpr uint16_t TagALaw = 0x0006;
constexpr uint16_t TagMuLaw = 0x0007;
constexpr uint16_t TagImaAdpcm = 0x0011;
constexpr uint16_t TagGsm610 = 0x0031;
constexpr uint16_t TagExtensible = 0xFFFE;

// Limits beyond which a format is taken as nonsense rather than as a sound.
constexpr uint16_t MaxChannels = 256;
constexpr uint32_t MinRate = 1000;
constexpr uint32_t MaxRate = 768000;

constexpr size_t RecordSize = sizeof(WAVEFORMATEX);

// The subformat identifiers of the extensible format, PCM and IEEE float; they differ
// only in their first byte.
constexpr uint8_t SubtypeTail[15] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                     0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The seven predictor pairs every MS ADPCM encoder writes.
constexpr int16_t MsAdpcmCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                               {240, 0}, {460, -208}, {392, -232}};

bool ShapeIsSane(const WAVEFORMATEX& f)
{
    return AcmShapeIsSane(f.nChannels, f.nSamplesPerSec) && f.nBlockAlign >= 1;
}

bool IsLinear(const WAVEFORMATEX& f, std::initializer_list<uint16_t> widths)
{
    return std::find(widths.begin(), widths.end(), f.wBitsPerSample) != widths.end() &&
        uint32_t(f.nBlockAlign) == uint32_t(f.nChannels) * f.wBitsPerSample / 8;
}

// How many extra bytes the format needs, or -1 when its record alone is already wrong.
int ExtraBytesNeeded(const WAVEFORMATEX& f)
{
    const uint32_t ch = f.nChannels;
    switch (f.wFormatTag) {
    case TagPcm: return IsLinear(f, {8, 16, 24, 32}) ? 0 : -1;
    case TagIeeeFloat: return IsLinear(f, {32, 64}) ? 0 : -1;
    case TagALaw:
    case TagMuLaw: return IsLinear(f, {8}) ? 0 : -1;
    case TagImaAdpcm: return f.wBitsPerSample == 4 && f.nBlockAlign > 4 * ch && f.nBlockAlign % (4 * ch) == 0 ? 2 : -1;
    case TagMsAdpcm: return f.wBitsPerSample == 4 && ch <= 2 && f.nBlockAlign > 7 * ch ? 32 : -1;
    case TagGsm610: return ch == 1 && f.nBlockAlign == 65 ? 2 : -1;
    case TagExtensible: return IsLinear(f, {8, 16, 24, 32, 64}) ? 22 : -1;
    default: return -1;
    }
}

// Fills in the extra bytes that a format copied without them lacks, from what its record says.
void CompleteExtras(const WAVEFORMATEX& f, uint8_t* extra)
{
    const uint32_t ch = f.nChannels;
    switch (f.wFormatTag) {
    case TagImaAdpcm:
        if (GetLe16(extra) == 0)
            PutLe16(extra, uint16_t((f.nBlockAlign - 4 * ch) * 2 / ch + 1));
        break;
    case TagMsAdpcm:
        if (GetLe16(extra) == 0)
            PutLe16(extra, uint16_t((f.nBlockAlign - 7 * ch) * 2 / ch + 2));
        if (GetLe16(extra + 2) == 0) {
            PutLe16(extra + 2, 7);
            for (int i = 0; i < 7; ++i) {
                PutLe16(extra + 4 + 4 * i, uint16_t(MsAdpcmCoefficients[i][0]));
                PutLe16(extra + 6 + 4 * i, uint16_t(MsAdpcmCoefficients[i][1]));
            }
        }
        break;
    case TagGsm610:
        if (GetLe16(extra) == 0)
            PutLe16(extra, 320);
        break;
    case TagExtensible: {
        if (GetLe16(extra) == 0)
            PutLe16(extra, f.wBitsPerSample);
        uint8_t* guid = extra + 6;
        // Without a subformat only the widths that cannot be float are certain to be PCM.
        if (std::all_of(guid, guid + 16, [](uint8_t b) { return b == 0; })) {
            if (f.wBitsPerSample == 64)
                guid[0] = uint8_t(TagIeeeFloat);
            else if (f.wBitsPerSample <= 24)
                guid[0] = uint8_t(TagPcm);
            else
                break;
            std::memcpy(guid + 1, SubtypeTail, sizeof SubtypeTail);
        }
        break;
    }
    default: break;
    }
}

sf_count_t ImageLength(void* user)
{
    return static_cast<AcmSourceReader::Image*>(user)->Length();
}

sf_count_t ImageSeek(sf_count_t offset, int whence, void* user)
{
    auto* image = static_cast<AcmSourceReader::Image*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = image->Position;
    else if (whence == SEEK_END)
        base = image->Length();
    const sf_count_t target = base + offset;
    if (target < 0)
        return -1;
    image->Position = target;
    return target;
}

sf_count_t ImageRead(void* ptr, sf_count_t count, void* user)
{
    auto* image = static_cast<AcmSourceReader::Image*>(user);
    auto* out = static_cast<uint8_t*>(ptr);
    const int64_t headerSize = int64_t(image->Header.size());
    sf_count_t done = 0;
    while (done < count && image->Position < image->Length()) {
        const int64_t pos = image->Position;
        int64_t n;
        if (pos < headerSize) {
            n = std::min<int64_t>(count - done, headerSize - pos);
            std::memcpy(out + done, image->Header.data() + pos, size_t(n));
        } else if (!image->Data) {
            n = std::min<int64_t>(count - done, image->Length() - pos);
            std::memset(out + done, 0, size_t(n));
        } else {
            const int64_t offset = pos - headerSize - image->Base;
            if (offset < 0 || offset >= image->DataSize)
                break;
            n = std::min<int64_t>(count - done, image->DataSize - offset);
            std::memcpy(out + done, image->Data + offset, size_t(n));
        }
        done += n;
        image->Position += n;
    }
    return done;
}

sf_count_t ImageWrite(const void*, sf_count_t, void*)
{
    return 0;
}

sf_count_t ImageTell(void* user)
{
    return static_cast<AcmSourceReader::Image*>(user)->Position;
}

SF_VIRTUAL_IO ImageIO = {ImageLength, ImageSeek, ImageRead, ImageWrite, ImageTell};

}

bool AcmShapeIsSane(uint32_t channels, uint32_t samplesPerSec)
{
    return channels >= 1 && channels <= MaxChannels && samplesPerSec >= MinRate && samplesPerSec <= MaxRate;
}

bool AcmSourceFormat::IsFloat() const
{
    const uint16_t tag = GetLe16(FmtChunk.data());
    return tag == TagIeeeFloat || (tag == TagExtensible && FmtChunk[RecordSize + 6] == TagIeeeFloat);
}

bool AcmSourceFormat::HasNarrowSamples() const
{
    const uint16_t bits = GetLe16(FmtChunk.data() + 14);
    switch (GetLe16(FmtChunk.data())) {
    case TagPcm: return bits <= 16;
    case TagExtensible: return bits <= 16 && !IsFloat();
    case TagIeeeFloat: return false;
    default: return true;
    }
}

bool AcmSourceFormat::HasFixedFrames() const
{
    const uint16_t tag = GetLe16(FmtChunk.data());
    return tag != TagImaAdpcm && tag != TagMsAdpcm && tag != TagGsm610;
}

bool AcmSourceFormat::DecodesAcrossBlocks() const
{
    return GetLe16(FmtChunk.data()) == TagGsm610;
}

uint64_t AcmSourceFormat::MaxFrames(uint64_t bytes) const
{
    switch (GetLe16(FmtChunk.data())) {
    case TagImaAdpcm:
    case TagMsAdpcm:
    case TagGsm610: return (bytes + BlockAlign - 1) / BlockAlign * GetLe16(FmtChunk.data() + RecordSize);
    default: return bytes / BlockAlign;
    }
}

// On a machine that computes in the byte order of WAV files only; an extensible record's
// subformat says what its samples are.
AcmPlainSamples AcmSourceFormat::PlainSamples() const
{
    const uint8_t* fmt = FmtChunk.data();
    const uint16_t bits = GetLe16(fmt + 14);
    uint16_t tag = GetLe16(fmt);
    if (std::endian::native != std::endian::little || uint32_t(BlockAlign) != uint32_t(Channels) * bits / 8)
        return AcmPlainSamples::None;
    if (tag == TagExtensible) {
        const uint8_t* guid = fmt + RecordSize + 6;
        if (FmtChunk.size() < RecordSize + 22 || std::memcmp(guid + 1, SubtypeTail, sizeof SubtypeTail) != 0)
            return AcmPlainSamples::None;
        tag = guid[0];
    }
    switch (tag << 8 | bits) {
    case TagPcm << 8 | 8: return AcmPlainSamples::U8;
    case TagPcm << 8 | 16: return AcmPlainSamples::S16;
    case TagPcm << 8 | 24: return AcmPlainSamples::S24;
    case TagPcm << 8 | 32: return AcmPlainSamples::S32;
    case TagIeeeFloat << 8 | 32: return AcmPlainSamples::F32;
    case TagIeeeFloat << 8 | 64: return AcmPlainSamples::F64;
    default: return AcmPlainSamples::None;
    }
}

namespace {

// The format behind pwfx as Describe gives it, before anything is asked of libsndfile.
std::optional<AcmSourceFormat> Completed(const WAVEFORMATEX* pwfx)
{
    if (!pwfx || !ShapeIsSane(*pwfx))
        return std::nullopt;
    const int extra = ExtraBytesNeeded(*pwfx);
    if (extra < 0)
        return std::nullopt;

    AcmSourceFormat format;
    format.Channels = pwfx->nChannels;
    format.SamplesPerSec = pwfx->nSamplesPerSec;
    format.BlockAlign = pwfx->nBlockAlign;
    // Only as many extra bytes are read as the format has and the codec uses.
    format.FmtChunk.assign(RecordSize + size_t(extra), 0);
    std::memcpy(format.FmtChunk.data(), pwfx, RecordSize);
    const size_t given = std::min<size_t>(pwfx->cbSize, size_t(extra));
    std::memcpy(format.FmtChunk.data() + RecordSize, reinterpret_cast<const uint8_t*>(pwfx) + RecordSize, given);
    PutLe16(format.FmtChunk.data() + 16, uint16_t(extra));
    CompleteExtras(*pwfx, format.FmtChunk.data() + RecordSize);
    return format;
}

}

std::optional<AcmSourceFormat> AcmSourceFormat::Describe(const WAVEFORMATEX* pwfx)
{
    const std::optional<AcmSourceFormat> completed = Completed(pwfx);
    if (!completed)
        return std::nullopt;
    const AcmSourceFormat& format = *completed;

    // Plain samples are decoded without libsndfile. For every other format: what libsndfile
    // cannot read as one block of silence it will not read as sound either. Nor is a record
    // whose frame libsndfile reads as another count of frames (an extensible mu-law record
    // that claims 64-bit samples): each frame would be taken from other bytes.
    if (format.PlainSamples() != AcmPlainSamples::None)
        return completed;
    AcmSourceReader probe(format, nullptr, format.BlockAlign);
    if (!probe.Open() || (format.HasFixedFrames() && probe.Frames() != 1))
        return std::nullopt;
    return completed;
}

std::string AcmSourceFormat::MissingDecoder(const WAVEFORMATEX* pwfx)
{
    if (Sndfile())
        return {};
    const std::optional<AcmSourceFormat> format = Completed(pwfx);
    return format && format->PlainSamples() == AcmPlainSamples::None ? SndfileLoadError() : std::string();
}

AcmSourceReader::AcmSourceReader(const AcmSourceFormat& format, const uint8_t* data, uint32_t size,
                                 AcmDecoding decoding)
    : FFormat(format), FPlain(data && decoding == AcmDecoding::Direct ? format.PlainSamples() : AcmPlainSamples::None)
{
    FImage.Data = data;
    FImage.DataSize = size;
    FImage.Declared = size;
    if (FPlain != AcmPlainSamples::None)
        return;
    const std::vector<uint8_t>& fmt = format.FmtChunk;
    FImage.Header.assign(WaveHeaderSize(fmt.size()), 0);
    PutWaveHeader(FImage.Header.data(), fmt.data(), uint32_t(fmt.size()), size);
}

AcmSourceReader::AcmSourceReader(const AcmSourceFormat& format) : FFormat(format)
{
    const std::vector<uint8_t>& fmt = format.FmtChunk;
    const size_t headerSize = WaveHeaderSize(fmt.size());
    const uint32_t declared = uint32_t((UINT32_MAX - headerSize) / format.BlockAlign * format.BlockAlign);
    FImage.Header.assign(headerSize, 0);
    PutWaveHeader(FImage.Header.data(), fmt.data(), uint32_t(fmt.size()), declared);
    FImage.Declared = declared;
}

void AcmSourceReader::Feed(const uint8_t* data, uint32_t size)
{
    FImage.Base += FImage.DataSize;
    FImage.Data = data;
    FImage.DataSize = size;
}

AcmSourceReader::~AcmSourceReader()
{
    if (FFile)
        Sndfile()->Close(FFile);
}

bool AcmSourceReader::Open()
{
    if (FPlain != AcmPlainSamples::None) {
        FFrames = FImage.DataSize / FFormat.BlockAlign;
        return true;
    }
    const TSndfileCalls* sf = Sndfile();
    if (!sf)
        return false;
    SF_INFO info{};
    FFile = sf->OpenVirtual(&ImageIO, SFM_READ, &info, &FImage);
    if (!FFile)
        return false;
    FFrames = info.frames;
    return info.channels == FFormat.Channels && uint32_t(info.samplerate) == FFormat.SamplesPerSec && FFrames >= 0;
}

bool AcmSourceReader::Seek(int64_t frame)
{
    if (FPlain == AcmPlainSamples::None)
        return Sndfile()->Seek(FFile, frame, SEEK_SET) == frame;
    if (frame < 0 || frame > FFrames)
        return false;
    FPosition = frame;
    return true;
}

int64_t AcmSourceReader::TakeFrames(int64_t count, const uint8_t*& bytes)
{
    const int64_t n = std::max<int64_t>(0, std::min(count, FFrames - FPosition));
    bytes = FImage.Data + FPosition * FFormat.BlockAlign;
    FPosition += n;
    return n;
}

int64_t AcmSourceReader::ReadNarrow(int16_t* frames, int64_t count)
{
    if (FPlain == AcmPlainSamples::None) {
        const sf_count_t n = Sndfile()->ReadShorts(FFile, frames, count);
        return n > 0 ? n : 0;
    }
    if (FPlain != AcmPlainSamples::U8 && FPlain != AcmPlainSamples::S16)
        return 0;  // wider samples are read as floats
    const uint8_t* in = nullptr;
    const int64_t n = TakeFrames(count, in);
    const int64_t samples = n * FFormat.Channels;
    if (n == 0)
        return 0;
    if (FPlain == AcmPlainSamples::S16)
        std::memcpy(frames, in, size_t(samples) * 2);
    else
        for (int64_t i = 0; i < samples; ++i)
            frames[i] = int16_t((int(in[i]) - 128) * 256);
    return n;
}

int64_t AcmSourceReader::Read(float* frames, int64_t count)
{
    int64_t n;
    if (FPlain == AcmPlainSamples::None) {
        n = std::max<sf_count_t>(0, Sndfile()->ReadFloats(FFile, frames, count));
    } else {
        const uint8_t* in = nullptr;
        n = TakeFrames(count, in);
        const int64_t samples = n * FFormat.Channels;
        // libsndfile's scales: integers of w bits are divided by 2^(w-1), 24-bit ones after
        // being moved to the top of 32 bits; doubles are rounded to floats.
        constexpr float Unit32 = 1.0f / 2147483648.0f;
        switch (FPlain) {
        case AcmPlainSamples::U8:
            for (int64_t i = 0; i < samples; ++i)
                frames[i] = float(int(in[i]) - 128) * (1.0f / 128.0f);
            break;
        case AcmPlainSamples::S16:
            for (int64_t i = 0; i < samples; ++i)
                frames[i] = float(int16_t(GetLe16(in + 2 * i))) * (1.0f / 32768.0f);
            break;
        case AcmPlainSamples::S24:
            for (int64_t i = 0; i < samples; ++i) {
                const uint8_t* p = in + 3 * i;
                frames[i] = float(int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24)) * Unit32;
            }
            break;
        case AcmPlainSamples::S32:
            for (int64_t i = 0; i < samples; ++i)
                frames[i] = float(int32_t(GetLe32(in + 4 * i))) * Unit32;
            break;
        case AcmPlainSamples::F32:
            if (samples > 0)
                std::memcpy(frames, in, size_t(samples) * 4);
            break;
        case AcmPlainSamples::F64:
            for (int64_t i = 0; i < samples; ++i) {
                double v;
                std::memcpy(&v, in + 8 * i, 8);
                frames[i] = float(v);
            }
            break;
        case AcmPlainSamples::None: break;
        }
    }
    // A float source may hold values no sound has; they must not reach the arithmetic after,
    // where one huge sample would ring through the rate change's filter far around it. Louder
    // than full scale is kept (a float file may go over it) up to a limit well beyond any
    // sound; NaN is silence.
    constexpr float Loudest = 8.0f;
    if (n > 0 && FFormat.IsFloat()) {
        for (float* p = frames; p != frames + n * FFormat.Channels; ++p)
            if (!(std::fabs(*p) <= Loudest))
                *p = std::isnan(*p) ? 0.0f : std::copysign(Loudest, *p);
    }
    return n;
}
