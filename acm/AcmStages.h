#pragma once

// The stages of a conversion, in the order a frame passes them: channels mixed, rate changed,
// samples rounded to the destination's width. A whole-block conversion and a conversion
// handed over in blocks run the very same stages, so that both give the same bytes.

#include "acm/AcmSource.h"

#include <soxr.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace AcmStages {

// Frames decoded, mixed and resampled per step. Small steps keep the buffers in cache and
// the memory a conversion touches for the first time small; libsoxr also does less work
// per frame when fed 1024 frames at a time than 4096 (measured: about a tenth).
inline constexpr int64_t StepFrames = 1024;

// The resampler's precision for a destination width. An 8-bit destination shows at most
// about 49 dB of signal to noise, so libsoxr's 16-bit recipe (about 96 dB of stopband) is
// already far beyond what it can hold: a 10 kHz tone keeps its level within 0.01 dB and
// everything above 11.5 kHz rounds to exact silence. Measured on ten minutes of 44.1 kHz
// stereo, 15 to 20 bits cost the same (libsoxr computes them in single precision) and
// 28 bits a fifth more. Wider destinations get libsoxr's high quality.
inline soxr_quality_spec_t QualityFor(uint16_t bits)
{
    return soxr_quality_spec(bits == 8 ? SOXR_16_BITQ : SOXR_HQ, 0);
}

// Rounds float samples (full scale ±1) to the destination's width. Values past full scale
// are clamped rather than wrapped; an 8-bit destination is unsigned with silence at 128.
class Quantizer {
public:
    Quantizer(uint16_t bits, uint8_t* dst, uint64_t capacitySamples, uint64_t skipSamples)
        : FBits(bits), FDst(dst), FCapacity(capacitySamples), FSkip(skipSamples)
    {
    }

    void Put(const float* samples, uint64_t count)
    {
        const uint64_t skipped = std::min(count, FSkip);
        FSkip -= skipped;
        samples += skipped;
        count -= skipped;
        const uint64_t n = std::min(count, FCapacity - FWritten);
        switch (FBits) {
        case 8: PutUnsigned8(samples, FDst + FWritten, n); break;
        case 16: {
            uint8_t* out = FDst + 2 * FWritten;
            for (uint64_t i = 0; i < n; ++i)
                Store(out + 2 * i, uint32_t(Round(samples[i], 32768.0f, -32768.0f, 32767.0f)), 2);
            break;
        }
        case 24: {
            uint8_t* out = FDst + 3 * FWritten;
            for (uint64_t i = 0; i < n; ++i)
                Store(out + 3 * i, uint32_t(RoundWide(samples[i], 8388608.0, -8388608.0, 8388607.0)), 3);
            break;
        }
        default: PutSigned32(samples, FDst + 4 * FWritten, n); break;
        }
        FWritten += n;
    }

    uint64_t Written() const { return FWritten; }

    // The taunt's width, so the one worth vector code (finishing rounds with it too): the
    // compiler does not turn the clamp's comparisons into vector instructions by itself (they
    // might raise floating-point flags).
    static void PutUnsigned8(const float* samples, uint8_t* out, uint64_t n)
    {
        uint64_t i = 0;
#if defined(__SSE2__)
        // Sixteen at a time: the same clamp, and the conversion rounds to nearest, ties to
        // even, as Round does.
        const __m128 scale = _mm_set1_ps(128.0f);
        const __m128 lo = _mm_set1_ps(-128.0f);
        const __m128 hi = _mm_set1_ps(127.0f);
        const __m128i centre = _mm_set1_epi16(128);
        // A NaN compares unordered with itself and is masked to 0, silence, before the clamp.
        auto rounded = [&](const float* p) {
            const __m128 v = _mm_mul_ps(_mm_loadu_ps(p), scale);
            const __m128 number = _mm_and_ps(v, _mm_cmpord_ps(v, v));
            return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(number, lo), hi));
        };
        for (; i + 16 <= n; i += 16) {
            const float* p = samples + i;
            const __m128i low = _mm_add_epi16(_mm_packs_epi32(rounded(p), rounded(p + 4)), centre);
            const __m128i high = _mm_add_epi16(_mm_packs_epi32(rounded(p + 8), rounded(p + 12)), centre);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(low, high));
        }
#endif
        for (; i < n; ++i)
            out[i] = uint8_t(Round(samples[i], 128.0f, -128.0f, 127.0f) + 128);
    }

