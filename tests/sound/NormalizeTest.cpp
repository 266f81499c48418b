#include "sound/Normalize.h"
#include "framework/Exception.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <vector>

namespace {

TEST(NormalizeTest, FullRangeMapsTo27Through228AroundAFixed127)
{
    std::vector<uint8_t> s(256);
    std::iota(s.begin(), s.end(), 0);
    NormalizeSamples(s.data(), uint32_t(s.size()));
    EXPECT_EQ(s[0], 27);
    EXPECT_EQ(s[127], 127);
    EXPECT_EQ(s[255], 228);
    EXPECT_EQ(s[128], 127) << "a deviation of 1 scales to 0.79 and truncates toward zero";
    EXPECT_EQ(s[126], 127);
    EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
}

TEST(NormalizeTest, SilenceAt128BecomesThePeakAndNarrowSoundsAreRaised)
{
    std::vector<uint8_t> silence(100, 128);
    NormalizeSamples(silence.data(), 100);
    EXPECT_EQ(silence, std::vector<uint8_t>(100, 228));

    std::vector<uint8_t> narrow;
    for (int v = 117; v <= 137; ++v)
        narrow.push_back(uint8_t(v));
    NormalizeSamples(narrow.data(), uint32_t(narrow.size()));
    EXPECT_EQ(narrow.front(), 26);
    EXPECT_EQ(narrow.back(), 228);
    EXPECT_EQ(narrow[10], 127);

    // The peak is the deepest swing on either side: here the one below the centre.
    std::vector<uint8_t> low{27, 127, 147};
    NormalizeSamples(low.data(), uint32_t(low.size()));
    EXPECT_EQ(low, (std::vector<uint8_t>{26, 127, 147}));
}

TEST(NormalizeTest, ASecondNormalizeChangesNoByte)
{
    std::vector<uint8_t> s;
    for (int i = 0; i < 5000; ++i)
        s.push_back(uint8_t(127 + 40 * std::sin(i * 0.01) + (i % 7)));
    NormalizeSamples(s.data(), uint32_t(s.size()));
    const std::vector<uint8_t> once = s;
    NormalizeSamples(s.data(), uint32_t(s.size()));
    EXPECT_EQ(s, once);
}

TEST(NormalizeTest, AllBytes127IsAnErrorThatChangesNothing)
{
    std::vector<uint8_t> flat(50, 127);
    EXPECT_THROW(NormalizeSamples(flat.data(), 50), Exception);
    EXPECT_EQ(flat, std::vector<uint8_t>(50, 127));
}

}  // namespace
