#include "finish/Filters.h"
#include "finish/Finish.h"
#include "finish/Lanes.h"
#include "support/Signal.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <set>
#include <vector>

// Each case names only the stages it runs; the others stay off.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

constexpr int Rate = 22050;

std::vector<float> Tone(double hz, double peak, double seconds, double offset = 0.0)
{
    std::vector<float> s(size_t(seconds * Rate));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = float(offset + peak * std::sin(2 * M_PI * hz * double(i) / Rate));
    return s;
}

std::vector<uint8_t> Finished(const std::vector<float>& signal, const TFinishRecipe& recipe, TFinished* made = nullptr,
                              bool parallel = true)
{
    TWideMemory store(signal);
    std::vector<uint8_t> out(signal.size());
    const TFinished result = FinishSignal(
        store, signal.size(), recipe,
        [&](uint64_t at, const uint8_t* bytes, uint64_t count) {
            std::copy(bytes, bytes + count, out.begin() + ptrdiff_t(at));
        },
        {}, parallel);
    out.resize(size_t(result.Length));
    if (made)
        *made = result;
    return out;
}

const TFinishRecipe Everything{.HighpassHz = 80, .Compress = 3, .Normalize = true, .FadeMs = 5, .Dither = true};

TEST(FinishTest, ASilentSoundStaysSilentThroughEveryStageWithANote)
{
    TFinished made;
    const std::vector<uint8_t> out = Finished(std::vector<float>(30000, 0.0f), Everything, &made);
    EXPECT_EQ(out, std::vector<uint8_t>(30000, 128));
    EXPECT_EQ(made.Notes, std::vector<std::string>{"nothing to normalize: the sound is silent"});
}

TEST(FinishTest, NormalizeMeasuresFromTheSilenceOf128)
{
    // A quiet sound of one step either side of silence, and one lopsided to one side.
    struct Case {
        std::vector<float> In;
        std::vector<uint8_t> Out;
    } cases[] = {
        {{-1 / 128.f, 0, 1 / 128.f, 0}, {26, 128, 230, 128}},
        {{0.25f, 0.5f, 0, -0.125f}, {179, 230, 128, 102}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Finished(c.In, {.Normalize = true}), c.Out);
}

TEST(FinishTest, DitherIsAddedAfterTheGainSoTheNoiseStaysAtOneStep)
{
    // A tone at -24 dBFS raised by normalizing: rounded at its new level it keeps the noise of
    // one step, while dither added before the gain would be raised with it.
    const std::vector<uint8_t> out =
        Finished(Tone(1000, std::pow(10.0, -24.0 / 20), 1.0), {.Normalize = true, .Dither = true});
    const SineFit fit = FitSine(out.data(), out.size(), 1000, Rate, 0);
    EXPECT_NEAR(fit.Amplitude, 102.4, 0.5);
    EXPECT_GT(fit.SinadDb, 38.0);
}

TEST(FinishTest, HighpassTakesAwayOffsetAndRumbleAndLeavesTheVoice)
{
    const struct {
        double Hz, LowDb, HighDb;
    } cases[] = {{20, -100, -30}, {40, -100, -12}, {300, -0.5, 0.5}, {1000, -0.5, 0.5}, {8000, -0.5, 0.5}};
    for (const auto& c : cases) {
        std::vector<float> s = Tone(c.Hz, 0.5, 1.0);
        THighpass filter(80);
        for (size_t at = 0; at < s.size(); at += 1000)
            filter.Run(s.data() + at, std::min<size_t>(1000, s.size() - at));
        const double db = 20 * std::log10(*std::max_element(s.begin() + ptrdiff_t(s.size() / 2), s.end()) / 0.5);
        EXPECT_GE(db, c.LowDb) << c.Hz;
        EXPECT_LE(db, c.HighDb) << c.Hz;
    }

    // An offset of 10% of full scale under a tone is gone, from the start on.
    const std::vector<uint8_t> out = Finished(Tone(440, 0.3, 1.0, 0.1), {.HighpassHz = 80});
    EXPECT_NEAR(std::accumulate(out.begin(), out.end(), 0.0) / double(out.size()), 128.0, 0.5);
    EXPECT_NEAR(out[0], 128, 1);
}

TEST(FinishTest, FadesStartAndEndOnSilenceWithoutSteps)
{
    const struct {
        double Seconds, FadeMs;
    } cases[] = {{1.0, 5}, {1.0, 20}, {0.004, 5}};
    for (const auto& c : cases) {
        std::vector<float> fullSwing(size_t(c.Seconds * Rate));
        for (size_t i = 0; i < fullSwing.size(); ++i)
            fullSwing[i] = float(0.9 * std::cos(2 * M_PI * 180 * double(i) / Rate));
        const std::vector<uint8_t> plain = Finished(fullSwing, {});
        const std::vector<uint8_t> out = Finished(fullSwing, {.FadeMs = c.FadeMs, .Dither = true});
        ASSERT_EQ(out.size(), fullSwing.size());
        EXPECT_EQ(out.front(), 128) << c.Seconds;
        EXPECT_EQ(out.back(), 128) << c.Seconds;
        EXPECT_NEAR(out[out.size() / 2], plain[out.size() / 2], 2) << "fades that fit leave the middle whole";
        // No step in either fade is larger than the sound's own there (give or take the dither).
        const size_t edge = std::min(out.size() / 2, size_t(c.FadeMs * Rate / 1000));
        for (const size_t from : {size_t(0), out.size() - edge}) {
            auto step = [&](const std::vector<uint8_t>& v) {
                int most = 0;
                for (size_t i = from; i + 1 < from + edge; ++i)
                    most = std::max(most, std::abs(int(v[i + 1]) - int(v[i])));
                return most;
            };
            EXPECT_LE(step(out), step(plain) + 1) << c.Seconds << " " << c.FadeMs << " " << from;
        }
    }
}

// Syllables of a tone, as loud as `peak` at most.
std::vector<float> Syllables(double peak, double seconds)
{
    std::vector<float> s = Tone(300, peak, seconds);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] *= float(0.3 + 0.7 * std::fabs(std::sin(2 * M_PI * 3 * double(i) / Rate)));
    return s;
}