private:
    // The width finishing works on, so vector code too. A float scaled by 2^31 is exact, and
    // below 2^31 in size converts to nearest, ties to even, as RoundWide's double does; from
    // 2^31 up it is clamped as there (a conversion from -2^31 down gives -2^31 by itself).
    static void PutSigned32(const float* samples, uint8_t* out, uint64_t n)
    {
        uint64_t i = 0;
#if defined(__SSE2__)
        const __m128 scale = _mm_set1_ps(2147483648.0f);
        const __m128i top = _mm_set1_epi32(0x7FFFFFFF);
        for (; i + 4 <= n; i += 4) {
            const __m128 v = _mm_mul_ps(_mm_loadu_ps(samples + i), scale);
            // A NaN compares unordered with itself and is masked to 0, silence.
            const __m128i rounded = _mm_cvtps_epi32(_mm_and_ps(v, _mm_cmpord_ps(v, v)));
            const __m128i high = _mm_castps_si128(_mm_cmpge_ps(v, scale));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i),
                             _mm_or_si128(_mm_and_si128(high, top), _mm_andnot_si128(high, rounded)));
        }
#endif
        for (; i < n; ++i)
            Store(out + 4 * i, uint32_t(RoundWide(samples[i], 2147483648.0, -2147483648.0, 2147483647.0)), 4);
    }

    // Rounds to nearest, ties to even, by letting the float adder drop the fraction: exact for
    // the clamped range. A NaN (what a source of huge samples can become in the resampler)
    // passes every comparison and has no integer: it becomes silence.
    static int32_t Round(float x, float scale, float lo, float hi)
    {
        constexpr float Shifter = 12582912.0f;  // 1.5 * 2^23
        float v = x * scale;
        if (std::isnan(v))
            return 0;
        v = v < lo ? lo : (v > hi ? hi : v);
        return int32_t((v + Shifter) - Shifter);
    }
    static int64_t RoundWide(float x, double scale, double lo, double hi)
    {
        const double v = double(x) * scale;
        if (std::isnan(v))
            return 0;
        return int64_t(std::llrint(v < lo ? lo : (v > hi ? hi : v)));
    }
    static void Store(uint8_t* p, uint32_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            p[i] = uint8_t(v >> (8 * i));
    }

    uint16_t FBits;
    uint8_t* FDst;
    uint64_t FCapacity;
    uint64_t FSkip;
    uint64_t FWritten = 0;
};

// Brings frames of one channel count to another: the same count passes through, fewer
// channels are the average of all, more channels repeat that average.
class ChannelMixer {
public:
    ChannelMixer(uint16_t from, uint16_t to) : FFrom(from), FTo(to) {}

    const float* Mix(const float* in, int64_t frames)
    {
        if (FFrom == FTo)
            return in;
        FOut.resize(size_t(frames) * FTo);
        float* out = FOut.data();
        if (FFrom == 2 && FTo == 1) {
            for (int64_t f = 0; f < frames; ++f)
                out[f] = (in[2 * f] + in[2 * f + 1]) * 0.5f;
            return out;
        }
        const float scale = 1.0f / float(FFrom);
        for (int64_t f = 0; f < frames; ++f) {
            const float* frame = in + f * FFrom;
            float sum = 0.0f;
            for (uint16_t c = 0; c < FFrom; ++c)
                sum += frame[c];
            std::fill_n(out + f * FTo, FTo, sum * scale);
        }
        return out;
    }

    // The same for 16-bit frames, which come out as floats of full scale ±1. Sums of up to
    // 256 such samples are exact in integers and in floats alike, so this gives the very
    // floats that mixing the samples as floats would.
    const float* Mix(const int16_t* in, int64_t frames)
    {
        FOut.resize(size_t(frames) * FTo);
        float* out = FOut.data();
        constexpr float Unit = 1.0f / 32768.0f;
        if (FFrom == 2 && FTo == 1) {
            MixStereo(in, frames, out);
            return out;
        }
        if (FFrom == FTo) {
            const int64_t n = frames * FFrom;
            for (int64_t i = 0; i < n; ++i)
                out[i] = float(in[i]) * Unit;
            return out;
        }
        const float scale = (1.0f / float(FFrom)) * Unit;
        for (int64_t f = 0; f < frames; ++f) {
            const int16_t* frame = in + f * FFrom;
            int32_t sum = 0;
            for (uint16_t c = 0; c < FFrom; ++c)
                sum += frame[c];
            std::fill_n(out + f * FTo, FTo, float(sum) * scale);
        }
        return out;
    }

private:
    // Stereo to mono, the common case: four frames at a time, each pair summed as integers.
    static void MixStereo(const int16_t* in, int64_t frames, float* out)
    {
        constexpr float Half = 1.0f / 65536.0f;
        int64_t f = 0;
#if defined(__SSE2__)
        const __m128i ones = _mm_set1_epi16(1);
        const __m128 half = _mm_set1_ps(Half);
        for (; f + 4 <= frames; f += 4) {
            const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * f));
            _mm_storeu_ps(out + f, _mm_mul_ps(_mm_cvtepi32_ps(_mm_madd_epi16(pairs, ones)), half));
        }
