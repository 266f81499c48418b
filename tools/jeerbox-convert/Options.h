#pragma once

#include "Check.h"
#include "Taunt.h"

#include "gam/GamPages.h"

#include <stdexcept>
#include <string>
#include <vector>

// A command line that asks for nothing sensible; its message says what is wrong.
class EUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Everything the command line asks for.
struct TConvertOptions {
    bool Help = false;
    bool Version = false;
    std::string OutDir;
    std::vector<std::string> Files;
    TTauntRecipe Recipe;
    unsigned Jobs = 1;
    std::string GamFile;
    bool Force = false;
    TSoundParams GamParams = DialogSoundParams();
    // --check: judge the files rather than convert them.
    bool Check = false;
    TCheckOptions Checking;
};

// Reads the command line, checking every value before anything is done. Raises EUsage.
TConvertOptions ParseOptions(int argc, char** argv);

// What --help prints, with the defaults that the parser and the check hold.
std::string UsageText();
