#pragma once

#include "acm/MMSystem.h"

// Questions to the audio compression manager about its codecs as a whole.

using HACMOBJ = void*;

// The size in bytes of the largest wave format record any codec uses; a 32-bit count.
constexpr UINT ACM_METRIC_MAX_SIZE_FORMAT = 50;

// Writes the asked figure to *pMetric. hao must be empty: the figures are about all codecs.
// MMSYSERR_NOTSUPPORTED for a metric not answered here.
MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, void* pMetric);
