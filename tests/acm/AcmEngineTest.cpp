#include "acm/AcmEngine.h"
#include "acm/AcmStages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

TEST(AcmEngineTest, AFailureInEitherHalfOfATwoThreadConversionComesBackAsItsCode)
{
    const auto fine = [] { return MMRESULT(MMSYSERR_NOERROR); };
    const auto outOfMemory = []() -> MMRESULT { throw std::bad_alloc(); };
    const auto broken = []() -> MMRESULT { throw std::runtime_error("broken"); };

    EXPECT_EQ(AcmRunHalves(fine, fine), MMSYSERR_NOERROR);
    EXPECT_EQ(AcmRunHalves(outOfMemory, fine), MMSYSERR_NOMEM) << "the first half runs on a thread of its own";
    EXPECT_EQ(AcmRunHalves(fine, outOfMemory), MMSYSERR_NOMEM);
    EXPECT_EQ(AcmRunHalves(broken, fine), MMSYSERR_ERROR);
    EXPECT_EQ(AcmRunHalves(fine, [] { return MMRESULT(ACMERR_NOTPOSSIBLE); }), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(AcmRunHalves([] { return MMRESULT(MMSYSERR_NOMEM); }, broken), MMSYSERR_ERROR)
        << "when both fail, the second half's code";

    // The second half's failure does not leave the first running behind the caller's back.
    std::atomic<bool> firstDone{false};
    EXPECT_EQ(AcmRunHalves(
                  [&] {
                      std::this_thread::sleep_for(std::chrono::milliseconds(50));
                      firstDone = true;
                      return MMRESULT(MMSYSERR_NOERROR);
                  },
                  outOfMemory),
              MMSYSERR_NOMEM);
    EXPECT_TRUE(firstDone);
}

// 32-bit samples, rounded four at a time in single precision, are those the double gives:
// clamped at both ends, ties to even, NaN as silence.
TEST(AcmEngineTest, ThirtyTwoBitSamplesAreRoundedAsInDoublePrecision)
{
    constexpr float Inf = std::numeric_limits<float>::infinity();
    std::vector<float> in{1, -1, 1.5f, -1.5f, 0.99999994f, Inf, -Inf, NAN, -0.0f, 1e-45f};
    for (const float halfway : {0.5f, 1.5f, 2.5f, -2.5f})
        in.push_back(halfway / 2147483648.0f);
    for (int i = 0; i < 4000; ++i)
        in.push_back(std::sin(float(i)) * (i % 2 ? 1.1f : 1e-5f));
    std::vector<int32_t> out(in.size());
    AcmStages::Quantizer(32, reinterpret_cast<uint8_t*>(out.data()), in.size(), 0).Put(in.data(), in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        const double v = double(in[i]) * 2147483648.0;
        const double expected = std::isnan(v) ? 0.0 : std::nearbyint(std::clamp(v, -2147483648.0, 2147483647.0));
        EXPECT_EQ(out[i], int32_t(expected)) << in[i];
    }
}

}
