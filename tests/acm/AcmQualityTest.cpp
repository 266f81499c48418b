#include "support/AcmRun.h"
#include "support/Signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// Sines at -1 dBFS in 44.1 kHz 16-bit stereo, as a CD rip would give them, made taunts.
const double Peak = std::pow(10.0, -1.0 / 20.0);
const double ExpectedAmplitude = Peak * 32767.0 / 32768.0 * 128.0;  // in 8-bit steps
constexpr size_t Edge = 22050 / 50;  // 20 ms at either end

std::vector<uint8_t> TauntOf(double hz, double peak = Peak)
{
    const AcmRun run =
        ConvertBlock(Record(Pcm(2, 44100, 16)), Pcm(1, 22050, 8), Bytes(Sine16(hz, peak, 44100, 2.0, 2)));
    EXPECT_EQ(run.Result, MMSYSERR_NOERROR);
    EXPECT_EQ(run.Output.size(), 44100u);
    return run.Output;
}

double Db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

TEST(AcmQualityTest, OneKilohertzIsAsCleanAsEightBitRoundingAllows)
{
    const std::vector<uint8_t> out = TauntOf(1000);
    const SineFit fit = FitSine(out.data(), out.size(), 1000, 22050, Edge);
    EXPECT_GE(fit.SinadDb, 49.0);
    EXPECT_NEAR(Db(fit.Amplitude / ExpectedAmplitude), 0.0, 0.05);
    EXPECT_NEAR(fit.Offset, 0.0, 0.05) << "rounding adds no DC offset";
    EXPECT_NEAR(fit.Phase, 0.0, 0.01) << "the resampler's delay is taken out";
}

TEST(AcmQualityTest, TenKilohertzPassesAtFullLevel)
{
    const std::vector<uint8_t> out = TauntOf(10000);
    const SineFit fit = FitSine(out.data(), out.size(), 10000, 22050, Edge);
    EXPECT_NEAR(Db(fit.Amplitude / ExpectedAmplitude), 0.0, 0.1);
}

TEST(AcmQualityTest, WhatTheTauntCannotHoldLeavesExactSilence)
{
    for (double hz : {11500.0, 12000.0, 15000.0, 20000.0}) {
        const std::vector<uint8_t> out = TauntOf(hz);
        const auto loud = std::find_if(out.begin() + Edge, out.end() - Edge, [](uint8_t b) { return b != 128; });
        EXPECT_EQ(loud, out.end() - Edge) << hz << " Hz aliases at sample " << (loud - out.begin());
    }
}

TEST(AcmQualityTest, SilenceStaysAtTheCentreEverywhere)
{
    const std::vector<uint8_t> out = TauntOf(1000, 0.0);
    EXPECT_EQ(std::count(out.begin(), out.end(), 128), std::ptrdiff_t(out.size()));
}

TEST(AcmQualityTest, LongSoundsComeOutWholeAndSeamless)
{
    // Long enough to be converted in two halves at once; any slip where they meet would
    // show as a phase jump in the sine.
    for (const auto& [rate, channels] : {std::pair{44100, 2}, std::pair{48000, 1}}) {
        const auto source = Sine16(1000, Peak, rate, 30.0, channels);
        const AcmRun run =
            ConvertBlock(Record(Pcm(uint16_t(channels), uint32_t(rate), 16)), Pcm(1, 22050, 8), Bytes(source));
        ASSERT_EQ(run.Result, MMSYSERR_NOERROR);
        EXPECT_NEAR(double(run.Output.size()), 30.0 * 22050, 1.0) << rate;
        const SineFit fit = FitSine(run.Output.data(), run.Output.size(), 1000, 22050, Edge);
        EXPECT_GE(fit.SinadDb, 49.0) << rate;
        EXPECT_NEAR(fit.Phase, 0.0, 0.01) << rate;
        // Every sample, the seam included, lies within rounding of the ideal sine.
        int off = 0;
        for (size_t i = Edge; i + Edge < run.Output.size(); ++i)
            off += std::abs(double(run.Output[i]) - 128.0 -
                            ExpectedAmplitude * std::sin(2 * M_PI * 1000.0 * double(i) / 22050)) > 1.0;
        EXPECT_EQ(off, 0) << rate;
    }
}

TEST(AcmQualityTest, FullScaleClampsInsteadOfWrapping)
{
    // A full-scale square wave (441 Hz: edges every 25 output samples) overshoots the rails
    // once band-limited; the overshoot must stop at 0 and 255 rather than wrap around.
    std::vector<int16_t> square(44100 * 2);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 2 / 50) % 2 ? int16_t(-32768) : int16_t(32767);
    const AcmRun run = ConvertBlock(Record(Pcm(2, 44100, 16)), Pcm(1, 22050, 8), Bytes(square));
    ASSERT_EQ(run.Result, MMSYSERR_NOERROR);
    int wrong = 0;
    for (size_t j = Edge; j + Edge < run.Output.size(); ++j) {
        if (j % 25 == 0)
            continue;
        const bool high = (j / 25) % 2 == 0;
        wrong += high ? run.Output[j] < 192 : run.Output[j] > 64;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(*std::max_element(run.Output.begin(), run.Output.end()), 255);
    EXPECT_EQ(*std::min_element(run.Output.begin(), run.Output.end()), 0);
}

}
