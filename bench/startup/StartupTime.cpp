// How long a program takes from its start until the X server maps its top-level window, seen
// from outside: this program listens to the root window's substructure events, starts the
// program, takes the time of the first MapNotify of a managed window (not a menu or tooltip)
// and ends the program. Each command runs RUNS times (after one warm-up run), the commands
// taking turns, so that both see the same machine; it prints each command's median and range
// and the ratio of the first median to the second.
//   StartupTime RUNS COMMAND1 [ARGS...] -- COMMAND2 [ARGS...]
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

double Seconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void DropPendingEvents(xcb_connection_t* connection)
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
        std::free(event);
}

// Milliseconds from spawning the command to the mapping of its window; negative when the
// command ended or showed nothing within ten seconds.
double TimeToMapped(xcb_connection_t* connection, const std::vector<char*>& command)
{
    DropPendingEvents(connection);
    const double start = Seconds();
    pid_t pid = 0;
    if (posix_spawnp(&pid, command[0], nullptr, nullptr, command.data(), environ) != 0) {
        std::fprintf(stderr, "StartupTime: cannot start %s\n", command[0]);
        std::exit(1);
    }
    double mapped = -1;
    pollfd server{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (mapped < 0 && Seconds() - start < 10) {
        poll(&server, 1, 100);
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && mapped < 0 &&
                !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect)
                mapped = Seconds();
            std::free(event);
        }
        if (xcb_connection_has_error(connection)) {
            std::fprintf(stderr, "StartupTime: lost the X server\n");
            std::exit(1);
        }
        if (mapped < 0 && waitpid(pid, nullptr, WNOHANG) == pid)
            return -1;
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return mapped < 0 ? -1 : (mapped - start) * 1000;
}

struct Figures {
    std::string Name;
    std::vector<char*> Command;
    std::vector<double> Times;

    double Median()
    {
        std::sort(Times.begin(), Times.end());
        const size_t n = Times.size();
        return n % 2 ? Times[n / 2] : (Times[n / 2 - 1] + Times[n / 2]) / 2;
    }
};

}

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 0;
    char** separator = std::find_if(argv + 2, argv + argc, [](const char* a) { return std::strcmp(a, "--") == 0; });
    if (runs < 1 || argc < 5 || separator == argv + 2 || separator >= argv + argc - 1) {
        std::fprintf(stderr, "Usage: StartupTime RUNS COMMAND1 [ARGS...] -- COMMAND2 [ARGS...]\n");
        return 2;
    }
    Figures programs[2];
    programs[0].Command.assign(argv + 2, separator);
    programs[1].Command.assign(separator + 1, argv + argc);
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "StartupTime: cannot open the display (is DISPLAY set?)\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    for (Figures& program : programs) {
        program.Name = program.Command[0];
        program.Command.push_back(nullptr);
    }
    for (int run = -1; run < runs; ++run) {
        for (Figures& program : programs) {
            const double ms = TimeToMapped(connection, program.Command);
            if (ms < 0) {
                std::fprintf(stderr, "StartupTime: %s showed no window\n", program.Name.c_str());
                return 1;
            }
            if (run >= 0)  // the first round only warms the caches
                program.Times.push_back(ms);
        }
    }
    for (Figures& program : programs) {
        const double median = program.Median();
        std::printf("%-40s %7.1f ms median (%.1f to %.1f) over %d starts\n", program.Name.c_str(), median,
                    program.Times.front(), program.Times.back(), runs);
    }
    std::printf("ratio %.2f\n", programs[0].Median() / programs[1].Median());
    xcb_disconnect(connection);
    return 0;
}
