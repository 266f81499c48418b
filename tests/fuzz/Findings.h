#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

// Every input a fuzz target once failed on (tests/data/fuzz/TARGET/), fed again to the body it
// failed in: the sanitizer build sees any bad access again, and every build sees a broken
// invariant (an abort). Returns how many were replayed.
inline int ReplayFindings(const char* target, void (*body)(const uint8_t*, size_t))
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(JEERBOX_SOURCE_DIR) / "tests" / "data" / "fuzz" / target;
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
    int replayed = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        body(bytes.data(), bytes.size());
        ++replayed;
    }
    return replayed;
}
