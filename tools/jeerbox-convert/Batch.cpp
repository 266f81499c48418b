#include "Batch.h"

#include "Taunt.h"

#include "framework/ReplacingFile.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
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

// Gives each file its target, refusing a target that would replace the source or a file
// this run already gave to an earlier source: two sources of the same name would otherwise
// leave only the last one's sound.
void AssignTargets(std::vector<std::unique_ptr<TJob>>& jobs, const fs::path& outDir)
{
    std::set<fs::path> taken;
    for (auto& job : jobs) {
        job->Target = outDir / fs::path(job->Source).filename().replace_extension(".wav");
        std::error_code error;
        if (fs::equivalent(job->Target, job->Source, error))
            job->Error = "the converted file would replace the source; choose another output folder";
        else if (!taken.insert(SameFileName(job->Target)).second)
            job->Error = "the converted file would replace " + job->Target.string() +
                ", which this run already wrote from another source; convert it in a run of its own";
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

}

int RunBatch(const TConvertOptions& options)
{
    std::error_code error;
    fs::create_directories(options.OutDir, error);
    if (!fs::is_directory(options.OutDir)) {
        std::fprintf(stderr, "jeerbox-convert: cannot create the folder %s\n", options.OutDir.c_str());
        return 1;
    }

    std::vector<std::unique_ptr<TJob>> jobs;
    for (const std::string& file : options.Files) {
        jobs.push_back(std::make_unique<TJob>());
        jobs.back()->Source = file;
    }
    AssignTargets(jobs, options.OutDir);

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
