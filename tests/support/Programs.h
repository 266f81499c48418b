#pragma once

#include <chrono>
#include <string>
#include <vector>

// What a program run left behind: its exit code (-1 when it did not exit by itself) and
// what it wrote to its standard output and error.
struct ProgramRun {
    int Status = -1;
    std::string Out;
    std::string Err;
    // Whether it was stopped for running past the time it was given.
    bool TimedOut = false;
    // The error output's lines, empty ones left out.
    std::vector<std::string> ErrorLines() const;
};

// Runs a program with these arguments to its end, its input empty, and collects its output;
// in workingDir when one is given. Given a time limit, a program still running when it has
// passed is killed.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workingDir = {}, std::chrono::milliseconds limit = {});
