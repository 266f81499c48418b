#include "gamtable/ShortString.h"

#include <QList>
#include <algorithm>

TShortString::TShortString(const QString& text)
{
    const QList<uint> characters = text.toUcs4();
    const qsizetype count = std::min<qsizetype>(characters.size(), MaxLength);
    FBytes.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const uint c = characters[i];
        FBytes.append(c == 0 || c > 0xFF ? '?' : static_cast<char>(c));
    }
}
