#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// The sound page's numbers as the user reads and types them, in the user's locale and
// without digit grouping.

// Fixed notation with 3 decimals and at most 7 significant digits: 1.0 shows as "1.000",
// 12345.678 as "12345.680". Values of 8 digits and more before the separator show in
// exponent notation, which reads back the same way.
QString FloatToText(float value);

// An integer in decimal, as TextToInt32 reads it back.
QString IntToText(int32_t value);

// A 32-bit decimal integer; nothing else may surround it but blanks.
std::optional<int32_t> TextToInt32(const QString& text);

// A decimal number that a 32-bit float can hold: "nan", "inf" and numbers beyond the
// float range are no numbers here. Returns the nearest float.
std::optional<float> TextToFloat32(const QString& text);
