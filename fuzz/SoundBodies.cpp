#include "fuzz/FuzzBodies.h"

#include "framework/Filer.h"
#include "acm/AcmBlock.h"
#include "acm/AcmSource.h"
#include "sound/ACMConvertor.h"
#include "sound/SoundFile.h"
#include "sound/Wavs_ex.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <type_traits>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

// The stream loads from a file name: the input becomes a file in memory, one per process.
std::string AsFile(const uint8_t* data, size_t size)
{
    static const int handle = ::memfd_create("jeerbox-fuzz", MFD_CLOEXEC);
    Require(handle >= 0);
    Require(::ftruncate(handle, 0) == 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(handle, data + done, size - done, off_t(done));
        Require(n > 0);
        done += size_t(n);
    }
    return "/proc/self/fd/" + std::to_string(handle);
}

bool Load(TWavStream& wave, const uint8_t* data, size_t size)
{
    try {
        wave.LoadFromFile(AsFile(data, size));
    } catch (const std::exception&) {
        return false;
    }
    Require(wave.Size() <= int64_t(size) && wave.Position() == 0);
    Require(wave.FormatExtra.size() <= sizeof(TWaveFormatBlock::Extra));
    return true;
}

// Converts a loaded sound to the taunt format the way jeerbox-convert does.
void Convert(TWavStream& wave)
{
    TACMConvertor convertor;
    try {
        const uint32_t converted = ConvertWave(convertor, wave, false);
        Require(converted <= convertor.OutputBufferSize);
        TWavStream result;
        result.SetFormat(convertor.FormatOut.Format);
        result.SetSize(converted);
        if (converted > 0)
            std::memcpy(result.Memory(), convertor.OutputBuffer, converted);
    } catch (const std::exception&) {
    }
}

// Converts bytes on an open stream as a sound handed over in parts of `part` bytes, each in a
// buffer of its own exact size, and collects what comes after the last.
void ConvertInParts(HACMSTREAM stream, const std::vector<uint8_t>& input, size_t part)
{
    auto convert = [&](size_t at, size_t count, uint32_t flags) {
        std::vector<uint8_t> piece(input.begin() + ptrdiff_t(at), input.begin() + ptrdiff_t(at + count));
        uint32_t outputSize = 0;
        if (acmStreamSize(stream, uint32_t(count), &outputSize, ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR)
            outputSize = 4096;
        // The rest of a sound comes into a buffer of some room even when no source goes in.
        std::vector<uint8_t> output(std::clamp<uint32_t>(outputSize, count == 0 ? 4096 : 0, 1u << 20));
        ACMSTREAMHEADER header{};
        header.cbStruct = sizeof header;
        header.pbSrc = piece.data();
        header.cbSrcLength = uint32_t(count);
        header.pbDst = output.data();
        header.cbDstLength = uint32_t(output.size());
        Require(acmStreamPrepareHeader(stream, &header, 0) == MMSYSERR_NOERROR);
        const MMRESULT result = acmStreamConvert(stream, &header, flags);
        Require(header.cbSrcLengthUsed <= header.cbSrcLength && header.cbDstLengthUsed <= header.cbDstLength);
        Require(acmStreamUnprepareHeader(stream, &header, 0) == MMSYSERR_NOERROR);
        return result == MMSYSERR_NOERROR ? std::pair{size_t(header.cbSrcLengthUsed), size_t(header.cbDstLengthUsed)}
                                          : std::pair{count, size_t(0)};
    };
    size_t at = 0;
    uint32_t flags = ACM_STREAMCONVERTF_START;
    do {
        const size_t count = std::min(part, input.size() - at);
        const bool last = at + count == input.size();
        const size_t used = convert(at, count, flags | (last ? ACM_STREAMCONVERTF_END : 0)).first;
        // What a part left over (a partial block) is handed over again with the next.
        at += used > 0 || last ? std::max(used, last ? count : 0) : count;
        flags = 0;
    } while (at < input.size());
    for (int rest = 0; rest < 1000 && convert(0, 0, ACM_STREAMCONVERTF_END).second > 0; ++rest) {}
}
}

void FuzzWavLoad(const uint8_t* data, size_t size)
{
    TWavStream wave;
    Load(wave, data, size);
}

void FuzzWavConvert(const uint8_t* data, size_t size)
{
    TWavStream wave;
    if (Load(wave, data, size))
        Convert(wave);
}

void FuzzSoundConvert(const uint8_t* data, size_t size)
{
    TWavStream wave;
    try {
        LoadSoundFile(wave, AsFile(data, size));
    } catch (const std::exception&) {
        return;
    }
    Require(wave.Position() == 0 && wave.Size() <= int64_t(UINT32_MAX));
    Convert(wave);
}

