#pragma once
// Number texts shown on screen and the parsing of typed numbers. All of it follows
// the default locale (QLocale()) for the decimal separator; no group separator is
// ever written or accepted.
#include <QString>
#include "protocol/kestro_error.h"

// Fixed patterns: "0" placeholders always written, "#" only when not a trailing zero.
enum class NumPattern {
    P0_000,    // "##0.000"
    P0_0hh,    // "##0.0##"
    P0_00,     // "##0.00"
    P0_0000,   // "##0.0000"
    P0_hhh,    // "##0.###"
    P0_000_7h, // "##0.000#######"
    General,   // 15 significant digits, plain or exponent form
    Word,      // status word: unsigned decimal
};

// Any pattern, General and Word included; NaN and infinities give "NAN", "INF", "-INF".
QString FormatFloatPattern(double value, NumPattern pattern);
QString FormatGeneral(double value);
QString FormatWord(quint16 value);
// Gain-control level in percent: (w / 100 as float) / 2.55 as float.
float AruPercent(quint16 word);

// The conversion error of typed numbers; message "'<text>' is not a valid floating point value".
class EConvertError : public KestroError
{
public:
    explicit EConvertError(const QString &text);
};

// Typed numbers everywhere: accepts the locale's separator and ".".
float ParseTypedFloat(const QString &text);
// Plain locale conversion (only the locale's separator).
float ParseLocaleFloat(const QString &text);
// The same without rounding to a float: for arithmetic on typed texts.
double ParseLocaleDouble(const QString &text);
