// A point's verdict under each rule, a phase's from its points, and the zero check's
// figures from its runs.
#include "procedure/point_metrology.h"
#include <gtest/gtest.h>

namespace {

RunPoint judged(std::optional<double> relative, std::optional<double> reduced, std::optional<bool> fits,
                std::optional<double> expanded, double reference = 100)
{
    RunPoint p;
    p.referenceFlow = reference;
    p.relativeError = relative;
    p.reducedError = reduced;
    p.fits = fits;
    if (expanded) {
        UncertaintyBudget b;
        b.expandedPercent = *expanded;
        p.metrology.budget = b;
    }
    return p;
}

struct ConformityCase
{
    const char *name;
    DecisionRule rule;
    RunPoint point;
    std::optional<Conformity> expected;
};

const ConformityCase ConformityCases[] = {
    // The simple rule keeps the grid's verdict, rounded to three decimals: 0.2004 % fits 0.2 %.
    {"simple keeps the grid's verdict", DecisionRule::Simple, judged(0.2004, 0.02, true, 0.05), Conformity::Pass},
    {"simple unfit", DecisionRule::Simple, judged(0.3, 0.03, false, 0.05), Conformity::Fail},
    {"simple without an error", DecisionRule::Simple, judged({}, {}, {}, 0.05), std::nullopt},
    {"guarded inside by U", DecisionRule::Guarded, judged(0.1, 0.01, true, 0.05), Conformity::Pass},
    {"guarded within U of the limit", DecisionRule::Guarded, judged(-0.17, -0.017, true, 0.05),
     Conformity::Undetermined},
    {"guarded outside by U", DecisionRule::Guarded, judged(0.26, 0.026, false, 0.05), Conformity::Fail},
    // No budget: nothing to guard with, the point's own verdict stands.
    {"guarded without a budget", DecisionRule::Guarded, judged(0.19, 0.019, true, {}), Conformity::Pass},
    // At no reference the reduced error is judged, and U (of the reading) is scaled to Q Max:
    // 0.5 % of 10 kg/h against Q Max 1000 is 0.005 %: 0.197 + 0.005 > 0.2.
    {"guarded on the reduced error", DecisionRule::Guarded, judged({}, 0.197, true, 0.5, 10), Conformity::Undetermined},
};

class PointVerdict : public ::testing::TestWithParam<ConformityCase>
{
};

TEST_P(PointVerdict, UnderTheRunsRule)
{
    const ConformityCase &c = GetParam();
    EXPECT_EQ(PointConformity(c.rule, c.point, 0.2, 1000), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, PointVerdict, ::testing::ValuesIn(ConformityCases), [](const auto &info) {
    std::string name;
    for (char ch : std::string(info.param.name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

RunPoint withVerdict(std::optional<Conformity> c)
{
    RunPoint p;
    p.metrology.conformity = c;
    return p;
}

TEST(PhaseVerdict, AnyFailThenAnyUndeterminedThenPass)
{
    const auto pass = withVerdict(Conformity::Pass), fail = withVerdict(Conformity::Fail),
               open = withVerdict(Conformity::Undetermined), none = withVerdict(std::nullopt);
    const struct
    {
        QList<RunPoint> points;
        std::optional<Conformity> expected;
    } cases[] = {
        {{pass, pass}, Conformity::Pass},
        {{pass, open, pass}, Conformity::Undetermined},
        {{open, fail, pass}, Conformity::Fail},
        {{fail, open}, Conformity::Fail},
        {{none, pass}, Conformity::Pass},
        {{none}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PhaseConformity(c.points), c.expected) << c.points.size() << " points";
}

PointRun runAt(double reference, double meter, std::optional<double> error = {})
{
    PointRun r;
    r.referenceFlow = reference;
    r.meterFlow = meter;
    r.seconds = 10;
    r.relativeError = error;
    return r;
}

TEST(ZeroCheckFigures, MeanAndTheWanderOfTheRunsMeans)
{
    const struct
    {
        const char *name;
        QList<PointRun> runs;
        double liveSigma, mean, sigma;
        bool fits;
    } cases[] = {
        // Means 0.1, 0.3, 0.2: mean 0.2, s = 0.1.
        {"three runs", {runAt(0, 0.1), runAt(0, 0.3), runAt(0, 0.2)}, 9, 0.2, 0.1, true},
        {"a mean off", {runAt(0, 0.6), runAt(0, 0.6)}, 0, 0.6, 0, false},
        {"a wander too wide", {runAt(0, -0.4), runAt(0, 0.4)}, 0, 0, 0.565685, false},
        // One run: its live readings' σ is all there is.
        {"one run", {runAt(0, 0.1)}, 0.7, 0.1, 0.7, false},
        {"no run", {}, 0, 0, 0, false},
    };
    for (const auto &c : cases) {
        const ZeroCheckResult z = ZeroCheckOf(c.runs, c.liveSigma, 0.5);
        EXPECT_NEAR(z.meanKgH, c.mean, 1e-9) << c.name;
        EXPECT_NEAR(z.sigmaKgH, c.sigma, 1e-6) << c.name;
        EXPECT_EQ(z.fits, c.fits) << c.name;
        EXPECT_EQ(z.samples, c.runs.size()) << c.name;
        EXPECT_EQ(z.seconds, 10.0 * double(c.runs.size())) << c.name;
    }
}

TEST(RepeatabilityLimit, ThePlansOrTheZerosRelativeToTheFlow)
{
    // 0.01 % of 1000 kg/h is 0.1 kg/h: 0.05 % of 200 kg/h and up, more below.
    const struct
    {
        double flow, limit;
    } cases[] = {{1000, 0.05}, {-1000, 0.05}, {200, 0.05}, {100, 0.1}, {-50, 0.2}, {0, 0.05}};
    for (const auto &c : cases)
        EXPECT_NEAR(RepeatabilityLimitAt(0.05, 0.01, 1000, c.flow), c.limit, 1e-12) << c.flow;
}

TEST(PointBudgetSources, WhatIsKnownOfEachSourceIsInIt)
{
    ReferenceInstrument ref;
    ref.expandedUncertaintyPercent = 0.1;
    BudgetSources s;
    s.reference = ref;
    s.runs = {runAt(100, 100.02, 0.02), runAt(101, 101.0, 0.0), runAt(99, 99.04, 0.04)};
    ZeroCheckResult zero;
    zero.meanKgH = 0.01;
    zero.sigmaKgH = 0.02;
    s.zero = zero;
    s.referenceFlow = 100;
    s.meterFlow = 100.02;
    const auto b = PointBudget(s);
    ASSERT_TRUE(b);
    QStringList keys;
    for (const UncertaintyComponent &c : b->components)
        keys << c.key;
    EXPECT_EQ(keys, (QStringList{"reference", "repeatability", "flow_change", "zero", "resolution"}));
    // reference 0.05; runs' errors 0.02, 0, 0.04: s = 0.02, /√3; flow 99..101 around 100:
    // 1 %/√3; zero 0.02 of 100 kg/h: 0.02 %.
    EXPECT_NEAR(b->components[0].standardPercent, 0.05, 1e-12);
    EXPECT_NEAR(b->components[1].standardPercent, 0.02 / std::sqrt(3.0), 1e-9);
    EXPECT_NEAR(b->components[2].standardPercent, 1.0 / std::sqrt(3.0), 1e-9);
    EXPECT_NEAR(b->components[3].standardPercent, 0.02, 1e-12);
    EXPECT_LT(b->components[4].standardPercent, 1e-5);

    s.referenceFlow = 0;
    EXPECT_FALSE(PointBudget(s)) << "no error relative to no flow, no budget";
    s.referenceFlow = 100;
    s.reference.reset();
    s.runs = {runAt(100, 100.02, 0.02)};
    s.zero.reset();
    const auto bare = PointBudget(s);
    ASSERT_TRUE(bare);
    ASSERT_EQ(bare->components.size(), 1) << "a single run: only the resolution is known";
    EXPECT_EQ(bare->components[0].key, "resolution");
}

} // namespace
