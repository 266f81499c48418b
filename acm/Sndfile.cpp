#include "acm/Sndfile.h"

#include "framework/SharedLibrary.h"

namespace {

struct TLoaded {
    // The library's name for the interface sndfile.h declares.
    TSharedLibrary Library{"libsndfile.so.1"};
    TSndfileCalls Calls{};

    TLoaded()
    {
        Library.Bind(Calls.Open, "sf_open");
        Library.Bind(Calls.OpenVirtual, "sf_open_virtual");
        Library.Bind(Calls.Close, "sf_close");
        Library.Bind(Calls.ReadShorts, "sf_readf_short");
        Library.Bind(Calls.ReadFloats, "sf_readf_float");
        Library.Bind(Calls.Seek, "sf_seek");
        Library.Bind(Calls.Command, "sf_command");
        Library.Bind(Calls.Error, "sf_error");
        Library.Bind(Calls.ErrorText, "sf_strerror");
    }
};

// Kept to the very end of the run, past the static objects that may still close a file.
const TLoaded& Loaded()
{
    static const TLoaded& loaded = *new TLoaded;
    return loaded;
}
}

const TSndfileCalls* Sndfile()
{
    return Loaded().Library.Ok() ? &Loaded().Calls : nullptr;
}

std::string SndfileLoadError()
{
    return Loaded().Library.Error();
}
