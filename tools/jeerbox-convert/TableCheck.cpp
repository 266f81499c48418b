#include "Check.h"

#include "gam/GamReader.h"

#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// A sound page against its file, which the game looks for in the table's folder.
void CheckSoundPage(TPageReport& page, const fs::path& folder,
                    const std::function<const TWaveReport&(const std::string&)>& wave)
{
    TFindings& f = page.Findings;
    if (page.FileName.empty()) {
        f.Failures.push_back("it names no file");
        return;
    }
    const std::string path = (folder / page.FileName).string();
    std::error_code error;
    if (!fs::exists(path, error)) {
        f.Failures.push_back("missing: " + path);
        return;
    }
    const TWaveReport& sound = wave(path);
    if (!sound.Read) {
        f.Failures.push_back(path + ": " + (sound.Findings.Failures.empty() ? "" : sound.Findings.Failures[0]));
        return;
    }
    if (!sound.IsTaunt())
        f.Failures.push_back(path + " is not in the taunt format");
    page.SoundBytes = sound.DataBytes;
    // The loop runs over bytes of the sound, its end on its last byte at the furthest.
    if (page.LoopStart < 0 || page.LoopEnd < page.LoopStart || page.LoopEnd >= sound.DataBytes)
        f.Failures.push_back(Printf("its loop from %d to %d lies outside the sound's %lld bytes", page.LoopStart,
                                    page.LoopEnd, (long long)sound.DataBytes));
}

}

const char* TTableReport::Verdict() const
{
    bool warned = !Findings.Warnings.empty();
    if (!Findings.Failures.empty())
        return "FAIL";
    for (const TPageReport& page : Pages) {
        if (!page.Findings.Failures.empty())
            return "FAIL";
        warned = warned || !page.Findings.Warnings.empty();
    }
    return warned ? "warn" : "ok";
}

TTableReport CheckTable(const std::string& path, const std::function<const TWaveReport&(const std::string&)>& wave)
{
    TTableReport table;
    table.File = path;
    std::vector<TGamPage> pages;
    try {
        pages = ReadGamFile(path);
    } catch (const std::exception& e) {
        table.Findings.Failures.push_back(e.what());
        return table;
    }
    if (pages.empty())
        table.Findings.Warnings.push_back("it holds no pages");
    const fs::path folder = fs::path(path).parent_path();
    std::map<std::string, size_t> named;
    for (const TGamPage& read : pages) {
        TPageReport& page = table.Pages.emplace_back();
        page.Offset = read.Offset;
        page.Type = read.PageType;
        page.Size = read.Size;
        if (!read.Sound) {
            page.Findings.Warnings.push_back("not a sound page (kept as it is)");
            continue;
        }
        page.Sound = true;
        page.Name = read.Sound->PageName.ToString();
        page.FileName = read.Sound->FileName.ToString();
        page.LoopStart = read.Sound->Params.LoopStart;
        page.LoopEnd = read.Sound->Params.LoopEnd;
        CheckSoundPage(page, folder, wave);
        const auto [first, isNew] = named.emplace(page.Name, table.Pages.size());
        if (!isNew)
            page.Findings.Failures.push_back(Printf("page %zu has the same name", first->second));
    }
    return table;
}
