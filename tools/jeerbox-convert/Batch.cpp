#include "Batch.h"

#include "Taunt.h"

#include "framework/ReplacingFile.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// One file of the batch and what became of it.
struct TJob {
    std::string Source;
    fs::path Target;
    std::string Error;
    TTauntMade Made;
    std::atomic<bool> Started{false};
    std::atomic<double> Done{0.0};
    bool Finished = false;
};

// The same file however it is named, as far as the names say (the file need not exist yet).
fs::path SameFileName(const fs::path& path)
{
    std::error_code error;
    const fs::path name = fs::weakly_canonical(path, error);
    return error ? fs::absolute(path, error) : name;
}

// Files known by who they are: an existing file by its device and inode, whatever name or
// link leads to it, and every file by its full name, which is all a file yet to be made has.
class TFileSet {
public:
    void Insert(const fs::path& path)
    {
        if (const auto node = NodeOf(path))
            FNodes.insert(*node);
        FNames.insert(SameFileName(path));
    }
    bool Contains(const fs::path& path) const
    {
        const auto node = NodeOf(path);
        return (node && FNodes.count(*node)) || FNames.count(SameFileName(path));
    }

private:
    static std::optional<std::pair<dev_t, ino_t>> NodeOf(const fs::path& path)
    {
        struct stat info;
        if (::stat(path.c_str(), &info) != 0)
            return std::nullopt;
        return std::pair{info.st_dev, info.st_ino};
    }

    std::set<std::pair<dev_t, ino_t>> FNodes;
    std::set<fs::path> FNames;
};

// A game table's page refers to its sound's file by a name of at most this many characters.
constexpr size_t PageFileNameSize = 34;

// Gives each file its target, refusing a target that would replace a source of the run or a
// file this run already gave to an earlier source: two sources of the same name would
// otherwise leave only the last one's sound. A refused target stays taken all the same. In a
// run that writes a table, a target whose name a page cannot hold is refused too: the page
// would refer to a file that does not exist.
void AssignTargets(std::vector<std::unique_ptr<TJob>>& jobs, const TConvertOptions& options, const TFileSet& sources,
                   TFileSet& targets)
{
    for (auto& job : jobs) {
        job->Target = fs::path(options.OutDir) / fs::path(job->Source).filename().replace_extension(".wav");
        const std::string name = job->Target.filename().string();
        std::error_code error;
        if (fs::equivalent(job->Target, job->Source, error) || SameFileName(job->Target) == SameFileName(job->Source))
            job->Error = "the converted file would replace the source; choose another output folder";
        else if (sources.Contains(job->Target))
            job->Error = "the converted file would replace " + job->Target.string() +
                ", a source of this run; choose another output folder";
        else if (targets.Contains(job->Target))
            job->Error = "the converted file would replace " + job->Target.string() +
                ", which this run already wrote from another source; convert it in a run of its own";
        else if (!options.GamFile.empty() && name.size() > PageFileNameSize)
            job->Error = "the name " + name + " is longer than the " + std::to_string(PageFileNameSize) +
                " characters a game table's page holds; give the file a shorter name";
        targets.Insert(job->Target);
    }
}

// Standard error shared by the jobs: each file's messages in the order of the files, and on a
// terminal one progress line that the messages push down.
class TReporter {
public:
    TReporter(std::vector<std::unique_ptr<TJob>>& jobs, bool terminal) : FJobs(jobs), FTerminal(terminal) {}

    void Finished(TJob& job)
    {
        std::lock_guard<std::mutex> guard(FLock);
        job.Finished = true;
        ClearLine();
        for (; FNext < FJobs.size() && FJobs[FNext]->Finished; ++FNext) {
            const TJob& done = *FJobs[FNext];
            if (!done.Error.empty())
                std::fprintf(stderr, "%s: %s\n", done.Source.c_str(), done.Error.c_str());
            for (const std::string& note : done.Made.Notes)
                std::fprintf(stdout, "%s: %s\n", done.Target.c_str(), note.c_str());
        }
        std::fflush(stdout);
        DrawLine();
    }

    void Progress()
    {
        if (!FTerminal)
            return;
        std::lock_guard<std::mutex> guard(FLock);
        DrawLine();
    }

