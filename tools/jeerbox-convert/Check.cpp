#include "Check.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <deque>
#include <filesystem>
#include <map>

std::string Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char small[256];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (length < int(sizeof small)) {
        text.assign(small, size_t(std::max(length, 0)));
    } else {
        text.resize(size_t(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.pop_back();
    }
    va_end(again);
    return text;
}

namespace {

bool IsTable(const std::string& file)
{
    std::string extension = std::filesystem::path(file).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return extension == ".gam";
}

// A loudness far from the set's middle stands out in a game: told, not failed.
void CompareLoudness(std::vector<TWaveReport*>& sounds, double spread)
{
    std::vector<double> measured;
    for (const TWaveReport* r : sounds)
        if (r->Figures && r->Figures->Lufs && std::isfinite(*r->Figures->Lufs))
            measured.push_back(*r->Figures->Lufs);
    if (measured.size() < 2)
        return;
    std::sort(measured.begin(), measured.end());
    const size_t half = measured.size() / 2;
    const double median = measured.size() % 2 ? measured[half] : (measured[half - 1] + measured[half]) / 2;
    for (TWaveReport* r : sounds) {
        if (!r->Figures || !r->Figures->Lufs || !std::isfinite(*r->Figures->Lufs))
            continue;
        const double off = *r->Figures->Lufs - median;
        if (std::fabs(off) > spread)
            r->Findings.Warnings.push_back(Printf("%+.1f LU from the median loudness (%.1f LUFS)", off, median));
    }
}

}

int RunCheck(const std::vector<std::string>& files, const TCheckOptions& options)
{
    // One report for each file however often it is named, on the command line or in tables;
    // the files named on the command line are measured, those only in tables are not.
    std::map<std::string, TWaveReport> waves;
    const auto wave = [&](const std::string& path, bool measure) -> TWaveReport& {
        const std::string key = std::filesystem::path(path).lexically_normal().string();
        auto found = waves.find(key);
        if (found == waves.end())
            found = waves.emplace(key, InspectWave(path, options, measure)).first;
        return found->second;
    };

    std::vector<TWaveReport*> sounds;
    for (const std::string& file : files)
        if (!IsTable(file))
            sounds.push_back(&wave(file, true));
    {
        std::vector<TWaveReport*> distinct = sounds;
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        CompareLoudness(distinct, options.LoudnessSpread);
    }

    std::deque<TTableReport> tables;
    std::vector<TCheckItem> items;
    size_t nextSound = 0;
    for (const std::string& file : files) {
        if (!IsTable(file)) {
            items.push_back({sounds[nextSound++], nullptr});
            continue;
        }
        tables.push_back(
            CheckTable(file, [&](const std::string& path) -> const TWaveReport& { return wave(path, false); }));
        items.push_back({nullptr, &tables.back()});
    }

    if (options.Json)
        WriteCheckJson(stdout, items);
    else
        WriteCheckText(stdout, items);
    const bool failed = std::any_of(items.begin(), items.end(),
                                    [](const TCheckItem& item) { return std::string(item.Verdict()) == "FAIL"; });
    return failed ? 1 : 0;
}
