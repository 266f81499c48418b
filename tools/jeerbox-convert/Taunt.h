#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What is done to a sound on its way to a taunt, besides converting it.
struct TTauntRecipe {
    bool Normalize = false;
    std::optional<double> Loudness;  // LUFS
    std::optional<double> TrimDb;  // dBFS
    bool Dither = false;
    // Whether a long sound's two halves may be converted on two threads at once.
    bool Parallel = true;
};

struct TTauntMade {
    uint64_t Length = 0;
    // What is worth telling about the result (the loudness it reached, a level left alone).
    std::vector<std::string> Notes;
};

// Converts the sound file `source` to the taunt format, does what the recipe asks and writes
// the result as the WAV file `target`, which is replaced only once the whole file is written.
// Told of its progress as a fraction of the whole work. Raises what loading, converting and
// writing raise.
TTauntMade MakeTaunt(const std::string& source, const std::string& target, const TTauntRecipe& recipe,
                     const std::function<void(double)>& progress);
