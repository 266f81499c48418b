#pragma once

#include <string>

// The text of a name in a game table: a length byte and at most 34 characters, one byte
// each. The bytes are Latin-1: every character of a name is one byte in the table, so the
// cut at 34 characters is also the cut at 34 bytes, and the game's 8-bit reader sees the
// letters the user typed for everything in U+0000..U+00FF. A character that Latin-1 cannot
// hold, and NUL (which would end the name early in the page), are stored as '?'.
class TShortString {
public:
    static constexpr int MaxLength = 34;

    TShortString() = default;
    // Takes the first 34 characters of UTF-8 text (a character outside the basic plane counts
    // once; a byte that is no part of a character counts as one character, stored as '?').
    TShortString(const std::string& text);  // implicit: names are set from text
    TShortString(const char* text) : TShortString(std::string(text)) {}
    // The name as a table stores it: 8-bit characters, cut to 34 (NUL stored as '?').
    static TShortString FromBytes(const std::string& bytes);

    // The characters as UTF-8 text.
    std::string ToString() const;
    // The stored 8-bit characters, without the length byte.
    const std::string& Bytes() const { return FBytes; }
    int Length() const { return static_cast<int>(FBytes.size()); }
    bool IsEmpty() const { return FBytes.empty(); }

    friend bool operator==(const TShortString&, const TShortString&) = default;

private:
    std::string FBytes;
};
