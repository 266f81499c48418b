#pragma once

#include "Options.h"

// Converts every file the options name, N at once, and writes the game table; reports each
// failed file on standard error in the order of the files, and a progress line while a
// terminal watches. Returns the exit status: 0 when everything was done, 1 when something failed.
// Raises EUsage, before anything is written, when the files and the folders named on the
// command line do not go together.
int RunBatch(const TConvertOptions& options);
