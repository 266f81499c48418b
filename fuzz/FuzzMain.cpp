// One fuzz target: JEERBOX_FUZZ_BODY names the body (see FuzzBodies.h) it runs.
#include "fuzz/FuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    JEERBOX_FUZZ_BODY(data, size);
    return 0;
}
