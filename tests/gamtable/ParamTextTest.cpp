#include "GamTestSupport.h"
#include "gamtable/ParamText.h"

#include <QLocale>
#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>

namespace {

TEST(ParamTextTest, FloatsShowFixedWithThreeDecimalsAndAtMostSevenDigits)
{
    const ScopedLocale c(QLocale::C, QLocale::AnyTerritory);
    EXPECT_EQ(FloatToText(1.0f), "1.000");
    EXPECT_EQ(FloatToText(256.0f), "256.000");
    EXPECT_EQ(FloatToText(10.0f), "10.000");
    EXPECT_EQ(FloatToText(0.1f), "0.100");
    EXPECT_EQ(FloatToText(0.0f), "0.000");
    EXPECT_EQ(FloatToText(-0.0001f), "0.000") << "what shows as zero has no sign";
    EXPECT_EQ(FloatToText(-2.5f), "-2.500");
    EXPECT_EQ(FloatToText(0.0126f), "0.013");
    EXPECT_EQ(FloatToText(12345.678f), "12345.680") << "seven digits, then zeros";
    EXPECT_EQ(FloatToText(1234567.0f), "1234567.000");
    EXPECT_EQ(FloatToText(100000.0f), "100000.000") << "no digit grouping";
    EXPECT_EQ(FloatToText(9999999.0f), "9999999.000");
}

TEST(ParamTextTest, WhatIsShownReadsBackToTheSameFloat)
{
    const ScopedLocale c(QLocale::C, QLocale::AnyTerritory);
    for (float v : {1.0f, 0.5f, 256.0f, 12345.5f, -7.25f, 1.0e8f, 3.0e38f, -FLT_MAX}) {
        const QString text = FloatToText(v);
        const std::optional<float> back = TextToFloat32(text);
        ASSERT_TRUE(back) << text.toStdString();
        EXPECT_NEAR(*back, v, std::fabs(v) * 1e-6) << text.toStdString();
    }
    EXPECT_EQ(FloatToText(1.0e10f), "1.000000E+10") << "too many digits for fixed notation";
}

TEST(ParamTextTest, NumbersUseTheLocalesSeparator)
{
    const ScopedLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(FloatToText(1.0f), "1,000");
    EXPECT_EQ(FloatToText(12345.5f), "12345,500");
    EXPECT_EQ(TextToFloat32("2,5"), 2.5f);
    EXPECT_FALSE(TextToFloat32("2.5")) << "a group separator is no decimal separator";
    EXPECT_FALSE(TextToInt32("1.000"));
    EXPECT_EQ(IntToText(22050), "22050");
}

TEST(ParamTextTest, IntegersAre32BitDecimalNumbers)
{
    const ScopedLocale c(QLocale::C, QLocale::AnyTerritory);
    EXPECT_EQ(TextToInt32("360"), 360);
    EXPECT_EQ(TextToInt32("-1"), -1);
    EXPECT_EQ(TextToInt32(" 42 "), 42) << "blanks around are no garbage";
    EXPECT_EQ(TextToInt32("2147483647"), INT32_MAX);
    EXPECT_EQ(TextToInt32("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "2147483648", "-2147483649", "1.5", "12abc", "abc", "0x10", "$10", "1 2"})
        EXPECT_FALSE(TextToInt32(bad)) << bad;
    EXPECT_EQ(IntToText(-2147483647 - 1), "-2147483648");
}

TEST(ParamTextTest, RealsMustFitAFloat)
{
    const ScopedLocale c(QLocale::C, QLocale::AnyTerritory);
    EXPECT_EQ(TextToFloat32("0.1"), 0.1f);
    EXPECT_EQ(TextToFloat32("-3"), -3.0f);
    EXPECT_EQ(TextToFloat32("1e3"), 1000.0f);
    EXPECT_EQ(TextToFloat32("3.4028235e38"), FLT_MAX) << "rounds to the largest float";
    EXPECT_EQ(TextToFloat32("-3.4028235e38"), -FLT_MAX);
    EXPECT_EQ(TextToFloat32("1e-50"), 0.0f) << "too small to hold is zero";
    for (const char* bad :
         {"", "3.4028236e38", "1e39", "-1e39", "1e400", "nan", "NaN", "inf", "-inf", "Infinity", "1.5x", "1,5", "x"})
        EXPECT_FALSE(TextToFloat32(bad)) << bad;
}

// Whatever the dialog shows, its own reader takes back: minus signs and exponents of several
// characters, digits of other scripts, other separators.
TEST(ParamTextTest, ShownNumbersReadBackInEveryLocale)
{
    const char* names[] = {"C",     "en_US", "de_DE", "fr_FR", "sv_SE", "fi_FI", "fa_IR", "ar_EG",
                           "ar_SA", "he_IL", "hi_IN", "bn_BD", "my_MM", "ru_RU", "ja_JP", "ps_AF"};
    for (const char* name : names) {
        const ScopedLocale locale{QLocale(QString::fromLatin1(name))};
        for (float v : {1.0f, -2.5f, 256.0f, -0.75f, 1.0e7f, -1.5e7f, 3.0e38f, -FLT_MAX, 12345.68f}) {
            const QString text = FloatToText(v);
            const std::optional<float> back = TextToFloat32(text);
            if (!back) {
                ADD_FAILURE() << name << ": " << text.toStdString() << " does not read back";
                continue;
            }
            EXPECT_NEAR(*back, v, std::fabs(v) * 1e-6) << name << ": " << text.toStdString();
        }
        for (int32_t v : {0, -1, 4410, -2147483647 - 1, 2147483647}) {
            const QString text = IntToText(v);
            EXPECT_EQ(TextToInt32(text), v) << name << ": " << text.toStdString();
        }
        EXPECT_FALSE(TextToFloat32(QStringLiteral("1x"))) << name;
        EXPECT_FALSE(TextToInt32(IntToText(5) + QStringLiteral("0.5"))) << name;
    }
}

}  // namespace
