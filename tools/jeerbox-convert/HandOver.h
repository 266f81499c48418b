#pragma once

#include "Options.h"

// Whether the run may load a shared library: libsndfile for a source that is no RIFF WAVE
// file, holds coded samples or cannot be read (libsndfile is asked about those too), or is no
// regular file; libebur128 for a run that measures loudness or checks files.
bool NeedsLoadedLibraries(const TConvertOptions& options);

// Runs the same command line in the build of this program that loads libraries, installed
// beside it (../libexec/jeerbox/jeerbox-convert; libexec/jeerbox/jeerbox-convert in the
// build's folder). Returns only by raising, when that program cannot be started.
[[noreturn]] void HandOver(char** argv);
