#pragma once

#include <string>
#include <vector>

// What a program run left behind: its exit code (-1 when it did not exit by itself) and
// what it wrote to its standard output and error.
struct ProgramRun {
    int Status = -1;
    std::string Out;
    std::string Err;
    // The error output's lines, empty ones left out.
    std::vector<std::string> ErrorLines() const;
};

// Runs a program with these arguments to its end, its input empty, and collects its output;
// in workingDir when one is given.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workingDir = {});
