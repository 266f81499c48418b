#include "gam/ShortString.h"

#include <algorithm>

namespace {
// The next character of UTF-8 text at i, which moves past it; 0xFFFD for a byte that starts
// no well-formed character.
char32_t NextCharacter(const std::string& text, size_t& i)
{
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + size_t(length) > text.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((byte(i + size_t(k)) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = c << 6 | (byte(i + size_t(k)) & 0x3F);
    }
    i += size_t(length);
    return c;
}
}

TShortString::TShortString(const std::string& text)
{
    for (size_t i = 0; i < text.size() && FBytes.size() < MaxLength;) {
        const char32_t c = NextCharacter(text, i);
        FBytes += c == 0 || c > 0xFF ? '?' : static_cast<char>(c);
    }
}

TShortString TShortString::FromBytes(const std::string& bytes)
{
    TShortString name;
    name.FBytes = bytes.substr(0, MaxLength);
    std::replace(name.FBytes.begin(), name.FBytes.end(), '\0', '?');
    return name;
}

std::string TShortString::ToString() const
{
    std::string text;
    for (const char b : FBytes) {
        const auto c = static_cast<unsigned char>(b);
        if (c < 0x80) {
            text += char(c);
        } else {
            text += char(0xC0 | c >> 6);
            text += char(0x80 | (c & 0x3F));
        }
    }
    return text;
}
