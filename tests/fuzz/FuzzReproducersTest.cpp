#include "fuzz/Findings.h"
#include "fuzz/FuzzBodies.h"

#include <gtest/gtest.h>

#include <string>

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
                          {"GamRead", FuzzGamRead}};

class FuzzReproducersTest : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReproducersTest, EveryFindingRunsClean)
{
    EXPECT_GT(ReplayFindings(GetParam().Name, GetParam().Body), 0);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReproducersTest, ::testing::ValuesIn(Targets),
                         [](const ::testing::TestParamInfo<Target>& info) { return std::string(info.param.Name); });

}
