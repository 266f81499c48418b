#pragma once

#include <sndfile.h>

#include <string>

// The calls the program makes into libsndfile, from the library loaded the first time a sound
// needs it. Plain PCM and float WAV files never do, so a command-line run that converts them
// is spared loading libsndfile and the seven codec libraries it brings (a fifth of such a
// run's time for a short sound).
struct TSndfileCalls {
    decltype(&sf_open) Open;
    decltype(&sf_open_virtual) OpenVirtual;
    decltype(&sf_close) Close;
    decltype(&sf_readf_short) ReadShorts;
    decltype(&sf_readf_float) ReadFloats;
    decltype(&sf_seek) Seek;
    decltype(&sf_command) Command;
    decltype(&sf_error) Error;
    decltype(&sf_strerror) ErrorText;
};

// The calls; null when the library cannot be loaded, and SndfileLoadError then says why.
const TSndfileCalls* Sndfile();
std::string SndfileLoadError();
