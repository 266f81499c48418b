#include "gam/ParamNumbers.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {
std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// An optional sign and digits, with a decimal point and an exponent where allowed.
bool IsDecimal(std::string_view text, bool fraction)
{
    size_t i = 0;
    const auto digits = [&] {
        const size_t from = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        return i - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t mantissa = digits();
    if (fraction && i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (fraction && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == text.size();
}
}

std::optional<float> NearestFloat32(double value)
{
    // Doubles up to half a float step above the largest float still round to it; from
    // there on the nearest float is infinity.
    static const double beyondFloat = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    if (!std::isfinite(value) || std::fabs(value) >= beyondFloat)
        return std::nullopt;
    return static_cast<float>(value);
}

std::optional<int32_t> DecimalToInt32(std::string_view text)
{
    text = Trimmed(text);
    if (!IsDecimal(text, false))
        return std::nullopt;
    if (text.front() == '+')
        text.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<float> DecimalToFloat32(std::string_view text)
{
    text = Trimmed(text);
    if (!IsDecimal(text, true))
        return std::nullopt;
    // The program never sets a locale, so strtod reads the C locale's decimal point.
    const std::string number(text);
    return NearestFloat32(std::strtod(number.c_str(), nullptr));
}
