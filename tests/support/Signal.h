#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Test signals and what is measured on converted sound.

// A sine of the given peak (full scale 1.0) as interleaved 16-bit samples, every channel equal.
std::vector<int16_t> Sine16(double hz, double peak, int rate, double seconds, int channels);
std::string Bytes(const std::vector<int16_t>& samples);

// The least-squares fit of a sine of known frequency plus a constant to unsigned 8-bit
// samples (centre 128), over [skip, size - skip).
struct SineFit {
    double Amplitude;  // in LSB
    double Offset;  // the constant, in LSB from 128
    double SinadDb;  // fitted sine over everything else
    double Phase;  // of the fitted sine, in radians; 0 for a sine that starts at 0
};
SineFit FitSine(const uint8_t* samples, size_t count, double hz, int rate, size_t skip);

// The "fmt " and "data" payloads of a RIFF WAVE image.
struct WavParts {
    std::string Fmt;
    std::string Data;
};
WavParts SplitWav(const std::string& file);

// Writes interleaved 16-bit samples as a WAV file through libsndfile, in the given
// libsndfile subformat (SF_FORMAT_PCM_16, SF_FORMAT_IMA_ADPCM, ...) and major format.
// A lossy format is written at the given compression level (0 the best sound, 1 the smallest
// file; negative: libsndfile's default).
void WriteWithSndfile(const std::string& path, int format, int rate, int channels, const std::vector<int16_t>& samples,
                      double compressionLevel = -1);

// A taunt-sized test sound that lossy codecs keep well: two tones (440 Hz and 1234 Hz, 0.6
// of full scale together), 0.8 s of 44.1 kHz stereo with both channels equal.
std::vector<int16_t> TwoTones();

// How a taunt decoded from a lossy file lines up with the same taunt made from a lossless
// one: the shift (in samples, positive when `later` lags) that matches them best, and the
// largest difference of two samples after that shift, over the overlap less `skip` samples
// at either end.
struct TauntAlignment {
    int Shift;
    int MaxStep;
};
TauntAlignment AlignTaunts(const std::string& reference, const std::string& later, int maxShift, int skip);

// The sound file kinds that libsndfile writes beside WAV, each a name ending and a format.
struct SoundFileKind {
    const char* Extension;
    int Format;
    bool Lossy;
};
extern const SoundFileKind FlacOggMp3[3];
