// A point's uncertainty: the coverage factor against JCGM 100 table G.2, the
// rounding of U, Welch–Satterthwaite, a budget worked by hand, each source's
// builder, and u_c checked against the uncertainties package on random budgets.
#include "procedure/uncertainty.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace {

struct KCase
{
    std::optional<double> dof;
    double k;
};

// Every row of G.2, then points between rows worked by hand linearly in 1/ν.
const KCase G2Rows[] = {
    {1, 13.97}, {2, 4.53},  {3, 3.31},  {4, 2.87},  {5, 2.65},  {6, 2.52},  {7, 2.43},  {8, 2.37},  {9, 2.32},
    {10, 2.28}, {11, 2.25}, {12, 2.23}, {13, 2.21}, {14, 2.20}, {15, 2.18}, {16, 2.17}, {17, 2.16}, {18, 2.15},
    {19, 2.14}, {20, 2.13}, {25, 2.11}, {30, 2.09}, {35, 2.07}, {40, 2.06}, {45, 2.06}, {50, 2.05}, {100, 2.025},
    {std::nullopt, 2.0}, {std::numeric_limits<double>::infinity(), 2.0},
    // 1.5: 1/ν = 2/3, a third of the way from 1/2 back to 1 → 4.53 + (13.97 − 4.53)/3
    {1.5, 4.53 + 9.44 / 3},
    // 22.5: 1/ν = 0.04444, 5/9 of the way from 1/20 to 1/25 → 2.13 − 0.02·5/9
    {22.5, 2.13 - 0.02 * 5 / 9},
    // 75: 1/ν = 0.01333, 2/3 of the way from 1/50 to 1/100 → 2.05 − 0.025·2/3
    {75, 2.05 - 0.025 * 2 / 3},
    // 200: 1/ν = 0.005, halfway from 1/100 to 0 → 2.0125
    {200, 2.0125},
    // outside the table: clamped to ν = 1
    {0.5, 13.97}, {0, 13.97}, {-3, 13.97}, {std::numeric_limits<double>::quiet_NaN(), 13.97},
};

TEST(StudentT95, FollowsTableG2AndInterpolatesIn1OverNu)
{
    for (const auto &c : G2Rows)
        EXPECT_NEAR(StudentT95(c.dof), c.k, 1e-12) << "ν = " << (c.dof ? *c.dof : -1);
}

TEST(StudentT95, NeverGrowsWithNu)
{
    double previous = StudentT95(1.0);
    for (double nu = 1.01; nu < 2000; nu *= 1.01) {
        const double k = StudentT95(nu);
        ASSERT_LE(k, previous + 1e-12) << "ν = " << nu;
        previous = k;
    }
    EXPECT_GT(previous, 2.0);
}

