#include "fuzz/FuzzBodies.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Target {
    const char* Name;
    void (*Body)(const uint8_t*, size_t);
};

const Target Targets[] = {{"WavLoad", FuzzWavLoad},
                          {"WavConvert", FuzzWavConvert},
                          {"SoundConvert", FuzzSoundConvert},
                          {"AcmStream", FuzzAcmStream},
                          {"StoredProperties", FuzzStoredProperties},
                          {"ParamText", FuzzParamText},
                          {"WaveMapper", FuzzWaveMapper}};

class FuzzReproducersTest : public ::testing::TestWithParam<Target> {};

// Every input a fuzz target once failed on, fed again to the body it failed in: the sanitizer
// build sees any bad access again, and every build sees a broken invariant (an abort).
TEST_P(FuzzReproducersTest, EveryFindingRunsClean)
{
    const fs::path folder = fs::path(JEERBOX_SOURCE_DIR) / "tests" / "data" / "fuzz" / GetParam().Name;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    const QLocale locale;  // the parameter text's body chooses locales of its own
    int replayed = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        GetParam().Body(bytes.data(), bytes.size());
        ++replayed;
    }
    QLocale::setDefault(locale);
    EXPECT_GT(replayed, 0);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReproducersTest, ::testing::ValuesIn(Targets),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.Name); });

}
