#include "sound/ACMConvertor.h"
#include "sound/Wavs_ex.h"
#include "support/Signal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Flavour {
    const char* Name;
    int Subformat;
    uint16_t Bits;
};

const Flavour Flavours[] = {
    {"int16", SF_FORMAT_PCM_16, 16},  {"int24", SF_FORMAT_PCM_24, 24},   {"int32", SF_FORMAT_PCM_32, 32},
    {"float32", SF_FORMAT_FLOAT, 32}, {"float64", SF_FORMAT_DOUBLE, 64},
};

// Loads a file into a WAV stream and converts it to the taunt format the way the window and
// jeerbox-convert do; returns the converted bytes.
std::vector<uint8_t> ConvertFile(const std::string& path)
{
    TWavStream wave;
    wave.LoadFromFile(path);
    TACMConvertor convertor;
    // What an earlier source left in the block must not matter.
    std::memset(convertor.FormatIn.Extra, 0xA5, sizeof convertor.FormatIn.Extra);
    convertor.SetInputBufferSize(uint32_t(wave.Size()));
    SetSourceFormat(convertor.FormatIn, wave.Format, wave.FormatExtra);
    convertor.SetActive(true);
    std::memcpy(convertor.InputBuffer, wave.Memory(), size_t(wave.Size()));
    const uint32_t converted = convertor.Convert();
    return std::vector<uint8_t>(convertor.OutputBuffer, convertor.OutputBuffer + converted);
}

// Every extensible flavour libsndfile writes converts to the bytes that the same sound gives as
// a plain 16-bit file: the samples are 16-bit values, which every flavour holds exactly. (Wide
// samples are mixed as floats, narrow ones as integers: a rounding tie may fall either way.)
TEST(ExtensibleWaveTest, EveryFlavourConvertsLikeThePlainFileOfTheSameSound)
{
    TempDir dir;
    for (int channels = 1; channels <= 6; ++channels) {
        const std::vector<int16_t> sound = Sine16(440.0 + 110 * channels, 0.6, 44100, 0.25, channels);
        const std::string plain = dir.FilePath("plain" + std::to_string(channels) + ".wav");
        WriteWithSndfile(plain, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, channels, sound);
        const std::vector<uint8_t> expected = ConvertFile(plain);
        ASSERT_NEAR(double(expected.size()), 22050 * 0.25, 2.0) << channels << " channels";

        for (const Flavour& f : Flavours) {
            SCOPED_TRACE(std::string(f.Name) + ", " + std::to_string(channels) + " channels");
            const std::string path = dir.FilePath(std::string(f.Name) + "-" + std::to_string(channels) + ".wav");
            WriteWithSndfile(path, SF_FORMAT_WAVEX | f.Subformat, 44100, channels, sound);
            TWavStream wave;
            wave.LoadFromFile(path);
            ASSERT_EQ(wave.Format.wFormatTag, 0xFFFE);
            ASSERT_EQ(wave.Format.wBitsPerSample, f.Bits);
            ASSERT_EQ(wave.FormatExtra.size(), 22u);
            const std::vector<uint8_t> got = ConvertFile(path);
            ASSERT_EQ(got.size(), expected.size());
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_NEAR(got[i], expected[i], 1) << "sample " << i;
        }
    }
}

}
