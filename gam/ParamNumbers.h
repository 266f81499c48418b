#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The numbers of a sound page as the table holds them, and what makes a number one of them.

// The nearest 32-bit float to a number that a float can hold; nothing for "nan", infinity
// and numbers beyond the float range, which are no numbers here.
std::optional<float> NearestFloat32(double value);

// Decimal text in the C locale's symbols ("-12", "2.5", "1e3"); nothing else may surround it
// but blanks. A 32-bit integer, or a number that NearestFloat32 takes.
std::optional<int32_t> DecimalToInt32(std::string_view text);
std::optional<float> DecimalToFloat32(std::string_view text);
