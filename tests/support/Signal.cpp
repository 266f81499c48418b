#include "support/Signal.h"

#include "framework/ByteOrder.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

std::vector<int16_t> Sine16(double hz, double peak, int rate, double seconds, int channels)
{
    const size_t frames = size_t(std::lround(rate * seconds));
    std::vector<int16_t> out(frames * size_t(channels));
    for (size_t i = 0; i < frames; ++i) {
        const auto v = int16_t(std::lrint(peak * 32767.0 * std::sin(2 * M_PI * hz * double(i) / rate)));
        for (int c = 0; c < channels; ++c)
            out[i * size_t(channels) + size_t(c)] = v;
    }
    return out;
}

std::string Bytes(const std::vector<int16_t>& samples)
{
    return std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
}

SineFit FitSine(const uint8_t* samples, size_t count, double hz, int rate, size_t skip)
{
    // Normal equations of y = a sin + b cos + c.
    double m[3][4] = {};
    for (size_t i = skip; i + skip < count; ++i) {
        const double w = 2 * M_PI * hz * double(i) / rate;
        const double v[3] = {std::sin(w), std::cos(w), 1.0};
        const double y = double(samples[i]) - 128.0;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                m[r][c] += v[r] * v[c];
            m[r][3] += v[r] * y;
        }
    }
    for (int p = 0; p < 3; ++p)
        for (int r = p + 1; r < 3; ++r) {
            const double f = m[r][p] / m[p][p];
            for (int c = p; c < 4; ++c)
                m[r][c] -= f * m[p][c];
        }
    double x[3];
    for (int r = 2; r >= 0; --r) {
        double s = m[r][3];
        for (int c = r + 1; c < 3; ++c)
            s -= m[r][c] * x[c];
        x[r] = s / m[r][r];
    }
    double signal = 0;
    double rest = 0;
    for (size_t i = skip; i + skip < count; ++i) {
        const double w = 2 * M_PI * hz * double(i) / rate;
        const double model = x[0] * std::sin(w) + x[1] * std::cos(w);
        const double e = double(samples[i]) - 128.0 - model;
        signal += model * model;
        rest += e * e;
    }
    return {std::hypot(x[0], x[1]), x[2], 10 * std::log10(signal / rest), std::atan2(x[1], x[0])};
}

WavParts SplitWav(const std::string& file)
{
    WavParts parts;
    for (size_t pos = 12; pos + 8 <= file.size();) {
        const std::string id = file.substr(pos, 4);
        const uint32_t size = GetLe32(reinterpret_cast<const uint8_t*>(file.data()) + pos + 4);
        const std::string payload = file.substr(pos + 8, size);
        if (id == "fmt ")
            parts.Fmt = payload;
        else if (id == "data")
            parts.Data = payload;
        pos += 8 + size_t(size) + (size & 1);
    }
    return parts;
}

void WriteWithSndfile(const std::string& path, int format, int rate, int channels, const std::vector<int16_t>& samples,
                      double compressionLevel)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        throw std::runtime_error(sf_strerror(nullptr));
    if (compressionLevel >= 0)
        sf_command(f, SFC_SET_COMPRESSION_LEVEL, &compressionLevel, sizeof compressionLevel);
    // Written as full-scale ±1 values, which libsndfile scales for every subformat alike.
    std::vector<double> scaled(samples.begin(), samples.end());
    for (double& v : scaled)
        v /= 32768.0;
    const sf_count_t frames = sf_count_t(samples.size()) / channels;
    const sf_count_t written = sf_writef_double(f, scaled.data(), frames);
    sf_close(f);
    if (written != frames)
        throw std::runtime_error("short write");
}

std::vector<int16_t> TwoTones()
{
    const std::vector<int16_t> low = Sine16(440, 0.35, 44100, 0.8, 2);
    const std::vector<int16_t> high = Sine16(1234, 0.25, 44100, 0.8, 2);
    std::vector<int16_t> sum(low.size());
    for (size_t i = 0; i < sum.size(); ++i)
        sum[i] = int16_t(low[i] + high[i]);
    return sum;
}

TauntAlignment AlignTaunts(const std::string& reference, const std::string& later, int maxShift, int skip)
{
    const auto* a = reinterpret_cast<const uint8_t*>(reference.data());
    const auto* b = reinterpret_cast<const uint8_t*>(later.data());
    // Over the samples both hold at this shift, less the ends: the sum and the largest of the
    // differences.
    const auto compare = [&](int shift) {
        const int64_t from = std::max<int64_t>(0, -shift) + skip;
        const int64_t to = std::min<int64_t>(int64_t(reference.size()), int64_t(later.size()) - shift) - skip;
        int64_t sum = 0;
        int largest = 0;
        for (int64_t i = from; i < to; ++i) {
            const int step = std::abs(int(a[i]) - int(b[i + shift]));
            sum += step;
            largest = std::max(largest, step);
        }
        return std::pair{to > from ? double(sum) / double(to - from) : 1e9, largest};
    };
    TauntAlignment best{0, 256};
    double bestMean = 1e9;
    for (int shift = -maxShift; shift <= maxShift; ++shift) {
        const auto [mean, largest] = compare(shift);
        if (mean < bestMean) {
            bestMean = mean;
            best = {shift, largest};
        }
    }
    return best;
}

const SoundFileKind FlacOggMp3[3] = {
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
    {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, true},
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, true},
};
