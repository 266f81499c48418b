#include "acm/AcmMetrics.h"

#include <gtest/gtest.h>

namespace {

TEST(AcmMetricsTest, LargestFormatHoldsAnMsAdpcmRecordAndOtherQuestionsAreRefused)
{
    uint32_t size = 0;
    ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_NOERROR);
    // 18 bytes of WAVEFORMATEX and 32 of MS ADPCM's own: samples per block, seven coefficient pairs.
    EXPECT_EQ(size, 50u);

    int handle = 0;
    EXPECT_EQ(acmMetrics(&handle, ACM_METRIC_MAX_SIZE_FORMAT, &size), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, nullptr), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT + 1, &size), MMSYSERR_NOTSUPPORTED);
}

}  // namespace
