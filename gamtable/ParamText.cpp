#include "gamtable/ParamText.h"

#include "gam/ParamNumbers.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {
QLocale UserLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

constexpr int SignificantDigits = 7;
constexpr int Decimals = 3;

// A number the locale wrote, in the C locale's symbols, or empty when the text holds anything
// but the locale's digits and symbols (ASCII digits and signs also count). Qt writes minus
// signs and exponents of several characters (fa_IR, ar_EG, sv_SE) that its own reader then
// refuses; this is how such a text is read back.
QString InCSymbols(const QString& text, const QLocale& locale)
{
    const std::pair<QString, QChar> symbols[] = {
        {locale.exponential(), QLatin1Char('e')},  {locale.negativeSign(), QLatin1Char('-')},
        {locale.positiveSign(), QLatin1Char('+')}, {locale.decimalPoint(), QLatin1Char('.')},
        {QStringLiteral("-"), QLatin1Char('-')},   {QStringLiteral("+"), QLatin1Char('+')}};
    const QList<uint> zero = locale.zeroDigit().toUcs4();
    const QString trimmed = text.trimmed();
    const QStringView rest(trimmed);
    QString result;
    for (qsizetype i = 0; i < rest.size();) {
        qsizetype matched = 0;
        QChar symbol;
        for (const auto& [written, c] : symbols)
            if (!written.isEmpty() && written.size() > matched && rest.mid(i).startsWith(written)) {
                matched = written.size();
                symbol = c;
            }
        if (matched > 0) {
            result += symbol;
            i += matched;
            continue;
        }
        const bool pair = rest[i].isHighSurrogate() && i + 1 < rest.size() && rest[i + 1].isLowSurrogate();
        const uint code = pair ? QChar::surrogateToUcs4(rest[i], rest[i + 1]) : rest[i].unicode();
        if (code >= '0' && code <= '9')
            result += QChar(char16_t(code));
        else if (zero.size() == 1 && code >= zero[0] && code <= zero[0] + 9)
            result += QChar(char16_t('0' + (code - zero[0])));
        else
            return {};
        i += pair ? 2 : 1;
    }
    return result;
}

QLocale CLocale()
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return c;
}
}

QString FloatToText(float value)
{
    const QLocale locale = UserLocale();
    double v = value;
    if (!std::isfinite(v))
        return locale.toString(v);
    // What shows as zero shows without a sign.
    if (std::fabs(v) < 0.0005)
        v = 0.0;
    // The decimal exponent of the value once rounded to seven significant digits.
    const int exponent =
        v == 0.0 ? 0 : QString::number(v, 'e', SignificantDigits - 1).section(QLatin1Char('e'), 1).toInt();
    if (exponent >= SignificantDigits)
        return locale.toString(v, 'E', SignificantDigits - 1);
    // Round once, at whichever comes first: the third decimal or the seventh digit.
    const int decimals = std::clamp(SignificantDigits - 1 - exponent, 0, Decimals);
    QString text = locale.toString(v, 'f', decimals);
    if (decimals == 0)
        text += locale.decimalPoint();
    for (int i = decimals; i < Decimals; ++i)
        text += locale.zeroDigit();
    return text;
}

QString IntToText(int32_t value)
{
    return UserLocale().toString(value);
}

std::optional<int32_t> TextToInt32(const QString& text)
{
    bool ok = false;
    const QLocale locale = UserLocale();
    int value = locale.toInt(text, &ok);
    if (!ok)
        value = CLocale().toInt(InCSymbols(text, locale), &ok);
    if (!ok)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<float> TextToFloat32(const QString& text)
{
    bool ok = false;
    const QLocale locale = UserLocale();
    double value = locale.toDouble(text, &ok);
    if (!ok)
        value = CLocale().toDouble(InCSymbols(text, locale), &ok);
    if (!ok)
        return std::nullopt;
    return NearestFloat32(value);
}
