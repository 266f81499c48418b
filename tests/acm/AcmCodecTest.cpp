#include "support/AcmRun.h"
#include "support/Files.h"
#include "support/Signal.h"
#include "support/TempDir.h"
#include "sound/TauntFormat.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numeric>

namespace {

struct Codec {
    const char* Name;
    int Format;
    int Rate;
    int Channels;
    double MinSinadDb;  // what the codec itself leaves of a 440 Hz sine, with the 8-bit target
    bool KeepsPhase;  // whether the codec adds no delay of its own
};

std::ostream& operator<<(std::ostream& os, const Codec& c)
{
    return os << c.Name;
}

class AcmCodecTest : public ::testing::TestWithParam<Codec> {
protected:
    // A 440 Hz sine at half scale written by libsndfile in the codec, then split into the
    // format record (with its extra bytes) and the sample bytes.
    WavParts Made()
    {
        const Codec& c = GetParam();
        const std::string path = dir.FilePath("sine.wav");
        WriteWithSndfile(path, c.Format, c.Rate, c.Channels, Sine16(440, 0.5, c.Rate, 1.0, c.Channels));
        WavParts parts = SplitWav(ReadFile(path));
        if (parts.Fmt.size() == 16)
            parts.Fmt += Le16(0);
        return parts;
    }
    TempDir dir;
};

TEST_P(AcmCodecTest, DecodesAndConvertsTheSourceSignal)
{
    const Codec& c = GetParam();
    const WavParts parts = Made();
    ASSERT_GE(parts.Fmt.size(), 18);
    const AcmRun run = ConvertBlock(parts.Fmt, TauntFormat, parts.Data);
    ASSERT_EQ(run.Result, MMSYSERR_NOERROR);
    EXPECT_FALSE(run.WroteBeyond);
    EXPECT_NEAR(double(run.Output.size()), 22050.0, 22050.0 * 0.05) << "one second of sound";

    const SineFit fit = FitSine(run.Output.data(), run.Output.size(), 440, 22050, 1000);
    EXPECT_NEAR(fit.Amplitude, 64.0, 64.0 * 0.06);
    EXPECT_GE(fit.SinadDb, c.MinSinadDb);
    EXPECT_NEAR(fit.Offset, 0.0, 0.5);
    if (c.KeepsPhase) {
        EXPECT_NEAR(fit.Phase, 0.0, 0.02) << "the sound is not shifted in time";
    }
}

TEST_P(AcmCodecTest, ConvertsAFormatThatLostItsExtraBytes)
{
    // The workbench copies only the 18-byte record of a file's format; what the codec needs
    // beyond it follows from the record.
    const WavParts parts = Made();
    const AcmRun full = ConvertBlock(parts.Fmt, TauntFormat, parts.Data);
    std::string bare = parts.Fmt.substr(0, 18) + std::string(111, 0);
    const AcmRun derived = ConvertBlock(bare, TauntFormat, parts.Data);
    ASSERT_EQ(derived.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(derived.Output, full.Output);
}

const Codec Codecs[] = {
    {"pcm_u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 16000, 2, 36, true},
    {"pcm_16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16000, 2, 40, true},
    {"pcm_24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 1, 40, true},
    {"pcm_32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 11025, 2, 40, true},
    {"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 2, 40, true},
    {"double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 22050, 1, 40, true},
    {"extensible_16", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 44100, 2, 40, true},
    {"extensible_24", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 32000, 1, 40, true},
    {"alaw", SF_FORMAT_WAV | SF_FORMAT_ALAW, 8000, 1, 30, true},
    {"ulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 2, 30, true},
    {"ima_adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 22050, 2, 25, true},
    {"ms_adpcm", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 11025, 1, 25, true},
    {"gsm610", SF_FORMAT_WAV | SF_FORMAT_GSM610, 8000, 1, 10, false},
};

INSTANTIATE_TEST_SUITE_P(Codecs, AcmCodecTest, ::testing::ValuesIn(Codecs),
                         [](const ::testing::TestParamInfo<Codec>& info) { return std::string(info.param.Name); });

TEST(AcmCodecFormatTest, ExtensibleThirtyTwoBitsWithoutSubformatIsRefused)
{
    // 32-bit samples may be integers or floats; guessing wrong would be loud noise.
    const WAVEFORMATEX f{0xFFFE, 1, 22050, 22050 * 4, 4, 32, 22};
    const AcmRun run = ConvertBlock(Record(f) + std::string(22, 0), TauntFormat, std::string(400, 0));
    EXPECT_EQ(run.Result, ACMERR_NOTPOSSIBLE);
}

TEST(AcmCodecFormatTest, FloatSourcesWithValuesNoSoundHasStaySafe)
{
    const float samples[] = {0.0f, NAN, INFINITY, -INFINITY, 2.5f, -7.0f, 0.5f};
    WAVEFORMATEX f{3, 1, 22050, 22050 * 4, 4, 32, 0};
    const AcmRun run =
        ConvertBlock(Record(f), TauntFormat, std::string(reinterpret_cast<const char*>(samples), int(sizeof samples)));
    ASSERT_EQ(run.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(run.Output, (std::vector<uint8_t>{128, 128, 255, 0, 255, 0, 192}));
}

TEST(AcmCodecFormatTest, HugeFloatSamplesThatWouldOverflowTheRateChangeAreHeldAtFullScale)
{
    // Two channels at the largest float would average to infinity, which the resampler's filter
    // would turn into NaN; held to a bound first, they are as loud as a taunt can be.
    const std::vector<float> samples(2 * 4410, std::numeric_limits<float>::max());
    const WAVEFORMATEX f{3, 2, 44100, 44100 * 8, 8, 32, 0};
    const std::string bytes(reinterpret_cast<const char*>(samples.data()), int(samples.size() * sizeof(float)));
    const AcmRun run = ConvertBlock(Record(f), TauntFormat, bytes);
    ASSERT_EQ(run.Result, MMSYSERR_NOERROR);
    ASSERT_GT(run.Output.size(), 2000u);
    EXPECT_EQ(size_t(std::count(run.Output.begin(), run.Output.end(), uint8_t(255))), run.Output.size());
    EXPECT_EQ(ConvertBlock(Record(f), TauntFormat, bytes).Output, run.Output) << "the same every time";
}

// One finite sample far beyond full scale is held to the same bound as infinity before the
// rate changes, so that the filter rings only briefly around it.
TEST(AcmCodecFormatTest, OneHugeFiniteFloatSampleSpoilsOnlyItsNeighbours)
{
    const WAVEFORMATEX f{3, 1, 44100, 44100 * 4, 4, 32, 0};
    const auto convert = [&](float odd) {
        std::vector<float> samples(4410);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.3f * std::sin(0.0627f * float(i));
        samples[2000] = odd;
        return ConvertBlock(Record(f), TauntFormat,
                            std::string(reinterpret_cast<const char*>(samples.data()), int(samples.size() * 4)))
            .Output;
    };
    const std::vector<uint8_t> clean = convert(0.3f * std::sin(0.0627f * 2000));
    for (const float huge : {1e30f, 3e38f, -3e38f}) {
        const std::vector<uint8_t> spoilt = convert(huge);
        EXPECT_EQ(spoilt, convert(huge > 0 ? INFINITY : -INFINITY)) << huge;
        const auto differ =
            std::inner_product(clean.begin(), clean.end(), spoilt.begin(), 0, std::plus<>(), std::not_equal_to<>());
        EXPECT_LT(differ, 110) << huge << ": samples around it that differ, of 5 ms";
    }
}

}
