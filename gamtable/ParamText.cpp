#include "gamtable/ParamText.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {
QLocale UserLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

constexpr int SignificantDigits = 7;
constexpr int Decimals = 3;
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
    const int exponent = v == 0.0 ? 0 : QString::number(v, 'e', SignificantDigits - 1).section(QLatin1Char('e'), 1).toInt();
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
    const int value = UserLocale().toInt(text, &ok);
    if (!ok)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<float> TextToFloat32(const QString& text)
{
    bool ok = false;
    const double value = UserLocale().toDouble(text, &ok);
    // Doubles up to half a float step above the largest float still round to it; from
    // there on the nearest float is infinity.
    static const double beyondFloat = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    if (!ok || !std::isfinite(value) || std::fabs(value) >= beyondFloat)
        return std::nullopt;
    return static_cast<float>(value);
}