TEST(FinishTest, TheQuantizerGivesTheSameBytesInAnyBlocksAndFromAnyStartAndTheLimiterLetsNoneClip)
{
    // Raised past full scale so that the limiter works on most of it, with dither.
    const std::vector<float> s = Syllables(0.5, 8.0);
    auto quantized = [&](uint64_t start, size_t block) {
        TTauntQuantizer quantizer(3.0, true, true, start);
        std::vector<uint8_t> out;
        for (size_t at = start; at < s.size(); at += block)
            quantizer.Put(s.data() + at, std::min(block, s.size() - at), out);
        quantizer.Finish(out);
        return out;
    };
    // Rounding reaches 0 only from below -127.5 steps: only a clipped sample gets there (255
    // is full scale on the other side, 127 steps).
    const std::vector<uint8_t> whole = quantized(0, s.size());
    EXPECT_EQ(std::count(whole.begin(), whole.end(), 0), 0);
    for (const size_t block : {1, 45, 4000})
        EXPECT_EQ(quantized(0, block), whole) << block;
    // Begun a lead-in before a noise block's start, it goes on from there as the whole does.
    for (const uint64_t from : {TTauntQuantizer::NoiseBlock, 2 * TTauntQuantizer::NoiseBlock}) {
        const std::vector<uint8_t> part = quantized(from - TTauntQuantizer::LeadIn, 4000);
        EXPECT_TRUE(std::equal(part.begin() + TTauntQuantizer::LeadIn, part.end(), whole.begin() + ptrdiff_t(from)));
    }
    // And through the whole chain, levelled and raised: quantized in two halves at once as in one.
    const std::vector<float> longer = Syllables(0.5, 15.0);
    const TFinishRecipe raised{.Compress = 3, .Loudness = -6, .FadeMs = 5, .Dither = true};
    const std::vector<uint8_t> loud = Finished(longer, raised);
    EXPECT_EQ(std::count(loud.begin(), loud.end(), 0), 0);
    EXPECT_EQ(Finished(longer, raised, nullptr, false), loud);
}

