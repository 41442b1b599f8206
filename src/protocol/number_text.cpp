#include "protocol/number_text.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

struct Decimals
{
    int min;
    int max;
};

Decimals decimalsOf(NumPattern pattern)
{
    switch (pattern) {
    case NumPattern::P0_000: return {3, 3};
    case NumPattern::P0_0hh: return {1, 3};
    case NumPattern::P0_00: return {2, 2};
    case NumPattern::P0_0000: return {4, 4};
    case NumPattern::P0_hhh: return {0, 3};
    case NumPattern::P0_000_7h: return {3, 10};
    case NumPattern::General:
    case NumPattern::Word: break;
    }
    return {0, 0};
}

// Non-finite values still get a text: a meter with a broken sensor may send them.
bool nonFiniteText(double value, QString &text)
{
    if (std::isnan(value))
        text = QStringLiteral("NAN");
    else if (std::isinf(value))
        text = value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    else
        return false;
    return true;
}

QString fixedText(double value, Decimals decimals)
{
    // QString::number always writes '.', whatever the locale.
    QString digits = QString::number(std::fabs(value), 'f', decimals.max);
    const qsizetype point = digits.indexOf(QLatin1Char('.'));
    if (point >= 0) {
        qsizetype end = digits.size();
        while (end - point - 1 > decimals.min && digits.at(end - 1) == QLatin1Char('0'))
            --end;
        if (end == point + 1)
            --end;
        digits.truncate(end);
    }
    if (point >= 0)
        digits.replace(QLatin1Char('.'), QLocale().decimalPoint());
    // A negative value keeps its sign even where it rounds to zero (-0,000).
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

} // namespace

QString FormatFloatPattern(double value, NumPattern pattern)
{
    if (pattern == NumPattern::General)
        return FormatGeneral(value);
    QString text;
    if (nonFiniteText(value, text))
        return text;
    // A status word is 0..65535: anything outside is held at the nearer end (a cast
    // of an out-of-range double would be undefined).
    if (pattern == NumPattern::Word)
        return FormatWord(quint16(std::clamp(value, 0.0, 65535.0)));
    return fixedText(value, decimalsOf(pattern));
}

QString FormatGeneral(double value)
{
    QString text;
    if (nonFiniteText(value, text))
        return text;
    if (value == 0)
        return QStringLiteral("0");

    // 15 significant digits as d.dddddddddddddde±xx; QString::number ignores the C locale,
    // which printf would not.
    const QString scientific = QString::number(std::fabs(value), 'e', 14);
    const qsizetype e = scientific.indexOf(QLatin1Char('e'));
    QString digits = scientific.left(e);
    digits.remove(QLatin1Char('.'));
    const int exponent = scientific.mid(e + 1).toInt();
    while (digits.size() > 1 && digits.endsWith(QLatin1Char('0')))
        digits.chop(1);

    const QString sep = QLocale().decimalPoint();
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            text = QLatin1Char('0') + sep + QString(-exponent - 1, QLatin1Char('0')) + digits;
        } else if (digits.size() <= exponent + 1) {
            text = digits + QString(exponent + 1 - digits.size(), QLatin1Char('0'));
        } else {
            text = digits.left(exponent + 1) + sep + digits.mid(exponent + 1);
        }
    } else {
        text = digits.left(1);
        if (digits.size() > 1)
            text += sep + digits.mid(1);
        text += QLatin1Char('E');
        if (exponent < 0)
            text += QLatin1Char('-');
        text += QString::number(std::abs(exponent));
    }
    return value < 0 ? QLatin1Char('-') + text : text;
}

QString FormatWord(quint16 value)
{
    return QString::number(value);
}

float AruPercent(quint16 word)
{
    const float x = float(word / 100.0);
    return float(double(x) / 2.55);
}

EConvertError::EConvertError(const QString &text)
    : KestroError(QStringLiteral("'%1' is not a valid floating point value").arg(text))
{
}

namespace {

double parseWithLocale(const QString &original, const QString &prepared, double limit)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(prepared, &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) >= limit)
        throw EConvertError(original);
    return value;
}

// Values from the float maximum up to half a step above it still round to it.
const double FloatLimit = std::ldexp(2.0 - std::ldexp(1.0, -24), 127);
const double DoubleLimit = std::numeric_limits<double>::infinity();

} // namespace

float ParseTypedFloat(const QString &text)
{
    QString prepared = text.trimmed();
    // Both the point key and the locale's separator key must work.
    prepared.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return float(parseWithLocale(text, prepared, FloatLimit));
}

float ParseLocaleFloat(const QString &text)
{
    return float(parseWithLocale(text, text.trimmed(), FloatLimit));
}

double ParseLocaleDouble(const QString &text)
{
    return parseWithLocale(text, text.trimmed(), DoubleLimit);
}
