#include "support/Programs.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

extern char** environ;

std::vector<std::string> ProgramRun::ErrorLines() const
{
    std::vector<std::string> lines;
    std::istringstream in(Err);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const std::string& workingDir,
                      std::chrono::milliseconds limit)
{
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe for " + program);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (!workingDir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);

    ProgramRun run;
    // Both pipes are read as they fill, so that a program writing much to one never waits.
    pollfd pipes[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* into[2] = {&run.Out, &run.Err};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (int open = 2; open > 0;) {
        int wait = -1;
        if (limit.count() > 0)
            wait = int(std::max<int64_t>(
                0,
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count()));
        const int ready = ::poll(pipes, 2, wait);
        if (ready == 0 && spawned == 0) {
            ::kill(pid, SIGKILL);
            run.TimedOut = true;
            break;
        }
        if (ready < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (pipes[i].fd < 0 || !pipes[i].revents)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(pipes[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                into[i]->append(buffer, size_t(n));
            } else {
                ::close(pipes[i].fd);
                pipes[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& pipe : pipes)
        if (pipe.fd >= 0)
            ::close(pipe.fd);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + program);
    // A program may close its output and run on.
    siginfo_t ended{};
    while (limit.count() > 0 && !run.TimedOut && ::waitid(P_PID, id_t(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           ended.si_pid == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            run.TimedOut = true;
        } else {
            ::usleep(10000);
        }
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.Status = WEXITSTATUS(status);
    return run;
}
