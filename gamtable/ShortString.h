#pragma once

#include <QByteArray>
#include <QString>

// The text of a name in a game table: a length byte and at most 34 characters, one byte
// each. The bytes are Latin-1: every character of a name is one byte in the table, so the
// cut at 34 characters is also the cut at 34 bytes, and the game's 8-bit reader sees the
// letters the user typed for everything in U+0000..U+00FF. A character that Latin-1 cannot
// hold, and NUL (which would end the name early in the page), are stored as '?'.
class TShortString {
public:
    static constexpr int MaxLength = 34;

    TShortString() = default;
    // Takes the first 34 characters of text (a character outside the basic plane counts once).
    TShortString(const QString& text);  // implicit: names are set from text
    TShortString(const char* text) : TShortString(QString::fromUtf8(text)) {}

    QString ToString() const { return QString::fromLatin1(FBytes); }
    // The stored 8-bit characters, without the length byte.
    const QByteArray& Bytes() const { return FBytes; }
    int Length() const { return static_cast<int>(FBytes.size()); }
    bool IsEmpty() const { return FBytes.isEmpty(); }

    friend bool operator==(const TShortString&, const TShortString&) = default;

private:
    QByteArray FBytes;
};
