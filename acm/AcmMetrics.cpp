#include "acm/AcmMetrics.h"

#include <cstring>

namespace {

// MS ADPCM has the longest record of the codecs the conversion engine decodes: the 18-byte
// WAVEFORMATEX, samples per block, the coefficient count and seven coefficient pairs.
constexpr uint32_t LargestFormatRecord = 18 + 2 + 2 + 7 * 4;

}  // namespace

MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric)
{
    if (!pMetric)
        return MMSYSERR_INVALPARAM;
    if (hao)
        return MMSYSERR_INVALHANDLE;
    if (uMetric != ACM_METRIC_MAX_SIZE_FORMAT)
        return MMSYSERR_NOTSUPPORTED;
    std::memcpy(pMetric, &LargestFormatRecord, sizeof LargestFormatRecord);
    return MMSYSERR_NOERROR;
}
