#include "acm/AcmEngine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <stdexcept>
#include <thread>

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

}