TEST(RoundUpTwoSignificant, RoundsUpAndKeepsExactTwoFigureValues)
{
    const struct
    {
        double in, out;
    } cases[] = {
        {0.056424, 0.057}, {0.0561, 0.057}, {0.23, 0.23},   {0.2301, 0.24}, {0.1 + 0.2, 0.3}, {0.0991, 0.1},
        {0.099, 0.099},    {1.0, 1.0},      {1.001, 1.1},   {9.95, 10},     {123, 130},       {0.00012001, 0.00013},
        {0, 0},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(RoundUpTwoSignificant(c.in), c.out) << c.in;
}

UncertaintyComponent part(double u, std::optional<double> dof)
{
    return UncertaintyComponent{QStringLiteral("x"), QStringLiteral("x"), QStringLiteral("normal"), u, dof};
}

TEST(WelchSatterthwaite, WorkedExamples)
{
    // u = 0.3 (ν 4) and 0.4 (ν 9): u_c² = 0.25, ν = 0.0625 / (0.0081/4 + 0.0256/9) = 12.8351
    EXPECT_NEAR(*WelchSatterthwaite({part(0.3, 4), part(0.4, 9)}), 12.835139760, 1e-8);
    // An infinite component adds to u_c only: 0.3 (ν 4) with 0.4 (∞) → 4·(0.25/0.09)² = 30.864
    EXPECT_NEAR(*WelchSatterthwaite({part(0.3, 4), part(0.4, std::nullopt)}), 4 * std::pow(0.25 / 0.09, 2), 1e-9);
    // Alone, a component keeps its own ν; with no uncertainty its ν counts for nothing.
    EXPECT_NEAR(*WelchSatterthwaite({part(0.2, 7)}), 7, 1e-12);
    EXPECT_NEAR(*WelchSatterthwaite({part(0.2, 7), part(0, 1)}), 7, 1e-12);
    EXPECT_FALSE(WelchSatterthwaite({part(0.2, std::nullopt), part(0.1, std::nullopt)}));
    EXPECT_FALSE(WelchSatterthwaite({}));
}

PointRun runWithError(std::optional<double> error)
{
    PointRun r;
    r.relativeError = error;
    return r;
}

TEST(Combine, HandCheckedBudget)
{
    // Reference U = 0.05 %, k = 2 → u = 0.025 %, ν ∞.
    // Runs 0.10, 0.14, 0.12 %: mean 0.12, s = √(0.0008/2) = 0.02, u = 0.02/√3 = 0.011547 %, ν 2.
    // Resolution 0.01 kg/h of 100 kg/h: u = 0.01/(2√3) % = 0.0028868 %.
    // u_c² = (7.5 + 1.6 + 0.1)/12000 → u_c = 0.0276887 %; ν = 2·(9.2/1.6)² = 66.125;
    // k = 2.05 − 0.025·(1/50 − 1/66.125)/(1/50 − 1/100) = 2.037807; k·u_c = 0.056424 → U = 0.057 %.
    ReferenceInstrument ref;
    ref.expandedUncertaintyPercent = 0.05;
    ref.coverageFactor = 2;
    const auto budget = Combine({*ReferenceComponent(ref),
                                 *RepeatabilityComponent({runWithError(0.10), runWithError(0.14), runWithError(0.12)}),
                                 *ResolutionComponent(0.01, 100)});
    ASSERT_EQ(budget.components.size(), 3);
    EXPECT_NEAR(budget.combinedPercent, 0.0276887462, 1e-9);
    ASSERT_TRUE(budget.effectiveDegreesOfFreedom);
    EXPECT_NEAR(*budget.effectiveDegreesOfFreedom, 66.125, 1e-9);
    EXPECT_NEAR(budget.coverageFactor, 2.0378071834, 1e-9);
    EXPECT_DOUBLE_EQ(budget.coverageProbability, 0.9545);
    EXPECT_DOUBLE_EQ(budget.expandedPercent, 0.057);
}

TEST(Combine, AllInfiniteGivesKTwo)
{
    // u_c = √(0.03² + 0.04²) = 0.05, k = 2 → U = 0.1 exactly, not bumped to 0.11.
    const auto budget = Combine({part(0.03, std::nullopt), part(0.04, std::nullopt)});
    EXPECT_NEAR(budget.combinedPercent, 0.05, 1e-15);
    EXPECT_FALSE(budget.effectiveDegreesOfFreedom);
    EXPECT_DOUBLE_EQ(budget.coverageFactor, 2.0);
    EXPECT_DOUBLE_EQ(budget.expandedPercent, 0.1);
}

struct BuilderCase
{
    const char *name;
    std::optional<UncertaintyComponent> got;
    const char *key; // null: no component
    double standardPercent;
    std::optional<double> dof;
    const char *distribution;
};

TEST(UncertaintyComponents, EachSourceFromItsInputs)
{
    ReferenceInstrument withDof;
    withDof.expandedUncertaintyPercent = 0.09;
    withDof.coverageFactor = 3;
    withDof.degreesOfFreedom = 12;
    ReferenceInstrument noU;
    const double sqrt3 = std::sqrt(3.0);
    const BuilderCase cases[] = {
        {"reference with its ν", ReferenceComponent(withDof), "reference", 0.03, 12.0, "normal"},
        {"reference without U", ReferenceComponent(noU), nullptr, 0, {}, ""},
        // errors −0.1 and 0.1: s = √0.02 = 0.141421, u = s/√2 = 0.1
        {"two runs", RepeatabilityComponent({runWithError(-0.1), runWithError(0.1)}), "repeatability", 0.1, 1.0, "t"},
        {"runs without an error skipped",
         RepeatabilityComponent({runWithError(-0.1), runWithError(std::nullopt), runWithError(0.1)}), "repeatability",
         0.1, 1.0, "t"},
        {"one run", RepeatabilityComponent({runWithError(0.1), runWithError(std::nullopt)}), nullptr, 0, {}, ""},
        // 199..201 kg/h around 200: half-width 1/200 = 0.5 %, u = 0.5/√3
        {"flow change", FlowChangeComponent({200, 199, 201, 200}), "flow_change", 0.5 / sqrt3, {}, "rectangular"},
        {"steady flow", FlowChangeComponent({50, 50, 50}), "flow_change", 0, {}, "rectangular"},
        {"reverse flow", FlowChangeComponent({-200, -199, -201, -200}), "flow_change", 0.5 / sqrt3, {}, "rectangular"},
        {"no flow readings", FlowChangeComponent({}), nullptr, 0, {}, ""},
        // σ 0.02 kg/h beats |mean| 0.005 at 40 kg/h: 0.05 %; then the offset wins: 0.1 kg/h → 0.25 %
        {"zero by its σ", ZeroComponent(0.02, -0.005, 40), "zero", 0.05, {}, "normal"},
        {"zero by its offset", ZeroComponent(0.02, -0.1, 40), "zero", 0.25, {}, "normal"},
        {"zero with no flow", ZeroComponent(0.02, 0, 0), nullptr, 0, {}, ""},
        // last digit 0.1 kg/h of 25 kg/h: 0.1/(2√3)/25 = 0.4/(2√3) %
        {"resolution", ResolutionComponent(0.1, 25), "resolution", 0.2 / sqrt3, {}, "rectangular"},
        {"resolution of nothing", ResolutionComponent(0.1, 0), nullptr, 0, {}, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.key) {
            EXPECT_FALSE(c.got);
            continue;
        }
        ASSERT_TRUE(c.got);
        EXPECT_EQ(c.got->key, QLatin1String(c.key));
        EXPECT_FALSE(c.got->title.isEmpty());
        EXPECT_EQ(c.got->distribution, QLatin1String(c.distribution));
        EXPECT_NEAR(c.got->standardPercent, c.standardPercent, 1e-12);
        EXPECT_EQ(c.got->degreesOfFreedom, c.dof);
    }
}

// The uncertainties package propagates each component as a quantity of its own; its
// std_dev of their sum must be our u_c.
TEST(Combine, CombinedAgreesWithUncertaintiesPackage)
{
    std::mt19937 random(20261211);
    std::uniform_real_distribution<double> size(1e-4, 0.5);
    std::uniform_int_distribution<int> count(1, 8);
    QList<QList<UncertaintyComponent>> budgets;
    QJsonArray input;
    for (int b = 0; b < 20; ++b) {
        QList<UncertaintyComponent> parts;
        QJsonArray us;
        for (int i = count(random); i > 0; --i) {
            parts.append(part(size(random), std::nullopt));
            us.append(parts.last().standardPercent);
        }
        budgets.append(parts);
        input.append(us);
    }
    QProcess oracle;
    oracle.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(KESTRO_UNCERTAINTIES_ORACLE)});
    ASSERT_TRUE(oracle.waitForStarted(10000));
    oracle.write(QJsonDocument(input).toJson(QJsonDocument::Compact));
    oracle.closeWriteChannel();
    ASSERT_TRUE(oracle.waitForFinished(30000));
    ASSERT_EQ(oracle.exitCode(), 0) << oracle.readAllStandardError().toStdString();
    const QJsonArray out = QJsonDocument::fromJson(oracle.readAllStandardOutput()).array();
    ASSERT_EQ(out.size(), budgets.size());
    for (int b = 0; b < budgets.size(); ++b)
        EXPECT_NEAR(Combine(budgets[b]).combinedPercent, out[b].toDouble(), 1e-12 * out[b].toDouble()) << "budget " << b;
}

} // namespace
