// jeerbox-convert: the taunt maker's batch tool. Converts sound files to the taunt format
// through the same components the workbench uses (the sound file loader's reading, the
// convertor's conversion streams), block by block, and can level and trim them and list
// them in a game table. It links no window toolkit, so a short sound is converted in the
// time it takes to start.

#include "jeerbox-convert/Batch.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    TConvertOptions options;
    try {
        options = ParseOptions(argc, argv);
        // A table that exists is replaced only when asked, and one goes only into a folder
        // that exists: both are known before any work.
        if (!options.GamFile.empty()) {
            const std::filesystem::path table(options.GamFile);
            if (!options.Force && std::filesystem::exists(table))
                throw EUsage(options.GamFile + " exists; give --force to replace it");
            if (table.has_parent_path() && !std::filesystem::is_directory(table.parent_path()))
                throw EUsage("no folder " + table.parent_path().string() + " for the table " + options.GamFile);
        }
    } catch (const EUsage& e) {
        std::fprintf(stderr, "jeerbox-convert: %s\nTry 'jeerbox-convert --help' for more information.\n", e.what());
        return 2;
    }
    if (options.Help) {
        std::fputs(UsageText, stdout);
        return 0;
    }
    if (options.Version) {
        std::puts("jeerbox-convert (Orvalis Jeerbox) " JEERBOX_VERSION);
        return 0;
    }
    if (options.Check)
        return RunCheck(options.Files, options.Checking);
    return RunBatch(options);
}
