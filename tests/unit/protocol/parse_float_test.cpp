#include "protocol/number_text.h"

#include "support/locale_guard.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace {

enum class Loc { Comma, Point };
enum class Fn { Typed, Locale };

struct ParseCase
{
    Loc locale;
    Fn fn;
    const char *text; // UTF-8
    std::optional<float> expected; // nullopt: rejected
};

void PrintTo(const ParseCase &c, std::ostream *os)
{
    *os << (c.locale == Loc::Comma ? "comma " : "point ") << (c.fn == Fn::Typed ? "typed '" : "locale '")
        << c.text << "'";
}

const float FloatMax = std::numeric_limits<float>::max();
const std::nullopt_t Rejected = std::nullopt;

const ParseCase parseCases[] = {
    // Typed numbers, comma locale: both keys work.
    {Loc::Comma, Fn::Typed, "1,5", 1.5f},
    {Loc::Comma, Fn::Typed, "1.5", 1.5f},
    {Loc::Comma, Fn::Typed, "998.2", 998.2f},
    {Loc::Comma, Fn::Typed, "  -2,25\t", -2.25f},
    {Loc::Comma, Fn::Typed, "1e3", 1000.0f},
    {Loc::Comma, Fn::Typed, "1,5E-2", 0.015f},
    {Loc::Comma, Fn::Typed, "3.4028235e38", FloatMax},
    {Loc::Comma, Fn::Typed, "", Rejected},
    {Loc::Comma, Fn::Typed, "   ", Rejected},
    {Loc::Comma, Fn::Typed, "abc", Rejected},
    {Loc::Comma, Fn::Typed, "1,5,5", Rejected},
    {Loc::Comma, Fn::Typed, "1.5,5", Rejected},
    {Loc::Comma, Fn::Typed, "1 000", Rejected},
    {Loc::Comma, Fn::Typed, "1\u00a0000", Rejected},
    {Loc::Comma, Fn::Typed, "1e39", Rejected},
    {Loc::Comma, Fn::Typed, "3.4028236e38", Rejected},
    {Loc::Comma, Fn::Typed, "340282356779733661637539395458142568448", Rejected}, // rounds up to infinity
    {Loc::Comma, Fn::Typed, "inf", Rejected},
    // Typed numbers, point locale: the point key must keep working.
    {Loc::Point, Fn::Typed, "1.5", 1.5f},
    {Loc::Point, Fn::Typed, "-1e-3", -0.001f},
    {Loc::Point, Fn::Typed, "12345.678", 12345.678f},
    {Loc::Point, Fn::Typed, "1,5", Rejected},
    {Loc::Point, Fn::Typed, "1,000", Rejected},
    {Loc::Point, Fn::Typed, "1,000.5", Rejected},
    {Loc::Point, Fn::Typed, "1.5.5", Rejected},
    {Loc::Point, Fn::Typed, "-inf", Rejected},
    {Loc::Point, Fn::Typed, "-1e39", Rejected},
    // Plain locale conversion: only the locale's separator.
    {Loc::Comma, Fn::Locale, "1,5", 1.5f},
    {Loc::Comma, Fn::Locale, "1.5", Rejected},
    {Loc::Comma, Fn::Locale, "1\u00a0000", Rejected},
    {Loc::Point, Fn::Locale, "1.5", 1.5f},
    {Loc::Point, Fn::Locale, "1,5", Rejected},
    {Loc::Point, Fn::Locale, "1,000", Rejected},
};

class ParseFloatTest : public ::testing::TestWithParam<ParseCase>
{
};

TEST_P(ParseFloatTest, AcceptsOrRejects)
{
    const ParseCase &c = GetParam();
    LocaleGuard guard(c.locale == Loc::Comma ? LocaleGuard::comma() : LocaleGuard::point());
    const QString text = QString::fromUtf8(c.text);
    const auto parse = c.fn == Fn::Typed ? ParseTypedFloat : ParseLocaleFloat;
    if (c.expected) {
        EXPECT_EQ(parse(text), *c.expected);
    } else {
        try {
            const float value = parse(text);
            ADD_FAILURE() << "accepted as " << value;
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("'%1' is not a valid floating point value").arg(text));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, ParseFloatTest, ::testing::ValuesIn(parseCases));

TEST(ParseFloat, MessageQuotesTheTextAsTyped)
{
    LocaleGuard guard(LocaleGuard::comma());
    try {
        ParseTypedFloat(QStringLiteral(" 1.5.5 "));
        FAIL() << "accepted";
    } catch (const EConvertError &e) {
        EXPECT_STREQ(e.what(), "' 1.5.5 ' is not a valid floating point value");
    }
}

} // namespace
