#include "protocol/number_text.h"

#include "support/locale_guard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

struct TextCase
{
    double value;
    NumPattern pattern;
    const char *comma; // expected under a comma locale; the point locale swaps ',' for '.'
};

void PrintTo(const TextCase &c, std::ostream *os)
{
    *os << c.value << " -> " << c.comma;
}

using P = NumPattern;

const TextCase textCases[] = {
    {double(998.2f), P::P0_000, "998,200"},
    {0.0, P::P0_000, "0,000"},
    {-0.0001, P::P0_000, "-0,000"},
    {-0.0006, P::P0_000, "-0,001"},
    {99.9996, P::P0_000, "100,000"},
    {12345.678, P::P0_000, "12345,678"},
    {1.23456, P::P0_0hh, "1,235"},
    {1.2, P::P0_0hh, "1,2"},
    {1.0, P::P0_0hh, "1,0"},
    {-12345.678, P::P0_0hh, "-12345,678"},
    {2.999, P::P0_00, "3,00"},
    {-2.999, P::P0_00, "-3,00"},
    {1234567.0, P::P0_00, "1234567,00"},
    {-0.004, P::P0_00, "-0,00"},
    {50.12346, P::P0_0000, "50,1235"},
    {12.0, P::P0_hhh, "12"},
    {12.5, P::P0_hhh, "12,5"},
    {double(3e38f), P::P0_hhh, "300000000549775575777803994281145270272"},
    {0.0004, P::P0_hhh, "0"},
    {-0.0004, P::P0_hhh, "-0"},
    {-0.0004, P::P0_000, "-0,000"},
    {1000.5, P::P0_000_7h, "1000,500"},
    {double(0.1f), P::P0_000_7h, "0,1000000015"},
    {-7.25, P::P0_hhh, "-7,25"},
    {std::ldexp(1.0, -15), P::General, "3,0517578125E-5"},
    {-std::ldexp(1.0, -15), P::General, "-3,0517578125E-5"},
    {double(0.1f), P::General, "0,100000001490116"},
    {double(998.2f), P::General, "998,200012207031"},
    {2.5, P::General, "2,5"},
    {1.0, P::General, "1"},
    {0.0, P::General, "0"},
    {-0.0, P::General, "0"},
    {0.0001, P::General, "0,0001"},
    {0.00009, P::General, "9E-5"},
    {double(1e-5f), P::General, "9,99999974737875E-6"},
    {99999999999999.98, P::General, "100000000000000"},
    {999999999999999.4, P::General, "999999999999999"},
    {1e15, P::General, "1E15"},
    {123456789012345678.0, P::General, "1,23456789012346E17"},
    {double(3e38f), P::General, "3,00000000549776E38"},
    {258.0, P::Word, "258"},
    {-1.0, P::Word, "0"},
    {70000.0, P::Word, "65535"},
    {1e300, P::Word, "65535"},
};

class NumberTextTest : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(NumberTextTest, FollowsTheLocaleSeparator)
{
    const TextCase &c = GetParam();
    const QString comma = QString::fromLatin1(c.comma);
    {
        LocaleGuard guard(LocaleGuard::comma());
        EXPECT_EQ(FormatFloatPattern(c.value, c.pattern), comma);
    }
    {
        LocaleGuard guard(LocaleGuard::point());
        EXPECT_EQ(FormatFloatPattern(c.value, c.pattern), QString(comma).replace(',', '.'));
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, NumberTextTest, ::testing::ValuesIn(textCases));

TEST(NumberText, NonFiniteValuesGetAText)
{
    LocaleGuard guard(LocaleGuard::comma());
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (NumPattern p : {P::P0_000, P::P0_0hh, P::P0_00, P::P0_0000, P::P0_hhh, P::General, P::Word}) {
        EXPECT_EQ(FormatFloatPattern(nan, p), QStringLiteral("NAN"));
        EXPECT_EQ(FormatFloatPattern(-nan, p), QStringLiteral("NAN"));
        EXPECT_EQ(FormatFloatPattern(inf, p), QStringLiteral("INF"));
        EXPECT_EQ(FormatFloatPattern(-inf, p), QStringLiteral("-INF"));
    }
}

TEST(NumberText, StatusWordHasNoGroupSeparator)
{
    LocaleGuard guard(LocaleGuard::point());
    EXPECT_EQ(FormatWord(0), QStringLiteral("0"));
    EXPECT_EQ(FormatWord(258), QStringLiteral("258"));
    EXPECT_EQ(FormatWord(65535), QStringLiteral("65535"));
}

TEST(NumberText, AruPercentScalesTheWord)
{
    const std::pair<quint16, const char *> cases[] = {{25500, "100,00"}, {12750, "50,00"}, {0, "0,00"},
                                                      {65535, "257,00"}, {128, "0,50"}};
    LocaleGuard guard(LocaleGuard::comma());
    for (const auto &[word, text] : cases)
        EXPECT_EQ(FormatFloatPattern(AruPercent(word), P::P0_00), QString::fromLatin1(text)) << word;
}

} // namespace
