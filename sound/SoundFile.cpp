#include "sound/SoundFile.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>

const char SoundFilePatterns[] = "*.wav;*.flac;*.ogg;*.oga;*.opus;*.mp3;*.aif;*.aiff;*.caf;*.w64";

namespace {

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using TSndfile = std::unique_ptr<SNDFILE, SndfileCloser>;

// RIFF WAVE files keep their own reader: its chunk walk and its format record are what the
// rest of the program was built around.
bool IsRiffWave(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    char header[12] = {};
    if (!in.read(header, sizeof header))
        return false;
    return std::memcmp(header, "RIFF", 4) == 0 && std::memcmp(header + 8, "WAVE", 4) == 0;
}

bool HoldsFloats(const SF_INFO& info)
{
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    return subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
}

// Frames decoded straight into the stream's buffer from frame `at` on; returns how many.
sf_count_t ReadFrames(SNDFILE* file, TWavStream& wave, bool floats, int64_t frameBytes, sf_count_t at,
                      sf_count_t frames)
{
    uint8_t* into = wave.Memory() + at * frameBytes;
    return floats ? sf_readf_float(file, reinterpret_cast<float*>(into), frames)
                  : sf_readf_short(file, reinterpret_cast<short*>(into), frames);
}

// Decodes the whole file into the stream, which is sized once from the frame count that the
// file declares; a decoder that finds more than it declared (a guessed MP3 length) grows it.
// Returns false, leaving the stream as it was, when libsndfile cannot read the file.
bool DecodeSoundFile(TWavStream& wave, const std::string& fileName)
{
    SF_INFO info{};
    TSndfile file(sf_open(fileName.c_str(), SFM_READ, &info));
    if (!file || info.channels <= 0 || info.channels > 1024 || info.samplerate <= 0)
        return false;
    // Lossy decoders overshoot full scale now and then; those samples are clipped, not wrapped.
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

    const bool floats = HoldsFloats(info);
    const uint16_t bits = floats ? 32 : 16;
    const int64_t frameBytes = int64_t(info.channels) * (bits / 8);
    // A WAV stream holds what a "data" chunk can: less than 4 GiB.
    const sf_count_t maxFrames = sf_count_t((UINT32_MAX) / frameBytes);
    if (info.frames > maxFrames && info.frames != SF_COUNT_MAX)
        throw EWavStreamError("The sound is too long to load.");

    wave.Clear();
    sf_count_t frames = info.frames == SF_COUNT_MAX ? 0 : info.frames;
    wave.SetSize(frames * frameBytes);
    sf_count_t done = frames > 0 ? ReadFrames(file.get(), wave, floats, frameBytes, 0, frames) : 0;
    if (done == frames) {
        constexpr sf_count_t Step = 65536;
        for (;;) {
            const sf_count_t room = std::min(Step, maxFrames - done);
            if (room == 0) {
                wave.Clear();
                throw EWavStreamError("The sound is too long to load.");
            }
            wave.SetSize((done + room) * frameBytes);
            const sf_count_t more = ReadFrames(file.get(), wave, floats, frameBytes, done, room);
            done += more;
            if (more < room)
                break;
        }
    }
    wave.SetSize(done * frameBytes);
    wave.Seek(0, TSeekOrigin::Beginning);

    WAVEFORMATEX& format = wave.Format;
    format.wFormatTag = floats ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
    format.nChannels = uint16_t(info.channels);
    format.nSamplesPerSec = uint32_t(info.samplerate);
    format.nBlockAlign = uint16_t(frameBytes);
    format.nAvgBytesPerSec = uint32_t(info.samplerate) * format.nBlockAlign;
    format.wBitsPerSample = bits;
    format.cbSize = 0;
    wave.FileName = fileName;
    return true;
}

}  // namespace

void LoadSoundFile(TWavStream& wave, const std::string& fileName)
{
    if (!IsRiffWave(fileName) && DecodeSoundFile(wave, fileName))
        return;
    wave.LoadFromFile(fileName);
}
