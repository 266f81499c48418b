#include "acm/AcmSource.h"
#include "support/AcmRun.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

struct Plain {
    const char* Name;
    uint16_t Tag;
    uint8_t Subformat;  // of an extensible record
    uint16_t Bits;
    AcmPlainSamples Kind;
};

const Plain Plains[] = {
    {"pcm8", 1, 0, 8, AcmPlainSamples::U8},
    {"pcm16", 1, 0, 16, AcmPlainSamples::S16},
    {"pcm24", 1, 0, 24, AcmPlainSamples::S24},
    {"pcm32", 1, 0, 32, AcmPlainSamples::S32},
    {"float32", 3, 0, 32, AcmPlainSamples::F32},
    {"float64", 3, 0, 64, AcmPlainSamples::F64},
    {"extensible8", 0xFFFE, 1, 8, AcmPlainSamples::U8},
    {"extensible16", 0xFFFE, 1, 16, AcmPlainSamples::S16},
    {"extensible24", 0xFFFE, 1, 24, AcmPlainSamples::S24},
    {"extensible32", 0xFFFE, 1, 32, AcmPlainSamples::S32},
    {"extensible_float32", 0xFFFE, 3, 32, AcmPlainSamples::F32},
    {"extensible_float64", 0xFFFE, 3, 64, AcmPlainSamples::F64},
    // Companded samples are libsndfile's to decode, in an extensible record too.
    {"alaw", 6, 0, 8, AcmPlainSamples::None},
    {"mulaw", 7, 0, 8, AcmPlainSamples::None},
    {"extensible_mulaw", 0xFFFE, 7, 8, AcmPlainSamples::None},
};

std::string PlainRecord(const Plain& p, uint16_t channels)
{
    const uint16_t align = uint16_t(channels * p.Bits / 8);
    const bool extensible = p.Tag == 0xFFFE;
    std::string record =
        Record(WAVEFORMATEX{p.Tag, channels, 44100, 44100u * align, align, p.Bits, uint16_t(extensible ? 22 : 0)});
    if (extensible)
        record += Le16(p.Bits) + Le32(0) + char(p.Subformat) + FromHex("000000 0000 1000 800000aa00389b71");
    return record;
}

// Random samples after the extremes of the width (all bits clear, all set, the largest and the
// smallest integer; NaN and -0 as floats), and a partial frame at the end.
std::string Samples(const Plain& p, uint16_t channels, std::mt19937& random)
{
    const size_t width = p.Bits / 8;
    std::string bytes(301 * channels * width - 1, 0);
    for (char& b : bytes)
        b = char(random());
    const char* extremes[] = {"\x00\x00", "\xff\xff", "\xff\x7f", "\x00\x80"};
    for (size_t i = 0; i < 4; ++i)
        for (size_t k = 0; k < width; ++k)
            bytes[i * width + k] = extremes[i][k + 1 < width ? 0 : 1];
    return bytes;
}

// What a reader hands out read in uneven steps, after a seek into the sound and again from
// its start: as floats, or as 16-bit integers.
template <typename Sample>
std::string ReadAround(AcmSourceReader& reader, uint16_t channels)
{
    std::vector<Sample> all;
    std::vector<Sample> step(100 * channels);
    for (const int64_t first : {int64_t(3), int64_t(0)}) {
        EXPECT_TRUE(reader.Seek(first));
        for (int64_t count = 7;; count = 100) {
            int64_t n;
            if constexpr (sizeof(Sample) == 2) {
                n = reader.ReadNarrow(step.data(), count);
            } else {
                n = reader.Read(step.data(), count);
            }
            if (n == 0)
                break;
            all.insert(all.end(), step.begin(), step.begin() + n * channels);
        }
    }
    return std::string(reinterpret_cast<const char*>(all.data()), all.size() * sizeof(Sample));
}

TEST(AcmPlainSamplesTest, PlainSamplesDecodeToTheVeryValuesLibsndfileGives)
{
    std::mt19937 random(20261208);
    for (const Plain& p : Plains)
        for (const uint16_t channels : {1, 2, 3}) {
            SCOPED_TRACE(std::string(p.Name) + " x" + std::to_string(channels));
            const std::string record = PlainRecord(p, channels);
            const auto format = AcmSourceFormat::Describe(reinterpret_cast<const WAVEFORMATEX*>(record.data()));
            ASSERT_TRUE(format);
            EXPECT_EQ(format->PlainSamples(), p.Kind);
            const std::string bytes = Samples(p, channels, random);
            const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
            const uint32_t size = uint32_t(bytes.size());
            AcmSourceReader direct(*format, data, size);
            AcmSourceReader library(*format, data, size, AcmDecoding::Libsndfile);
            ASSERT_TRUE(direct.Open());
            ASSERT_TRUE(library.Open());
            EXPECT_EQ(direct.Frames(), 300);
            EXPECT_EQ(library.Frames(), 300);
            EXPECT_EQ(ReadAround<float>(direct, channels), ReadAround<float>(library, channels));
            if (format->HasNarrowSamples()) {
                EXPECT_EQ(ReadAround<int16_t>(direct, channels), ReadAround<int16_t>(library, channels));
            }
        }
}
}
