#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// Test signals and what is measured on converted sound.

// A sine of the given peak (full scale 1.0) as interleaved 16-bit samples, every channel equal.
std::vector<int16_t> Sine16(double hz, double peak, int rate, double seconds, int channels);
QByteArray Bytes(const std::vector<int16_t>& samples);

// The least-squares fit of a sine of known frequency plus a constant to unsigned 8-bit
// samples (centre 128), over [skip, size - skip).
struct SineFit {
    double Amplitude; // in LSB
    double Offset;    // the constant, in LSB from 128
    double SinadDb;   // fitted sine over everything else
    double Phase;     // of the fitted sine, in radians; 0 for a sine that starts at 0
};
SineFit FitSine(const uint8_t* samples, size_t count, double hz, int rate, size_t skip);

// The "fmt " and "data" payloads of a RIFF WAVE image.
struct WavParts {
    QByteArray Fmt;
    QByteArray Data;
};
WavParts SplitWav(const QByteArray& file);

// Writes interleaved 16-bit samples as a WAV file through libsndfile, in the given
// libsndfile subformat (SF_FORMAT_PCM_16, SF_FORMAT_IMA_ADPCM, ...), major format WAV or WAVEX.
void WriteWithSndfile(const QString& path, int format, int rate, int channels, const std::vector<int16_t>& samples);
