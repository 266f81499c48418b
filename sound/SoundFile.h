#pragma once

#include "sound/Wavs_ex.h"

#include <string>

// Loads any sound file into a WAV stream. A RIFF WAVE file is read by the stream itself, as
// it always was. Any other file that libsndfile decodes (FLAC, Ogg Vorbis, Opus, MP3,
// AIFF, CAF, W64, RF64...) lands in the stream as PCM at its own rate and channel count:
// 32-bit float when the file holds floating-point samples, 16-bit otherwise, so that
// everything that takes a loaded WAV (the info panel, playing, the convertor) takes it too.
// A file that neither reads nor decodes fails as the WAV stream fails on it ("Not a valid
// WAV file.", or the file's own open error), with the stream left as that failure leaves it.
// A file the decoder gives up on before its end raises the decoder's own words, with the
// stream empty; one merely cut short loads the sound it holds.
void LoadSoundFile(TWavStream& wave, const std::string& fileName);

// The file names the open dialogs offer as sound files, as a filter pattern
// ("*.wav;*.flac;...").
extern const char SoundFilePatterns[];
