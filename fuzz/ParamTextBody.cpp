#include "fuzz/FuzzBodies.h"

#include "gam/ParamNumbers.h"
#include "gamtable/ParamText.h"

#include <QLocale>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <string>

void FuzzParamText(const uint8_t* data, size_t size)
{
    if (size < 1)
        return;
    static const char* const locales[] = {"C", "en_US", "de_DE", "sv_SE", "fa_IR", "ar_EG", "hi_IN", "fr_CH"};
    QLocale::setDefault(QLocale(QString::fromLatin1(locales[data[0] % std::size(locales)])));
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    if (const std::optional<int32_t> value = TextToInt32(text)) {
        if (TextToInt32(IntToText(*value)) != value)
            std::abort();
    }
    // The command line's numbers: the C locale's text, read back exactly as it was written.
    const std::string_view plain(reinterpret_cast<const char*>(data + 1), size - 1);
    if (const std::optional<int32_t> value = DecimalToInt32(plain)) {
        if (DecimalToInt32(std::to_string(*value)) != value)
            std::abort();
    }
    if (const std::optional<float> value = DecimalToFloat32(plain)) {
        if (!std::isfinite(*value))
            std::abort();
    }
    if (const std::optional<float> value = TextToFloat32(text)) {
        if (!std::isfinite(*value))
            std::abort();
        // What is shown has seven significant digits at most: it reads back close, not exact.
        const std::optional<float> back = TextToFloat32(FloatToText(*value));
        if (!back || std::fabs(*back - *value) > std::fabs(*value) * 1e-6f + 0.0005f)
            std::abort();
    }
}