namespace {

// Plain samples are decoded without libsndfile, to the very values libsndfile gives for them.
template <typename Sample>
std::vector<Sample> ReadAll(AcmSourceReader& reader, int64_t frames, uint16_t channels)
{
    std::vector<Sample> samples(size_t(frames) * channels);
    int64_t n;
    if constexpr (std::is_same_v<Sample, int16_t>)
        n = reader.ReadNarrow(samples.data(), frames);
    else
        n = reader.Read(samples.data(), frames);
    Require(n == frames);
    return samples;
}

void RequirePlainSamplesAsLibsndfile(const WAVEFORMATEX& record, const std::vector<uint8_t>& bytes)
{
    const std::optional<AcmSourceFormat> format = AcmSourceFormat::Describe(&record);
    if (!format || format->PlainSamples() == AcmPlainSamples::None)
        return;
    const uint32_t size = uint32_t(bytes.size());
    AcmSourceReader direct(*format, bytes.data(), size);
    AcmSourceReader library(*format, bytes.data(), size, AcmDecoding::Libsndfile);
    Require(direct.Open() && library.Open() && direct.Frames() == library.Frames());
    const int64_t frames = direct.Frames();
    if (format->HasNarrowSamples())
        Require(ReadAll<int16_t>(direct, frames, format->Channels) ==
                ReadAll<int16_t>(library, frames, format->Channels));
    Require(direct.Seek(0) && library.Seek(0));
    const std::vector<float> a = ReadAll<float>(direct, frames, format->Channels);
    const std::vector<float> b = ReadAll<float>(library, frames, format->Channels);
    Require(a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}
}

void FuzzAcmStream(const uint8_t* data, size_t size)
{
    if (size < sizeof(WAVEFORMATEX) + 1)
        return;
    TWaveFormatBlock source{};
    std::memcpy(&source.Format, data, sizeof(WAVEFORMATEX));
    size_t at = sizeof(WAVEFORMATEX);
    const size_t extra = std::min({size_t(source.Format.cbSize), sizeof source.Extra, size - at - 1});
    std::memcpy(source.Extra, data + at, extra);
    at += extra;
    const uint8_t choice = data[at++];

    static const WAVEFORMATEX destinations[] = {
        {WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0},   {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0},
        {WAVE_FORMAT_PCM, 1, 8000, 24000, 3, 24, 0},   {WAVE_FORMAT_PCM, 2, 48000, 384000, 8, 32, 0},
        {WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 129}, {WAVE_FORMAT_PCM, 3, 11025, 33075, 3, 8, 0},
    };
    WAVEFORMATEX target = destinations[choice % std::size(destinations)];
    // The same rate as the source leaves the rate change out: the other half of the engine.
    if (choice & 0x08)
        target.nSamplesPerSec = source.Format.nSamplesPerSec;
    const uint32_t openFlags = (choice & 0x10) ? 0 : ACM_STREAMOPENF_NONREALTIME;
    const uint32_t convertFlags = (choice & 0x20) ? ACM_STREAMCONVERTF_BLOCKALIGN : 0;

    TAcmStream stream;
    if (stream.Open(&source.Format, &target, openFlags) != MMSYSERR_NOERROR)
        return;
    // Buffers of exactly the sizes handed over, so that any access past them is seen: the
    // output starts empty and grows by exactly the room the stream asks for.
    const std::vector<uint8_t> input(data + at, data + size);
    RequirePlainSamplesAsLibsndfile(source.Format, input);
    std::vector<uint8_t> output;
    const TAcmBlock block = stream.Convert(input.data(), uint32_t(input.size()), output, convertFlags, 64u << 20);
    // Whatever the bytes, the stream takes a header over them, and lets go of it again.
    Require(block.Result != ACMERR_UNPREPARED && block.Result != MMSYSERR_INVALHANDLE);
    Require(block.SourceUsed <= input.size());
    Require(block.Written <= block.Room);
    Require(output.size() == (block.Result == MMSYSERR_NOERROR ? block.Written : 0));
    Require(stream.Close() == MMSYSERR_NOERROR);
    // The same sound handed over in parts, through a stream of its own.
    HACMSTREAM parts = nullptr;
    if ((choice & 0x40) &&
        acmStreamOpen(&parts, nullptr, &source.Format, &target, nullptr, 0, 0, openFlags) == MMSYSERR_NOERROR) {
        ConvertInParts(parts, input, 1 + size_t(choice >> 1) % 61 * 37);
        Require(acmStreamClose(parts, 0) == MMSYSERR_NOERROR);
    }
}

void FuzzStoredProperties(const uint8_t* data, size_t size)
{
    TACMConvertor read;
    read.SetName("Convertor");
    try {
        ReadComponentProperties(read, std::string(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception&) {
    }
    // Whatever was taken in, the convertor's own writer and reader agree on it.
    const std::string written = WriteComponentProperties(read);
    TACMConvertor again;
    again.SetName("Convertor");
    ReadComponentProperties(again, written);
    Require(WriteComponentProperties(again) == written);
}
