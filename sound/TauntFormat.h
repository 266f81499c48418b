#pragma once

#include "acm/MMSystem.h"

// The one format the game plays, and so the format of every converted sound, clip, recording
// and the jingle: PCM, mono, 22050 samples a second, one unsigned byte a sample.
inline constexpr WAVEFORMATEX TauntFormat{WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
