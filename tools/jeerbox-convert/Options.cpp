#include "Options.h"

#include "gam/ParamNumbers.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <thread>
#include <utility>

namespace {

// What --trim, --highpass, --fade and --compress stand for without a value.
constexpr double DefaultTrimDb = -50.0;
constexpr double DefaultHighpassHz = 80.0;
constexpr double DefaultFadeMs = 5.0;
constexpr double DefaultCompress = 3.0;

// The help, each default marked by its option's name in braces where UsageText writes it in.
const char HelpText[] =
    "Usage: jeerbox-convert -o OUTDIR [OPTION]... FILE...\n"
    "  or:  jeerbox-convert --check [--json] [OPTION]... FILE...\n"
    "Converts each sound FILE (WAV, FLAC, Ogg, Opus, MP3, AIFF, CAF, W64...) to a game taunt:\n"
    "PCM, mono, 22050 Hz, 8-bit unsigned, written as OUTDIR/NAME.wav, NAME being FILE's name\n"
    "without its extension. A FILE whose OUTDIR/NAME.wav is a FILE of the run, or was taken\n"
    "by an earlier FILE, fails: nothing this run reads or wrote is overwritten. A file that\n"
    "fails is named and skipped; the others are written. Long sounds are converted block by\n"
    "block in little memory. A run ended by a signal leaves no part of a file behind.\n"
    "\n"
    "Options:\n"
    "  -o, --output=OUTDIR        write the taunts into OUTDIR (made if missing)\n"
    "  -j, --jobs=N               convert N files at once (default: the number of cores)\n"
    "      --normalize            raise the sound so that its largest deviation from\n"
    "                             silence becomes 0.8 of full scale (a silent sound is\n"
    "                             left as it is)\n"
    "      --loudness=LUFS        bring the integrated loudness (EBU R128) to LUFS, from\n"
    "                             -70 to 0, limiting peaks so that no sample clips\n"
    "      --trim[=DB]            cut the silence at both ends, where the sound stays below\n"
    "                             DB dBFS (default {trim}), leaving 5 ms before and after\n"
    "      --dither               add triangular dither at the last rounding to 8 bits,\n"
    "                             after every gain\n"
    "      --highpass[=HZ]        take away a DC offset and the rumble below HZ, from 10\n"
    "                             to 1000 (default {highpass}), with a 4th-order high-pass\n"
    "      --fade[=MS]            fade in and out over MS milliseconds at both ends, from\n"
    "                             0 (none) to 1000 (default {fade}; also with --trim alone)\n"
    "      --compress[=RATIO]     level speech: pull the level of each syllable towards\n"
    "                             -20 dBFS by RATIO, from 1 (none) to 20 (default {compress}),\n"
    "                             lifting quiet ones by up to 24 dB, before the level is\n"
    "                             set; peaks are then limited so that none clips\n"
    "      --gam=FILE.gam         write one sound page for each converted sound into the\n"
    "                             game table FILE.gam, in the order of the FILEs\n"
    "      --force                replace the game table if it exists\n"
    "      --gam-flags=N          the page's flags, 0 to 511, one bit for each of the\n"
    "                             save-to-GAM dialog's boxes (default {gam-flags}, Listener update)\n"
    "      --gam-outer-volume=V   outer cone volume (default {gam-outer-volume})\n"
    "      --gam-inner-cone=DEG   inner cone angle, an integer (default {gam-inner-cone})\n"
    "      --gam-outer-cone=DEG   outer cone angle, an integer (default {gam-outer-cone})\n"
    "      --gam-max-distance=D   maximum distance (default {gam-max-distance})\n"
    "      --gam-min-distance=D   minimum distance (default {gam-min-distance})\n"
    "      --gam-import-adjust=A  import adjust (default {gam-import-adjust})\n"
    "      --check                convert nothing: check each WAV FILE and each game table\n"
    "                             FILE.gam, in any order, and report on standard output\n"
    "      --json                 write the check's report as one JSON document\n"
    "      --clip-run=N           N samples in a row at 0 or 255 are clipped (default {clip-run})\n"
    "      --max-dc=LEVELS        warn of a mean further than LEVELS from silence, 128\n"
    "                             (default {max-dc})\n"
    "      --click=LEVELS         warn of a step of more than LEVELS from silence at the\n"
    "                             first or the last sample (default {click})\n"
    "      --silence=DB           samples below DB dBFS are silence (default {silence})\n"
    "      --max-silence=SECONDS  warn of more silence than this at either end (default {max-silence})\n"
    "      --min-levels=N         warn of a sound that uses fewer than N of the 256 8-bit\n"
    "                             levels (default {min-levels})\n"
    "      --loudness-spread=LU   warn of a loudness further than LU from the median of the\n"
    "                             WAV FILEs checked (default {loudness-spread})\n"
    "  -h, --help                 show this help and exit\n"
    "      --version              show the version and exit\n"
    "\n"
    "A page is named after its sound's FILE (without extension), refers to the written WAV\n"
    "file by its name, loops from 0 to the last byte of the sound (its length in bytes less\n"
    "one, as the workbench sets it), and has the dialog's values for the rest. Names are cut\n"
    "to 34 characters. A FILE whose NAME.wav is longer than that fails, as no page could\n"
    "refer to it. Numbers are read as the dialog reads them (integers of 32 bits, reals\n"
    "that a 32-bit float holds), in the C locale.\n"
    "\n"
    "--check gives each WAV FILE a line: its verdict (ok, warn or FAIL), what it stands on,\n"
    "and its figures: length, peak, integrated loudness (EBU R128), DC offset, 8-bit levels\n"
    "used, silence at the start and the end, the steps from silence at its first and last\n"
    "sample, clipped samples. A WAV file fails when it is not in the taunt format, holds\n"
    "chunks besides one fmt and one data chunk, has a chunk cut short or an odd-sized one\n"
    "without its pad byte before the next, has no samples or clipped ones. A table gets a\n"
    "line and one for each page; it fails when it cannot be read whole, or a sound page names\n"
    "a file that is missing (beside the table) or not in the taunt format, loops outside its\n"
    "sound, or has the name of an earlier page. Pages of other types are named and kept.\n"
    "Warnings do not fail.\n"
    "\n"
    "On a terminal, a progress line on standard error shows the file being converted, n of\n"
    "N, and how far it has come.\n"
    "\n"
    "Exit status:\n"
    " 0  if every FILE was converted (and the table written), or passed the check,\n"
    " 1  if some FILE failed (each is named on standard error), or failed the check,\n"
    " 2  if the command line is wrong (nothing is written then).\n"
    "\n"
    "Examples:\n"
    "  jeerbox-convert -o taunts voice/*.flac\n"
    "  jeerbox-convert -o taunts --trim --loudness=-16 --gam=taunts/voice.gam voice/*.wav\n"
    "  jeerbox-convert --check taunts/*.wav taunts/voice.gam\n";

// A number as --help shows it: the fewest digits that read back as it ("-50", "0.5").
template <typename Number>
std::string Shown(Number value)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// A real of a page as the dialog's fields show it, with its decimal point ("256.0").
std::string ShownReal(float value)
{
    std::string text = Shown(value);
    if (text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

}

std::string UsageText()
{
    const TSoundParams page = DialogSoundParams();
    const TCheckOptions check;
    const std::pair<std::string, std::string> defaults[] = {
        {"trim", Shown(DefaultTrimDb)},
        {"highpass", Shown(DefaultHighpassHz)},
        {"fade", Shown(DefaultFadeMs)},
        {"compress", Shown(DefaultCompress)},
        {"gam-flags", Shown(page.Flags)},
        {"gam-outer-volume", ShownReal(page.OuterConeVolume)},
        {"gam-inner-cone", Shown(page.InnerConeAngle)},
        {"gam-outer-cone", Shown(page.OuterConeAngle)},
        {"gam-max-distance", ShownReal(page.MaxDistance)},
        {"gam-min-distance", ShownReal(page.MinDistance)},
        {"gam-import-adjust", ShownReal(page.ImportAdjust)},
        {"clip-run", Shown(check.ClipRun)},
        {"max-dc", Shown(check.MaxDc)},
        {"click", Shown(check.Click)},
        {"silence", Shown(check.SilenceDb)},
        {"max-silence", Shown(check.MaxSilence)},
        {"min-levels", Shown(check.MinLevels)},
        {"loudness-spread", Shown(check.LoudnessSpread)},
    };
    std::string text = HelpText;
    for (const auto& [name, value] : defaults) {
        const std::string mark = "{" + name + "}";
        text.replace(text.find(mark), mark.size(), value);
    }
    return text;
}

namespace {

int32_t IntegerOf(const std::string& option, const std::string& value)
{
    if (const std::optional<int32_t> v = DecimalToInt32(value))
        return *v;
    throw EUsage("option " + option + " takes an integer, not '" + value + "'");
}

float RealOf(const std::string& option, const std::string& value)
{
    if (const std::optional<float> v = DecimalToFloat32(value))
        return *v;
    throw EUsage("option " + option + " takes a number that a 32-bit float holds, not '" + value + "'");
}

double WithinOf(const std::string& option, const std::string& value, double low, double high, const char* range)
{
    const float v = RealOf(option, value);
    if (!(v >= low && v <= high))
        throw EUsage("option " + option + " takes a number " + range + ", not '" + value + "'");
    return v;
}

}

TConvertOptions ParseOptions(int argc, char** argv)
{
    TConvertOptions o;
    const unsigned cores = std::thread::hardware_concurrency();
    o.Jobs = cores > 0 ? cores : 1;
    TSoundParams& p = o.GamParams;
    using Setter = std::function<void(const std::string& option, const std::string& value)>;
    const std::map<std::string, Setter> valued = {
        {"--output", [&](auto&, auto& v) { o.OutDir = v; }},
        {"--jobs",
         [&](auto& n, auto& v) {
             const int32_t jobs = IntegerOf(n, v);
             if (jobs < 1 || jobs > 1024)
                 throw EUsage("option " + n + " takes a count from 1 to 1024, not '" + v + "'");
             o.Jobs = unsigned(jobs);
         }},
        {"--loudness", [&](auto& n, auto& v) { o.Recipe.Loudness = WithinOf(n, v, -70.0, 0.0, "from -70 to 0"); }},
        {"--gam",
         [&](auto& n, auto& v) {
             if (v.empty())
                 throw EUsage("option " + n + " needs a file name");
             o.GamFile = v;
         }},
        {"--gam-flags",
         [&](auto& n, auto& v) {
             const int32_t flags = IntegerOf(n, v);
             if (flags < 0 || uint32_t(flags) > SoundFlagsMask)
                 throw EUsage("option " + n + " takes a number from 0 to 511, not '" + v + "'");
             p.Flags = uint32_t(flags);
         }},
        {"--gam-outer-volume", [&](auto& n, auto& v) { p.OuterConeVolume = RealOf(n, v); }},
        {"--gam-inner-cone", [&](auto& n, auto& v) { p.InnerConeAngle = IntegerOf(n, v); }},
        {"--gam-outer-cone", [&](auto& n, auto& v) { p.OuterConeAngle = IntegerOf(n, v); }},
        {"--gam-max-distance", [&](auto& n, auto& v) { p.MaxDistance = RealOf(n, v); }},
        {"--gam-min-distance", [&](auto& n, auto& v) { p.MinDistance = RealOf(n, v); }},
        {"--gam-import-adjust", [&](auto& n, auto& v) { p.ImportAdjust = RealOf(n, v); }},
    };
    // The check's thresholds, given only with --check.
    TCheckOptions& c = o.Checking;
    const auto countOf = [](const std::string& n, const std::string& v, int32_t low, int32_t high) {
        const int32_t count = IntegerOf(n, v);
        if (count < low || count > high)
            throw EUsage("option " + n + " takes a count from " + std::to_string(low) + " to " + std::to_string(high) +
                         ", not '" + v + "'");
        return count;
    };
    const std::map<std::string, Setter> checkValued = {
        {"--clip-run", [&](auto& n, auto& v) { c.ClipRun = countOf(n, v, 1, 1000000); }},
        {"--max-dc", [&](auto& n, auto& v) { c.MaxDc = WithinOf(n, v, 0.0, 128.0, "of levels from 0 to 128"); }},
        {"--click", [&](auto& n, auto& v) { c.Click = countOf(n, v, 0, 128); }},
        {"--silence", [&](auto& n, auto& v) { c.SilenceDb = WithinOf(n, v, -120.0, 0.0, "of dBFS from -120 to 0"); }},
        {"--max-silence", [&](auto& n, auto& v) { c.MaxSilence = WithinOf(n, v, 0.0, 1e9, "of seconds, 0 or more"); }},
        {"--min-levels", [&](auto& n, auto& v) { c.MinLevels = countOf(n, v, 0, 256); }},
        {"--loudness-spread",
         [&](auto& n, auto& v) { c.LoudnessSpread = WithinOf(n, v, 0.0, 1000.0, "of LU from 0 to 1000"); }},
    };
    std::vector<std::string> given;
    const std::map<std::string, std::string> shortNames = {{"-o", "--output"}, {"-j", "--jobs"}};

    bool filesOnly = false;
    // The first option that only a table run takes, as given.
    std::string tableOption;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (filesOnly || arg.empty() || arg[0] != '-' || arg == "-") {
            o.Files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            filesOnly = true;
            continue;
        }
        // -oDIR and -j4 as well as -o DIR and -j 4.
        if (arg.size() > 2 && arg[1] != '-' && shortNames.count(arg.substr(0, 2)))
            arg = shortNames.at(arg.substr(0, 2)) + "=" + arg.substr(2);
        else if (shortNames.count(arg))
            arg = shortNames.at(arg);
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const bool hasValue = equals != std::string::npos;
        const std::string value = hasValue ? arg.substr(equals + 1) : std::string();
        given.push_back(name);
        if (tableOption.empty() && (name.starts_with("--gam-") || name == "--force"))
            tableOption = argv[i];
        const Setter* setter = valued.count(name) ? &valued.at(name)
            : checkValued.count(name)             ? &checkValued.at(name)
                                                  : nullptr;
        if (setter) {
            if (hasValue)
                (*setter)(name, value);
            else if (i + 1 < argc)
                (*setter)(name, argv[++i]);
            else
                throw EUsage("option " + name + " needs a value");
            continue;
        }
        if (name == "--trim") {
            o.Recipe.TrimDb = hasValue ? WithinOf(name, value, -120.0, 0.0, "of dBFS from -120 to 0") : DefaultTrimDb;
            continue;
        }
        if (name == "--highpass") {
            o.Recipe.HighpassHz =
                hasValue ? WithinOf(name, value, 10.0, 1000.0, "of Hz from 10 to 1000") : DefaultHighpassHz;
            continue;
        }
        if (name == "--fade") {
            o.Recipe.FadeMs = hasValue ? WithinOf(name, value, 0.0, 1000.0, "of ms from 0 to 1000") : DefaultFadeMs;
            continue;
        }
        if (name == "--compress") {
            o.Recipe.Compress = hasValue ? WithinOf(name, value, 1.0, 20.0, "from 1 to 20") : DefaultCompress;
            continue;
        }
        const std::map<std::string, bool*> switches = {{"--help", &o.Help},
                                                       {"-h", &o.Help},
                                                       {"--version", &o.Version},
                                                       {"--normalize", &o.Recipe.Normalize},
                                                       {"--dither", &o.Recipe.Dither},
                                                       {"--force", &o.Force},
                                                       {"--check", &o.Check},
                                                       {"--json", &o.Checking.Json}};
        const auto flag = switches.find(name);
        if (flag == switches.end())
            throw EUsage("unknown option " + name);
        if (hasValue)
            throw EUsage("option " + name + " takes no value");
        *flag->second = true;
    }
    if (o.Help || o.Version)
        return o;
    for (const std::string& name : given) {
        const bool checking = name == "--check" || name == "--json" || checkValued.count(name);
        if (o.Check && !checking)
            throw EUsage("--check converts nothing: it takes no " + name);
        if (!o.Check && checking)
            throw EUsage(name + " is for --check");
    }
    if (o.Check) {
        if (o.Files.empty())
            throw EUsage("no file to check");
        return o;
    }
    if (o.OutDir.empty())
        throw EUsage("no output folder: give one with -o OUTDIR");
    if (o.Files.empty())
        throw EUsage("no sound file to convert");
    if (o.Recipe.Normalize && o.Recipe.Loudness)
        throw EUsage("--normalize and --loudness both set the level: choose one");
    // A trimmed taunt starts and ends on silence unless told otherwise; --fade=0 fades nothing.
    if (o.Recipe.TrimDb && !o.Recipe.FadeMs)
        o.Recipe.FadeMs = DefaultFadeMs;
    if (o.Recipe.FadeMs == 0.0)
        o.Recipe.FadeMs.reset();
    if (o.GamFile.empty() && !tableOption.empty())
        throw EUsage(tableOption + " is for the game table: give one with --gam=FILE.gam");
    return o;
}
