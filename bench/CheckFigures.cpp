// How long jeerbox-convert --check takes over a game's set of taunts: 1,000 one-second taunts
// (a tone with a fade at each end, a different pitch and level each) and a table of 1,000
// sound pages listing them, checked as a script would (each run a fresh process, its report
// sent to /dev/null). Prints the best and the median of several runs of the taunts alone,
// the table alone and both in one run.
//   CheckFigures [RUNS [JEERBOX-CONVERT]]
// The tool is looked for beside this program unless named.
#include "acm/Riff.h"
#include "gam/GamPages.h"
#include "sound/TauntFormat.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int Count = 1000;
constexpr size_t Samples = 22050;

void WriteTaunt(const fs::path& path, int n)
{
    std::vector<uint8_t> file(WaveHeaderSize(16) + Samples);
    PutWaveHeader(file.data(), &TauntFormat, 16, uint32_t(Samples));
    const double step = 2 * 3.14159265358979 * (200.0 + n) / 22050;
    const double peak = 30.0 + n % 60;
    for (size_t i = 0; i < Samples; ++i) {
        const double fade = std::min({1.0, double(i) / 220, double(Samples - i) / 220});
        file[WaveHeaderSize(16) + i] = uint8_t(128 + std::lround(peak * fade * std::sin(step * double(i))));
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
}

// Runs the command with its standard output thrown away; the seconds it took, or -1 when it failed.
double Timed(std::vector<std::string> command)
{
    std::vector<char*> argv;
    for (std::string& argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    int status = 0;
    const bool ran = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
        waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    return ran ? seconds : -1;
}

}

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string tool = argc > 2 ? argv[2] : (fs::absolute(argv[0]).parent_path() / "jeerbox-convert").string();
    char folderName[] = "/tmp/jeerbox-check-bench-XXXXXX";
    if (!mkdtemp(folderName)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path folder = folderName;

    std::vector<std::string> taunts;
    std::vector<std::unique_ptr<TSound>> pages;
    for (int n = 0; n < Count; ++n) {
        const std::string name = "taunt" + std::to_string(n);
        WriteTaunt(folder / (name + ".wav"), n);
        taunts.push_back((folder / (name + ".wav")).string());
        auto& page = pages.emplace_back(std::make_unique<TSound>(nullptr, -1, name));
        page->FileName = name + ".wav";
        page->Params = DialogSoundParams();
        page->Params.LoopEnd = int32_t(Samples - 1);
    }
    const std::string table = (folder / "taunts.gam").string();
    std::vector<const TGamBase*> listed;
    for (const auto& page : pages)
        listed.push_back(page.get());
    WriteGamFile(table, listed);

    std::printf("jeerbox-convert --check, %d runs each (best / median):\n", runs);
    const struct {
        const char* What;
        std::vector<std::string> Files;
    } cases[] = {{"1,000 one-second taunts", taunts},
                 {"a table of 1,000 pages", {table}},
                 {"both in one run", [&] {
                      std::vector<std::string> both = taunts;
                      both.push_back(table);
                      return both;
                  }()}};
    int status = 0;
    for (const auto& c : cases) {
        std::vector<std::string> command{tool, "--check"};
        command.insert(command.end(), c.Files.begin(), c.Files.end());
        std::vector<double> times;
        for (int run = 0; run < runs; ++run)
            times.push_back(Timed(command));
        std::sort(times.begin(), times.end());
        if (times.front() < 0) {
            std::fprintf(stderr, "CheckFigures: %s --check failed on %s\n", tool.c_str(), c.What);
            status = 1;
            continue;
        }
        std::printf("  %-24s %.3f s / %.3f s\n", c.What, times.front(), times[times.size() / 2]);
    }
    fs::remove_all(folder);
    return status;
}
