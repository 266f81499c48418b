#include "gam/ParamNumbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

TEST(ParamNumbersTest, CommandLineNumbersAreReadAsTheDialogReadsItsFields)
{
    const struct {
        const char* Text;
        std::optional<int32_t> Integer;
        std::optional<float> Real;
    } cases[] = {
        {"360", 360, 360.0f},
        {" -12 ", -12, -12.0f},
        {"+7", 7, 7.0f},
        {"2147483647", 2147483647, 2147483648.0f},
        {"2147483648", std::nullopt, 2147483648.0f},
        {"-2147483648", INT32_MIN, -2147483648.0f},
        {"2.5", std::nullopt, 2.5f},
        {".5", std::nullopt, 0.5f},
        {"1e3", std::nullopt, 1000.0f},
        {"-1.5E-2", std::nullopt, -0.015f},
        {"3.4028235e38", std::nullopt, 3.4028235e38f},
        {"1e39", std::nullopt, std::nullopt},
        {"nan", std::nullopt, std::nullopt},
        {"inf", std::nullopt, std::nullopt},
        {"0x10", std::nullopt, std::nullopt},
        {"1,5", std::nullopt, std::nullopt},
        {"12abc", std::nullopt, std::nullopt},
        {"+-3", std::nullopt, std::nullopt},
        {"1e", std::nullopt, std::nullopt},
        {".", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecimalToInt32(c.Text), c.Integer) << c.Text;
        EXPECT_EQ(DecimalToFloat32(c.Text), c.Real) << c.Text;
    }
}

}