TEST(FinishTest, StretchesSideBySideGiveWhatOnePassGives)
{
    // A minute of syllables over an offset, with a quiet half and silences, cut into eight
    // stretches on two threads and run as one.
    std::vector<float> s = Syllables(0.5, 60.0);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = (i / Rate) % 7 == 3 ? 0.05f : s[i] * float((i / Rate) % 20 < 10 ? 1.0 : 0.05) + 0.05f;
    TLaneStages stages;
    stages.Highpass.emplace(80);
    stages.Leveller.emplace(3);
    stages.Trim.emplace(-30, 110);
    stages.Loudness = true;
    auto run = [&](unsigned threads, unsigned stretches, std::vector<float>& out) {
        out.resize(s.size());
        return RunLanes(
            stages, s.size(), threads, stretches,
            [&](uint64_t at, float* samples, uint64_t count) {
                std::copy_n(s.begin() + ptrdiff_t(at), count, samples);
            },
            [&](uint64_t at, const float* samples, uint64_t count) {
                std::copy_n(samples, count, out.begin() + ptrdiff_t(at));
            });
    };
    std::vector<float> one, eight;
    const TLaneMeasures alone = run(1, 1, one), apart = run(2, 8, eight);
    double worst = 0;
    for (size_t i = 0; i < s.size(); ++i)
        worst = std::max(worst, double(std::fabs(one[i] - eight[i])));
    EXPECT_LT(worst, 1e-5);
    EXPECT_EQ(apart.Trim->First(s.size()), alone.Trim->First(s.size()));
    EXPECT_EQ(apart.Trim->End(s.size()), alone.Trim->End(s.size()));
    EXPECT_NEAR(apart.Peak, alone.Peak, 1e-5);
    EXPECT_NEAR(apart.Gate.Lufs(), alone.Gate.Lufs(), 1e-3);
}

TEST(FinishTest, TheLoudnessMeterReadsAsEbuR128Does)
{
    // BS.1770's own figure: a full-scale sine of 997 Hz in one channel reads -3.01 LUFS.
    for (const double db : {0.0, -20.0}) {
        const std::vector<float> sine = Tone(997, std::pow(10.0, db / 20), 5.0);
        EXPECT_NEAR(MeasureLufs(sine.data(), sine.size()), db - 3.01, 0.05) << db;
    }
    // Against libebur128 where the gates decide: loud and quiet syllables, long silences.
    std::vector<float> speech = Syllables(0.5, 20.0);
    for (size_t i = 0; i < speech.size(); ++i)
        speech[i] *= float((i / Rate) % 5 == 0 ? 0.0 : (i / Rate) % 3 == 0 ? 0.01 : 1.0);
    ebur128_state* reference = ebur128_init(1, Rate, EBUR128_MODE_I);
    ebur128_add_frames_float(reference, speech.data(), speech.size());
    double lufs = 0;
    ebur128_loudness_global(reference, &lufs);
    ebur128_destroy(&reference);
    EXPECT_NEAR(MeasureLufs(speech.data(), speech.size()), lufs, 0.05);
    const std::vector<float> silence(Rate);
    EXPECT_EQ(MeasureLufs(silence.data(), silence.size()), -INFINITY);
}

TEST(FinishTest, TheLevellerLiftsTheQuietHalfWithoutClipping)
{
    // Two seconds of syllables at -6 dBFS, then two at -30 dBFS.
    std::vector<float> speech = Tone(220, 0.5, 2.0);
    const std::vector<float> quiet = Tone(220, 0.5 * std::pow(10.0, -24.0 / 20), 2.0);
    speech.insert(speech.end(), quiet.begin(), quiet.end());
    for (size_t i = 0; i < speech.size(); ++i)
        speech[i] *= float(0.6 + 0.4 * std::sin(2 * M_PI * 4 * double(i) / Rate));
    auto levelsOfTheQuietHalf = [&](const std::vector<uint8_t>& out) {
        // The level measured is the level written: the peak lands at 0.8 of full scale.
        const auto [low, high] = std::minmax_element(out.begin(), out.end());
        EXPECT_EQ(std::max(128 - *low, *high - 128), 102);
        return std::set<uint8_t>(out.begin() + ptrdiff_t(out.size() / 2), out.end()).size();
    };
    const size_t without = levelsOfTheQuietHalf(Finished(speech, {.Normalize = true}));
    const size_t with = levelsOfTheQuietHalf(Finished(speech, {.Compress = 3, .Normalize = true}));
    EXPECT_GE(with, 2 * without) << without << " " << with;
}

}
