// jeerbox-convert: the taunt maker's batch tool. Converts sound files to the taunt format
// with the workbench's own parts (the walk through a WAV file's chunks, the decoder, the
// conversion engine and the one driver of its streams), block by block, and can level and
// trim them and list them in a game table. It links no window toolkit, so a short sound is converted in the
// time it takes to start.

#include "jeerbox-convert/Batch.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    try {
        const TConvertOptions options = ParseOptions(argc, argv);
        if (options.Help) {
            std::fputs(UsageText().c_str(), stdout);
            return 0;
        }
        if (options.Version) {
            std::puts("jeerbox-convert (Orvalis Jeerbox) " JEERBOX_VERSION);
            return 0;
        }
        if (options.Check)
            return RunCheck(options.Files, options.Checking);
        return RunBatch(options);
    } catch (const EUsage& e) {
        std::fprintf(stderr, "jeerbox-convert: %s\nTry 'jeerbox-convert --help' for more information.\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "jeerbox-convert: %s\n", e.what());
        return 1;
    }
}
