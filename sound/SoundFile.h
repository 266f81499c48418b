#pragma once

#include "sound/Wavs_ex.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <string>

// Loads any sound file into a WAV stream. A RIFF WAVE file is read by the stream itself, as
// it always was. Any other file that libsndfile decodes (FLAC, Ogg Vorbis, Opus, MP3,
// AIFF, CAF, W64, RF64...) lands in the stream as PCM at its own rate and channel count:
// 32-bit float when the file holds floating-point samples, 16-bit otherwise, so that
// everything that takes a loaded WAV (the info panel, playing, the convertor) takes it too.
// A file that neither reads nor decodes fails as the WAV stream fails on it ("Not a valid
// WAV file.", or the file's own open error), with the stream left as that failure leaves it;
// where libsndfile cannot be loaded, any file but a RIFF WAVE one fails with that news.
// A file the decoder gives up on before its end raises the decoder's own words, with the
// stream empty; one merely cut short loads the sound it holds.
void LoadSoundFile(TWavStream& wave, const std::string& fileName);

// The file names the open dialogs offer as sound files, as a filter pattern
// ("*.wav;*.flac;...").
extern const char SoundFilePatterns[];

// A sound file read block by block, for a sound of any length: the sound is the very bytes
// and format that LoadSoundFile loads, and opening fails as loading does.
class TSoundFileStream {
public:
    explicit TSoundFileStream(const std::string& fileName);
    ~TSoundFileStream();
    TSoundFileStream(const TSoundFileStream&) = delete;
    TSoundFileStream& operator=(const TSoundFileStream&) = delete;

    WAVEFORMATEX Format{};
    std::vector<uint8_t> FormatExtra;

    // The sound's count of bytes. A decoded file's count is known once it has been decoded
    // to its end: the first call does so, by a decoder of its own.
    uint64_t Size();
    // The next bytes of the sound, up to count (a multiple of the format's block size), fewer
    // only at the sound's end: valid until the next call. A WAV file's bytes are the file's
    // own pages, mapped rather than copied; a decoded file's are decoded into a buffer.
    const uint8_t* Next(uint32_t count, uint32_t& got);
    // Moves count bytes on without handing them out.
    void Skip(uint64_t count);

private:
    struct Decoder;
    struct Window;
    std::string FFileName;
    std::unique_ptr<TFileStream> FFile;
    uint64_t FPosition = 0;
    uint64_t FLeft = 0;
    std::unique_ptr<Window> FWindow;
    std::unique_ptr<Decoder> FDecoder;
    int64_t FSize = -1;
};