#endif
        for (; f < frames; ++f)
            out[f] = float(in[2 * f] + in[2 * f + 1]) * Half;
    }

    uint16_t FFrom;
    uint16_t FTo;
    std::vector<float> FOut;
};

// libsoxr over float frames; every frame it has taken in comes out after Flush.
class Resampler {
public:
    Resampler(uint32_t from, uint32_t to, uint16_t channels, uint16_t bits) : FChannels(channels)
    {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = QualityFor(bits);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr_error_t error = nullptr;
        FSoxr = soxr_create(from, to, channels, &error, &io, &quality, &runtime);
        if (error) {
            soxr_delete(FSoxr);
            FSoxr = nullptr;
        }
        FOutFrames = size_t(std::ceil(double(StepFrames) * to / from)) + 64;
        FOut.resize(FOutFrames * channels);
    }
    ~Resampler() { soxr_delete(FSoxr); }
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    bool Ok() const { return FSoxr != nullptr; }

    bool Process(const float* in, int64_t frames, Quantizer& sink)
    {
        size_t left = size_t(frames);
        while (left > 0) {
            size_t taken = 0;
            size_t made = 0;
            if (soxr_process(FSoxr, in, left, &taken, FOut.data(), FOutFrames, &made))
                return false;
            sink.Put(FOut.data(), uint64_t(made) * FChannels);
            if (taken == 0 && made == 0)
                return false;
            in += taken * FChannels;
            left -= taken;
        }
        return true;
    }

    bool Flush(Quantizer& sink)
    {
        size_t made = 0;
        do {
            if (soxr_process(FSoxr, nullptr, 0, nullptr, FOut.data(), FOutFrames, &made))
                return false;
            sink.Put(FOut.data(), uint64_t(made) * FChannels);
        } while (made > 0);
        return true;
    }

private:
    soxr_t FSoxr = nullptr;
    uint16_t FChannels;
    size_t FOutFrames;
    std::vector<float> FOut;
};

// What becomes of decoded frames: mixed to the destination's channels, brought to its rate and
// handed to a quantizer. It keeps the resampler's state from one Pump to the next.
class Pipeline {
public:
    Pipeline(const AcmSourceFormat& source, uint16_t channels, uint32_t rate, uint16_t bits)
        : FNarrow(source.HasNarrowSamples()), FChannels(channels), FMixer(source.Channels, channels)
    {
        if (source.SamplesPerSec != rate)
            FResampler = std::make_unique<Resampler>(source.SamplesPerSec, rate, channels, bits);
        // Narrow samples are read as integers and mixed straight to floats; the others as floats.
        const size_t stepSamples = size_t(StepFrames) * source.Channels;
        FIntegers.resize(FNarrow ? stepSamples : 0);
        FFloats.resize(FNarrow ? 0 : stepSamples);
    }

    bool Ok() const { return !FResampler || FResampler->Ok(); }

    // Passes up to count frames of the reader through, StepFrames at a time; false when the
    // resampler fails.
    bool Pump(AcmSourceReader& reader, int64_t count, Quantizer& sink)
    {
        while (count > 0) {
            const int64_t step = std::min(StepFrames, count);
            const int64_t frames =
                FNarrow ? reader.ReadNarrow(FIntegers.data(), step) : reader.Read(FFloats.data(), step);
            if (frames <= 0)
                break;
            count -= frames;
            const float* mixed = FNarrow ? FMixer.Mix(FIntegers.data(), frames) : FMixer.Mix(FFloats.data(), frames);
            if (!FResampler)
                sink.Put(mixed, uint64_t(frames) * FChannels);
            else if (!FResampler->Process(mixed, frames, sink))
                return false;
        }
        return true;
    }

    // Lets out what the resampler still holds, at the end of the sound.
    bool Finish(Quantizer& sink) { return !FResampler || FResampler->Flush(sink); }

private:
    bool FNarrow;
    uint16_t FChannels;
    ChannelMixer FMixer;
    std::unique_ptr<Resampler> FResampler;
    std::vector<int16_t> FIntegers;
    std::vector<float> FFloats;
};

}
