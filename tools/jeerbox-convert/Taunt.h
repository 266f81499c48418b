#pragma once

#include "finish/Finish.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What is done to a sound on its way to a taunt, besides converting it.
struct TTauntRecipe : TFinishRecipe {
    // Whether a long sound's two halves may be converted on two threads at once.
    bool Parallel = true;
};

using TTauntMade = TFinished;

// Converts the sound file `source` to the taunt format, does what the recipe asks and writes
// the result as the WAV file `target`, which is replaced only once the whole file is written.
// Told of its progress as a fraction of the whole work. Raises what loading, converting and
// writing raise.
TTauntMade MakeTaunt(const std::string& source, const std::string& target, const TTauntRecipe& recipe,
                     const std::function<void(double)>& progress);
