// jeerbox-convert: converts WAV files to the taunt format from the command line, through the
// same components the workbench uses: the WAV stream reads and writes, the convertor converts.
// It links no window toolkit, so a short sound is converted in the time it takes to start.

#include "sound/ACMConvertor.h"
#include "sound/Wavs_ex.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char Usage[] =
    "Usage: jeerbox-convert -o OUTDIR FILE...\n"
    "Converts each WAV FILE to PCM, mono, 22050 Hz, 8-bit unsigned and writes it as\n"
    "OUTDIR/<name>.wav, <name> being FILE's name without its extension.\n"
    "Prints one line for each file that fails; exits with 0 only if every file converted.\n";

// Converts one file; returns the reason it failed, or an empty text.
std::string ConvertFile(TACMConvertor& convertor, const std::string& source, const fs::path& outDir)
{
    const fs::path target = outDir / fs::path(source).filename().replace_extension(".wav");
    std::error_code error;
    if (fs::equivalent(target, source, error))
        return "the converted file would replace the source; choose another output folder";

    TWavStream wave;
    wave.LoadFromFile(source);
    if (wave.Size() > int64_t(UINT32_MAX))
        return "the sound is too long to convert";

    const uint32_t converted = ConvertWave(convertor, wave, false);

    TWavStream result;
    result.SetFormat(convertor.FormatOut.Format);
    result.SetSize(converted);
    std::memcpy(result.Memory(), convertor.OutputBuffer, converted);
    convertor.SetActive(false);
    result.SaveToFile(target.string());
    return {};
}

}

int main(int argc, char** argv)
{
    std::string outDir;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "-o" && i + 1 < argc)
            outDir = argv[++i];
        else if (arg == "--")
            while (++i < argc)
                files.emplace_back(argv[i]);
        else if (arg[0] == '-') {
            std::fprintf(stderr, "jeerbox-convert: unknown option %s\n%s", argv[i], Usage);
            return 2;
        } else
            files.push_back(arg);
    }
    if (outDir.empty() || files.empty()) {
        std::fputs(Usage, stderr);
        return 2;
    }
    std::error_code error;
    fs::create_directories(outDir, error);
    if (!fs::is_directory(outDir)) {
        std::fprintf(stderr, "jeerbox-convert: cannot create the folder %s\n", outDir.c_str());
        return 1;
    }

    TACMConvertor convertor;
    int failed = 0;
    for (const std::string& file : files) {
        std::string reason;
        try {
            reason = ConvertFile(convertor, file, outDir);
        } catch (const std::exception& e) {
            reason = e.what();
        }
        if (!reason.empty()) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), reason.c_str());
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