    void End()
    {
        std::lock_guard<std::mutex> guard(FLock);
        ClearLine();
    }

private:
    // The earliest file still being converted: its number and how far it has come.
    void DrawLine()
    {
        if (!FTerminal)
            return;
        for (size_t i = FNext; i < FJobs.size(); ++i) {
            const TJob& job = *FJobs[i];
            if (job.Finished || !job.Started)
                continue;
            const int percent = int(job.Done * 100.0);
            if (i == FShownJob && percent == FShownPercent)
                return;
            char line[160];
            std::snprintf(line, sizeof line, "\r\033[K%zu of %zu: %.100s %d%%", i + 1, FJobs.size(),
                          fs::path(job.Source).filename().c_str(), percent);
            std::fputs(line, stderr);
            std::fflush(stderr);
            FShownJob = i;
            FShownPercent = percent;
            FShown = true;
            return;
        }
    }

    void ClearLine()
    {
        if (FShown)
            std::fputs("\r\033[K", stderr);
        FShown = false;
        FShownJob = SIZE_MAX;
    }

    std::vector<std::unique_ptr<TJob>>& FJobs;
    bool FTerminal;
    std::mutex FLock;
    size_t FNext = 0;
    bool FShown = false;
    size_t FShownJob = SIZE_MAX;
    int FShownPercent = -1;
};

void Convert(TJob& job, const TConvertOptions& options, TReporter& reporter)
{
    job.Started = true;
    if (job.Error.empty()) {
        try {
            job.Made = MakeTaunt(job.Source, job.Target.string(), options.Recipe, [&](double done) {
                job.Done = done;
                reporter.Progress();
            });
        } catch (const std::exception& e) {
            job.Error = e.what();
        }
    }
    reporter.Finished(job);
}

// The table's pages, one for each converted sound, in the order of the files.
bool WriteTable(const TConvertOptions& options, const std::vector<std::unique_ptr<TJob>>& jobs)
{
    std::vector<std::unique_ptr<TSound>> pages;
    std::vector<const TGamBase*> order;
    for (const auto& job : jobs) {
        if (!job->Error.empty())
            continue;
        auto page = std::make_unique<TSound>(nullptr, -1, fs::path(job->Source).stem().string());
        page->FileName = job->Target.filename().string();
        page->Params = options.GamParams;
        page->Params.LoopStart = 0;
        // The last byte's place, as the workbench sets the loop end from the clip it plays.
        page->Params.LoopEnd = int32_t(std::min<uint64_t>(job->Made.Length, uint64_t(INT32_MAX) + 1) - 1);
        order.push_back(page.get());
        pages.push_back(std::move(page));
    }
    if (pages.empty()) {
        std::fprintf(stderr, "jeerbox-convert: no sound converted: %s is left as it was\n", options.GamFile.c_str());
        return false;
    }
    try {
        WriteGamFile(options.GamFile, order);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", options.GamFile.c_str(), e.what());
        return false;
    }
    return true;
}

// The table may replace neither a sound of the run nor one it makes, and goes into a folder
// that exists. Raises EUsage.
void CheckTable(const TConvertOptions& options, const TFileSet& sources, const TFileSet& targets)
{
    const fs::path table(options.GamFile);
    std::error_code error;
    if (!options.Force && fs::exists(table, error))
        throw EUsage(options.GamFile + " exists; give --force to replace it");
    if (sources.Contains(table))
        throw EUsage("the table " + options.GamFile + " is one of the sound files to convert");
    if (targets.Contains(table))
        throw EUsage("the table " + options.GamFile + " would replace a sound this run writes");
    if (table.has_parent_path() && !fs::is_directory(table.parent_path(), error))
        throw EUsage("no folder " + table.parent_path().string() + " for the table " + options.GamFile);
}

}

int RunBatch(const TConvertOptions& options)
{
    std::vector<std::unique_ptr<TJob>> jobs;
    TFileSet sources;
    for (const std::string& file : options.Files) {
        jobs.push_back(std::make_unique<TJob>());
        jobs.back()->Source = file;
        sources.Insert(file);
    }
    TFileSet targets;
    AssignTargets(jobs, options, sources, targets);
    if (!options.GamFile.empty())
        CheckTable(options, sources, targets);

    std::error_code error;
    fs::create_directories(options.OutDir, error);
    if (!error && !fs::is_directory(options.OutDir, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    if (error)
        throw EUsage("cannot make the folder " + options.OutDir + ": " + error.message());
    RemoveTemporariesOnSignals();

    TReporter reporter(jobs, ::isatty(STDERR_FILENO) == 1);
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next++) < jobs.size();)
            Convert(*jobs[i], options, reporter);
    };
    std::vector<std::thread> workers;
    for (unsigned k = 1; k < std::min<size_t>(options.Jobs, jobs.size()); ++k)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    reporter.End();

    bool ok = true;
    for (const auto& job : jobs)
        ok = ok && job->Error.empty();
    if (!options.GamFile.empty())
        ok = WriteTable(options, jobs) && ok;
    return ok ? 0 : 1;
}
