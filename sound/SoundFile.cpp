#include "sound/SoundFile.h"

#include "acm/Riff.h"
#include "acm/Sndfile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <vector>

const char SoundFilePatterns[] = "*.wav;*.flac;*.ogg;*.oga;*.opus;*.mp3;*.aif;*.aiff;*.caf;*.w64";

namespace {

// libsndfile, which every sound file but a RIFF WAVE one needs.
const TSndfileCalls& Library()
{
    if (const TSndfileCalls* calls = Sndfile())
        return *calls;
    throw EWavStreamError(SndfileLoadError());
}

struct SndfileCloser {
    void operator()(SNDFILE* file) const { Library().Close(file); }
};
using TSndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

// RIFF WAVE files keep their own reader: its chunk walk and its format record are what the
// rest of the program was built around. Read without a stream of the standard library, which
// would set up its locale, a good part of a short batch run.
bool IsRiffWaveFile(const std::string& fileName)
{
    const int handle = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return false;
    TFileStream file(fileName, handle);
    uint8_t start[RiffWaveIdSize] = {};
    return file.Read(start, sizeof start) == sizeof start && IsRiffWave(start);
}

bool HoldsFloats(const SF_INFO& info)
{
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

// Decodes up to `frames` frames into `into`; returns how many came.
sf_count_t ReadFrames(SNDFILE* file, bool floats, uint8_t* into, sf_count_t frames)
{
    return floats ? Library().ReadFloats(file, reinterpret_cast<float*>(into), frames)
                  : Library().ReadShorts(file, reinterpret_cast<short*>(into), frames);
}

// The room decoding starts with and the least it grows by: a few MB, whatever the channel
// count. The length a header declares only lowers it: a header is easily wrong or forged, and
// the sound proves its length by decoding.
constexpr int64_t RoomStepBytes = 4 << 20;

// libsndfile reads the file through this source rather than through a file of its own, so
// that the loader learns how far the decoder got: a decoder error once the whole file has
// been read means that the file was cut short, one before its end that it is damaged.
class TSoundSource {
public:
    explicit TSoundSource(const std::string& fileName) : FFile(fileName, TFileMode::OpenRead) {}

    SNDFILE* Open(SF_INFO& info) { return Library().OpenVirtual(&Io, SFM_READ, &info, this); }
    bool ReadToTheEnd() { return FFile.Position() >= FFile.Size(); }

private:
    static TFileStream& File(void* source) { return static_cast<TSoundSource*>(source)->FFile; }

    static SF_VIRTUAL_IO Io;
    TFileStream FFile;
};

SF_VIRTUAL_IO TSoundSource::Io = {
    [](void* source) -> sf_count_t { return File(source).Size(); },
    [](sf_count_t offset, int whence, void* source) -> sf_count_t {
        const TSeekOrigin origin = whence == SEEK_SET ? TSeekOrigin::Beginning
            : whence == SEEK_CUR                      ? TSeekOrigin::Current
                                                      : TSeekOrigin::End;
        return File(source).Seek(offset, origin);
    },
    [](void* into, sf_count_t count, void* source) -> sf_count_t { return File(source).Read(into, count); },
    nullptr,
    [](void* source) -> sf_count_t { return File(source).Position(); },
};

// The format decoded samples are handed out in: 32-bit float when the file holds
// floating-point samples, 16-bit otherwise, at the file's own rate and channel count.
WAVEFORMATEX DecodedFormat(const SF_INFO& info)
{
    const uint16_t bits = HoldsFloats(info) ? 32 : 16;
    const uint16_t frameBytes = uint16_t(info.channels * (bits / 8));
    return WAVEFORMATEX{uint16_t(bits == 32 ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM),
                        uint16_t(info.channels),
                        uint32_t(info.samplerate),
                        uint32_t(std::min<uint64_t>(uint64_t(info.samplerate) * frameBytes, UINT32_MAX)),
                        frameBytes,
                        bits,
                        0};
}

// Whether an opened file holds a sound the program takes; if so, its decoder is set up to
// hand samples out. Lossy decoders overshoot full scale now and then; those samples are
// clipped, not wrapped.
bool Decodable(SNDFILE* file, const SF_INFO& info)
{
    if (!file || info.channels <= 0 || info.channels > 1024 || info.samplerate <= 0)
        return false;
    Library().Command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    return true;
}

// A file that libsndfile decodes, read frame by frame. The decoder reads the file through a
// source of ours, so that where it stops tells a damaged file from one merely cut short.
class TDecodedFile {
public:
    explicit TDecodedFile(const std::string& fileName) : FSource(fileName)
    {
        FFile.reset(FSource.Open(FInfo));
        // A few kinds are told by the file's name alone (headerless streams, an MP3 behind a
        // stretch of junk): libsndfile guesses those when it opens the file by name. Whatever
        // kept the file from opening is asked of the name too: libsndfile says why an open
        // failed only in one place for the whole program, which another thread's open may
        // have changed meanwhile.
        FByName = !FFile;
        if (FByName) {
            FInfo = SF_INFO{};
            FFile.reset(Library().Open(fileName.c_str(), SFM_READ, &FInfo));
        }
        if (!Decodable(FFile.get(), FInfo))
            FFile.reset();
    }

    // Whether libsndfile reads the file as a sound the program takes.
    bool Opened() const { return FFile != nullptr; }
    const SF_INFO& Info() const { return FInfo; }
    WAVEFORMATEX Format() const { return DecodedFormat(FInfo); }

    // Decodes up to `frames` frames into `into`; fewer only at the end of the sound. An error
    // the decoder reports means damage, unless it stopped the decoder short of the frames asked
    // for once the whole file was read, and the decoder does not say that it gave up: then the
    // file was merely cut short, and ends with what was decoded. Damage raises the decoder's
    // own words; a decoder that finds its way again after it would drop sound unseen.
    sf_count_t Read(uint8_t* into, sf_count_t frames)
    {
        const sf_count_t n = ReadFrames(FFile.get(), HoldsFloats(FInfo), into, frames);
        if (Library().Error(FFile.get()) != SF_ERR_NO_ERROR &&
            (n == frames || FByName || !FSource.ReadToTheEnd() || DecoderGaveUp()))
            throw EWavStreamError(Library().ErrorText(FFile.get()));
        return n;
    }

private:
    // A FLAC decoder reads ahead: in a short file it has read to the end before it meets damage
    // in the middle. Its log tells the two apart: it gives up on a frame it cannot decode,
    // where a file cut short ends its stream.
    bool DecoderGaveUp() const
    {
        if ((FInfo.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_FLAC)
            return false;
        std::string log(4096, '\0');
        Library().Command(FFile.get(), SFC_GET_LOG_INFO, log.data(), int(log.size()));
        return log.find("process_single returned false") != std::string::npos;
    }

    TSoundSource FSource;
    SF_INFO FInfo{};
    TSndfile FFile;
    bool FByName = false;
};

// Decodes the whole file into the stream, which grows by halves as the sound comes. Returns
// false, leaving the stream as it was, when libsndfile cannot read the file; raises the
// decoder's own error, with the stream emptied, when the file is damaged.
bool DecodeSoundFile(TWavStream& wave, const std::string& fileName)
{
    TDecodedFile file(fileName);
    if (!file.Opened())
        return false;
    const SF_INFO& info = file.Info();
    const int64_t frameBytes = file.Format().nBlockAlign;
    // A WAV stream holds what a "data" chunk can: less than 4 GiB.
    const sf_count_t maxFrames = sf_count_t(UINT32_MAX / uint64_t(frameBytes));

    wave.Clear();
    const sf_count_t step = std::max<sf_count_t>(RoomStepBytes / frameBytes, 1);
    sf_count_t room = std::clamp<sf_count_t>(std::min(info.frames, step), 0, maxFrames);
    sf_count_t done = 0;
    std::vector<uint8_t> next(size_t(frameBytes), 0);
    try {
        for (;;) {
            wave.SetSize(room * frameBytes);
            done += file.Read(wave.Memory() + done * frameBytes, room - done);
            if (done < room)
                break;
            // The room is full: one more frame says whether the sound goes on.
            if (file.Read(next.data(), 1) == 0)
                break;
            if (room == maxFrames)
                throw EWavStreamError("The sound is too long to load.");
            room = std::min(maxFrames, room + std::max(room / 2, step));
            wave.SetSize(room * frameBytes);
            std::memcpy(wave.Memory() + done * frameBytes, next.data(), next.size());
            ++done;
        }
    } catch (...) {
        wave.Clear();
        throw;
    }
    wave.SetSize(done * frameBytes);
    wave.Seek(0, TSeekOrigin::Beginning);

    wave.Format = file.Format();
    wave.FileName = fileName;
    return true;
}

}  // namespace

void LoadSoundFile(TWavStream& wave, const std::string& fileName)
{
    if (!IsRiffWaveFile(fileName) && DecodeSoundFile(wave, fileName))
        return;
    wave.LoadFromFile(fileName);
}

struct TSoundFileStream::Decoder {
    std::unique_ptr<TDecodedFile> File;
    uint16_t FrameBytes;
    std::vector<uint8_t> Buffer;

    uint32_t Read(uint32_t count)
    {
        Buffer.resize(std::max<size_t>(Buffer.size(), count));
        return uint32_t(File->Read(Buffer.data(), count / FrameBytes)) * FrameBytes;
    }
};

// The pages of the file that hold the bytes handed out last. They are let go of once used, so
// that reading a long file keeps only a block of it in memory.
struct TSoundFileStream::Window {
    void* Start = MAP_FAILED;
    size_t Length = 0;

    ~Window() { Release(); }
    void Release()
    {
        if (Start != MAP_FAILED)
            ::munmap(Start, Length);
        Start = MAP_FAILED;
    }
};

TSoundFileStream::TSoundFileStream(const std::string& fileName) : FFileName(fileName)
{
    if (!IsRiffWaveFile(fileName)) {
        auto file = std::make_unique<TDecodedFile>(fileName);
        if (file->Opened()) {
            Format = file->Format();
            FDecoder.reset(new Decoder{std::move(file), Format.nBlockAlign, {}});
            return;
        }
    }
    // What the WAV stream would refuse to load is refused here with its words.
    FFile = std::make_unique<TFileStream>(fileName, TFileMode::OpenRead);
    TWaveParts parts;
    WalkWaveChunks(*FFile, parts);
    Format = parts.Format;
    FormatExtra = std::move(parts.FormatExtra);
    FPosition = uint64_t(parts.DataStart);
    FLeft = uint64_t(parts.DataSize);
    FSize = parts.DataSize;
    FWindow = std::make_unique<Window>();
}

TSoundFileStream::~TSoundFileStream() = default;

uint64_t TSoundFileStream::Size()
{
    if (FSize < 0) {
        // Counting decodes the whole file: a damaged one fails here, before any of it is used.
        TDecodedFile counter(FFileName);
        if (!counter.Opened())
            throw EWavStreamError("Cannot decode " + FFileName + " again");
        std::vector<uint8_t> scratch(size_t(Format.nBlockAlign) << 14);
        int64_t frames = 0;
        while (const sf_count_t n = counter.Read(scratch.data(), 1 << 14))
            frames += n;
        FSize = frames * Format.nBlockAlign;
    }
    return uint64_t(FSize);
}

const uint8_t* TSoundFileStream::Next(uint32_t count, uint32_t& got)
{
    if (FDecoder) {
        got = FDecoder->Read(count);
        return FDecoder->Buffer.data();
    }
    FWindow->Release();
    got = uint32_t(std::min<uint64_t>(count, FLeft));
    if (got == 0)
        return nullptr;
    static const uint64_t page = uint64_t(::sysconf(_SC_PAGESIZE));
    const uint64_t start = FPosition / page * page;
    const size_t length = size_t(FPosition + got - start);
    FWindow->Start = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, FFile->Handle(), off_t(start));
    if (FWindow->Start == MAP_FAILED)
        throw EReadError("Cannot read \"" + FFileName + "\". " + SystemErrorText(errno));
    FWindow->Length = length;
    const uint8_t* bytes = static_cast<const uint8_t*>(FWindow->Start) + (FPosition - start);
    FPosition += got;
    FLeft -= got;
    return bytes;
}

void TSoundFileStream::Skip(uint64_t count)
{
    if (!FDecoder) {
        const uint64_t n = std::min(count, FLeft);
        FPosition += n;
        FLeft -= n;
        return;
    }
    // Decoded sound is read to the place rather than sought: every decoder then hands out the
    // very samples that decoding from the start gives.
    while (count > 0) {
        const uint32_t n = FDecoder->Read(uint32_t(std::min<uint64_t>(count, uint64_t(FDecoder->FrameBytes) << 14)));
        if (n == 0)
            break;
        count -= n;
    }
}
