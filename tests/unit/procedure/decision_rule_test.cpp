// Verdicts at and around the limits of both rules, the sentence an undetermined
// point gets, and the reference's due date.
#include "procedure/decision_rule.h"
#include "procedure/reference_check.h"
#include "support/locale_guard.h"
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

struct JudgeCase
{
    DecisionRule rule;
    double error, expanded, tolerance;
    Conformity expected;
};

constexpr auto S = DecisionRule::Simple;
constexpr auto G = DecisionRule::Guarded;
constexpr auto P = Conformity::Pass;
constexpr auto F = Conformity::Fail;
constexpr auto U = Conformity::Undetermined;

const JudgeCase JudgeCases[] = {
    // simple: the error alone, its sign and U ignored
    {S, 0.2, 0.5, 0.2, P},
    {S, -0.2, 0.5, 0.2, P},
    {S, 0.2000001, 0, 0.2, F},
    {S, -0.2000001, 0, 0.2, F},
    {S, 0.1 + 0.2, 0, 0.3, P}, // 0.30000000000000004 is on the limit
    // guarded: pass on |e| + U = T exactly
    {G, 0.15, 0.05, 0.2, P},
    {G, -0.15, 0.05, 0.2, P},
    {G, 0.1, 0.2, 0.3, P},
    {G, 0.1500001, 0.05, 0.2, U},
    {G, -0.15, 0.08, 0.2, U},
    // |e| − U = T exactly is still undetermined; just past it fails
    {G, 0.25, 0.05, 0.2, U},
    {G, -0.25, 0.05, 0.2, U},
    {G, 0.2500001, 0.05, 0.2, F},
    {G, 0.0, 0.3, 0.2, U},
    // no U: guarded is simple
    {G, 0.2, 0, 0.2, P},
    {G, 0.21, 0, 0.2, F},
    {G, 0.21, -0.05, 0.2, F},
    // no measurement is no pass
    {S, std::numeric_limits<double>::quiet_NaN(), 0, 0.2, F},
    {G, std::numeric_limits<double>::infinity(), 0.05, 0.2, F},
};

TEST(Judge, BothRulesAroundTheirLimits)
{
    for (const auto &c : JudgeCases)
        EXPECT_EQ(Judge(c.rule, c.error, c.expanded, c.tolerance), c.expected)
            << DecisionRuleKey(c.rule).toStdString() << " e=" << c.error << " U=" << c.expanded << " T=" << c.tolerance;
}

TEST(Judge, UndeterminedPointSaysWhyInItsNumbers)
{
    LocaleGuard comma(LocaleGuard::comma());
    const QString why = UndeterminedExplanation(3, 50, -0.15, 0.08, 0.2);
    EXPECT_EQ(why, QStringLiteral("точка 3 (50 %): |−0,15| + 0,08 = 0,23 % > 0,2 % (на 0,03 %), "
                                  "но |−0,15| − 0,08 = 0,07 % ≤ 0,2 % — не определено"));
    // Only an undetermined point has one.
    EXPECT_TRUE(UndeterminedExplanation(1, 10, -0.15, 0.05, 0.2).isEmpty());
    EXPECT_TRUE(UndeterminedExplanation(1, 10, 0.3, 0.05, 0.2).isEmpty());
}

TEST(Judge, EachRuleHasItsOwnStatement)
{
    const QString simple = DecisionRuleStatement(DecisionRule::Simple);
    const QString guarded = DecisionRuleStatement(DecisionRule::Guarded);
    EXPECT_NE(simple, guarded);
    EXPECT_TRUE(guarded.contains(QStringLiteral("ILAC-G8")));
    EXPECT_TRUE(guarded.contains(QStringLiteral("|δ| + U ≤ Δ")));
    EXPECT_FALSE(simple.contains(QStringLiteral("|δ| + U")));
}

struct DueCase
{
    QDate due;
    ReferenceDueKind kind;
    std::optional<qint64> daysLeft;
    const char *says;
};

TEST(ReferenceDueCheck, KindAndDaysAroundTheLimits)
{
    const QDate today(2026, 12, 11);
    const DueCase cases[] = {
        {QDate(2027, 12, 11), ReferenceDueKind::InDate, 365, "действительна до 11.12.2027"},
        {QDate(2027, 1, 11), ReferenceDueKind::InDate, 31, "осталось 31 дн."},
        {QDate(2027, 1, 10), ReferenceDueKind::DueSoon, 30, "истекает 10.01.2027: осталось 30 дн."},
        {QDate(2026, 12, 12), ReferenceDueKind::DueSoon, 1, "осталось 1 дн."},
        {today, ReferenceDueKind::DueSoon, 0, "истекает сегодня, 11.12.2026"},
        {QDate(2026, 12, 10), ReferenceDueKind::Lapsed, -1, "истёк 10.12.2026 (1 дн. назад): укажите эталон"},
        {QDate(2025, 12, 11), ReferenceDueKind::Lapsed, -365, "365 дн. назад"},
        {QDate(), ReferenceDueKind::Unknown, std::nullopt, "не указан"},
    };
    for (const auto &c : cases) {
        const auto got = ReferenceDueCheck(c.due, today);
        SCOPED_TRACE(c.due.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.daysLeft, c.daysLeft);
        EXPECT_TRUE(got.message.contains(QString::fromUtf8(c.says))) << got.message.toStdString();
    }
    EXPECT_EQ(ReferenceDueCheck(QDate(2027, 1, 1), QDate()).kind, ReferenceDueKind::Unknown);
}

} // namespace
