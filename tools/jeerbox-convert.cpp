// jeerbox-convert: converts sound files to the taunt format from the command line, through the
// same components the workbench uses: the sound file loader reads (WAV files through the WAV
// stream, other sound files through libsndfile), the convertor converts, the WAV stream writes.
// It links no window toolkit, so a short sound is converted in the time it takes to start.

#include "sound/ACMConvertor.h"
#include "sound/SoundFile.h"
#include "sound/Wavs_ex.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char Usage[] =
    "Usage: jeerbox-convert -o OUTDIR FILE...\n"
    "Converts each sound FILE (WAV, FLAC, Ogg, Opus, MP3, AIFF, CAF, W64...) to PCM, mono,\n"
    "22050 Hz, 8-bit unsigned and writes it as OUTDIR/<name>.wav, <name> being FILE's name\n"
    "without its extension. A FILE whose <name> an earlier FILE of the same run already took\n"
    "fails: nothing is overwritten. Each file that fails is named on standard error with\n"
    "the reason, and the others are still converted.\n"
    "\n"
    "Options:\n"
    "  -o OUTDIR   write the converted files into OUTDIR, made if missing\n"
    "  -h, --help  show this help and exit\n"
    "  --          take every argument after it as a FILE\n"
    "\n"
    "Exit status:\n"
    "  0  every FILE converted\n"
    "  1  some FILE failed, or OUTDIR could not be made\n"
    "  2  bad usage\n";

// The same file however it is named, as far as the names say (the file need not exist yet).
fs::path SameFileName(const fs::path& path)
{
    std::error_code error;
    const fs::path name = fs::weakly_canonical(path, error);
    return error ? fs::absolute(path, error) : name;
}

// Converts one file; returns the reason it failed, or an empty text. A file this run already
// wrote is never written again: two sources of the same name would otherwise leave only the
// last one's sound.
std::string ConvertFile(TACMConvertor& convertor, const std::string& source, const fs::path& outDir,
                        std::set<fs::path>& written)
{
    const fs::path target = outDir / fs::path(source).filename().replace_extension(".wav");
    std::error_code error;
    if (fs::equivalent(target, source, error))
        return "the converted file would replace the source; choose another output folder";
    if (written.count(SameFileName(target)))
        return "the converted file would replace " + target.string() +
               ", which this run already wrote from another source; convert it in a run of its own";

    TWavStream wave;
    LoadSoundFile(wave, source);
    if (wave.Size() > int64_t(UINT32_MAX))
        return "the sound is too long to convert";

    const uint32_t converted = ConvertWave(convertor, wave, false);

    TWavStream result;
    result.SetFormat(convertor.FormatOut.Format);
    result.SetSize(converted);
    if (converted > 0)
        std::memcpy(result.Memory(), convertor.OutputBuffer, converted);
    convertor.SetActive(false);
    result.SaveToFile(target.string());
    written.insert(SameFileName(target));
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
    std::set<fs::path> written;
    int failed = 0;
    for (const std::string& file : files) {
        std::string reason;
        try {
            reason = ConvertFile(convertor, file, outDir, written);
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
