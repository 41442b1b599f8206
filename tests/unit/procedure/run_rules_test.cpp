// What a run judges before it keeps a point or writes a table: the plausibility rules,
// the stability of a reading's own values, and a point's verdict at its limit.
#include "procedure/run_plausibility.h"
#include "procedure/stability.h"
#include "procedure/verification_table.h"
#include "support/locale_guard.h"
#include <QMap>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace {

using namespace Plausibility;

// A rig of 1000 kg/h Q Max, the default plan's 2 % flow tolerance and 10 % limit.
const Limits Rig{1000.0, 2.0, 10.0};

// A settled point at half flow as the simulated rig gives it: the meter 4 % low.
Point halfFlow()
{
    Point p;
    p.title = QStringLiteral("поверка до калибровки, точка 2");
    p.targetFlow = 500;
    p.rigSetsFlow = true;
    p.beforeWrite = true;
    p.reference = 501;
    p.meterFlow = 481;
    p.meterSeconds = 20.0;
    p.openedSeconds = 20.0;
    p.referenceReadings = 230;
    p.referenceLow = 498.7;
    p.referenceHigh = 503.2;
    return p;
}

void freeze(Point &p, double at)
{
    p.reference = p.referenceLow = p.referenceHigh = at;
}

struct PointCase
{
    const char *name;
    std::function<void(Point &)> edit;
    const char *rule; // null: kept
};

const PointCase PointCases[] = {
    {"a settled point", [](Point &) {}, nullptr},
    {"reference out of range (3e38)", [](Point &p) { p.reference = 3e38; }, "reference_range"},
    {"reference not a number", [](Point &p) { p.reference = NAN; }, "reference_range"},
    {"three Q Max itself, operator rig after the write",
     [](Point &p) { p.reference = 3000, p.meterFlow = 3000, p.rigSetsFlow = false, p.beforeWrite = false; }, nullptr},
    {"just past three Q Max",
     [](Point &p) { p.reference = 3000.5, p.meterFlow = 3000, p.rigSetsFlow = false, p.beforeWrite = false; },
     "reference_range"},
    {"meter averaged since an earlier point (37 ignored)", [](Point &p) { p.meterSeconds = 40.0; }, "meter_averaging"},
    {"meter never averaged (38 ignored)", [](Point &p) { p.meterSeconds = 0; }, "meter_averaging"},
    {"meter's time half over", [](Point &p) { p.meterSeconds = 30.0; }, nullptr},
    {"meter's time past half over", [](Point &p) { p.meterSeconds = 30.1; }, "meter_averaging"},
    {"meter's time past half under", [](Point &p) { p.meterSeconds = 9.9; }, "meter_averaging"},
    {"short interval within two cycles", [](Point &p) { p.openedSeconds = 0.2, p.meterSeconds = 0.35; }, nullptr},
    {"meter's time not a number", [](Point &p) { p.meterSeconds = NAN; }, "meter_averaging"},
    {"reference stuck at the set point (echoed)", [](Point &p) { freeze(p, 500); }, "reference_frozen"},
    {"reference stuck elsewhere, operator rig", [](Point &p) { freeze(p, 490), p.rigSetsFlow = false; },
     "reference_frozen"},
    {"a clean zero at no flow", [](Point &p) { freeze(p, 0), p.targetFlow = 0, p.meterFlow = 0.2; }, nullptr},
    {"two equal readings are no proof", [](Point &p) { freeze(p, 500), p.referenceReadings = 2; }, nullptr},
    {"operator typed it: no readings", [](Point &p) { p.referenceReadings = 0, p.rigSetsFlow = false; }, nullptr},
    {"reference reversed",
     [](Point &p) { p.reference = -501, p.referenceLow = -503, p.referenceHigh = -499; }, "reference_follows_setpoint"},
    {"reference within the flow tolerance", [](Point &p) { p.reference = 519.9, p.meterFlow = 500; }, nullptr},
    {"reference past the flow tolerance", [](Point &p) { p.reference = 520.1, p.meterFlow = 500; },
     "reference_follows_setpoint"},
    {"near, but the other side of zero", [](Point &p) { p.targetFlow = 10, p.reference = -5, p.meterFlow = -5; },
     "reference_follows_setpoint"},
    {"no set point: the operator's flow is not held to it",
     [](Point &p) { p.rigSetsFlow = false, p.reference = 700, p.meterFlow = 690; }, nullptr},
    {"meter 9.9 % off", [](Point &p) { p.reference = 500, p.meterFlow = 450.5; }, nullptr},
    {"meter 10.1 % off", [](Point &p) { p.reference = 500, p.meterFlow = 449.5; }, "meter_agrees_with_reference"},
    {"meter far off after the write: the verdict's business",
     [](Point &p) { p.meterFlow = 300, p.beforeWrite = false; }, nullptr},
    {"near zero the error is of Q Max",
     [](Point &p) { p.targetFlow = 0, p.reference = 0.3, p.meterFlow = 1.0, p.referenceLow = 0.1; }, nullptr},
    {"near zero, far off in Q Max",
     [](Point &p) { p.targetFlow = 0, p.reference = 0.3, p.meterFlow = 150, p.referenceLow = 0.1; },
     "meter_agrees_with_reference"},
};

void PrintTo(const PointCase &c, std::ostream *os)
{
    *os << c.name;
}

class PointRules : public ::testing::TestWithParam<PointCase>
{
};

std::string caseName(const char *name)
{
    std::string out;
    for (const char *c = name; *c; ++c)
        out += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return out;
}

} // namespace

TEST_P(PointRules, KeptOrRefusedByItsRule)
{
    Point p = halfFlow();
    GetParam().edit(p);
    const std::optional<Refusal> r = CheckPoint(p, Rig);
    if (!GetParam().rule) {
        EXPECT_FALSE(r) << r->message.toStdString();
        return;
    }
    ASSERT_TRUE(r);
    EXPECT_STREQ(r->rule, GetParam().rule) << r->message.toStdString();
    EXPECT_TRUE(r->message.startsWith(p.title + QStringLiteral(": "))) << r->message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Plausibility, PointRules, ::testing::ValuesIn(PointCases),
                         [](const auto &info) { return caseName(info.param.name); });

TEST(PointRulesMessage, TheDisagreementIsSaidInTheLocalesForm)
{
    Point p = halfFlow();
    p.reference = 500, p.meterFlow = 437.8;
    for (const auto &[locale, text] : {std::pair{LocaleGuard::comma(), "12,4"}, std::pair{LocaleGuard::point(), "12.4"}}) {
        LocaleGuard guard(locale);
        const std::optional<Refusal> r = CheckPoint(p, Rig);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->message, p.title + QStringLiteral(": прибор и эталон расходятся на %1 %: проверьте стенд")
                                            .arg(QLatin1String(text)));
    }
}

namespace {

// The default plan's thirteen points as a healthy meter gives them: Δt at 2 ns per
// kg/h with a small zero offset.
QList<TablePoint> healthyTable()
{
    QList<TablePoint> t;
    for (double percent : {-100, -75, -45, -25, -10, -5, 0, 5, 10, 25, 45, 75, 100}) {
        const double reference = percent * 10.0 + 0.3;
        t.append({percent, reference, reference * 2.0 + 0.4});
    }
    return t;
}

struct TableCase
{
    const char *name;
    std::function<void(QList<TablePoint> &)> edit;
    const char *rule;
};

const TableCase TableCases[] = {
    {"a healthy table", [](QList<TablePoint> &) {}, nullptr},
    {"the first three points, as the run checks them on the way", [](QList<TablePoint> &t) { t.resize(3); },
     nullptr},
    {"reference stuck at 500",
     [](QList<TablePoint> &t) {
         for (TablePoint &p : t)
             p.reference = 500;
     },
     "table_signs"},
    {"references reversed",
     [](QList<TablePoint> &t) {
         for (TablePoint &p : t)
             p.reference = -p.reference, p.deltaT = -p.deltaT;
     },
     "table_signs"},
    {"two references out of order", [](QList<TablePoint> &t) { std::swap(t[9].reference, t[10].reference); },
     "table_references_ascend"},
    {"delta t not monotonic (averages never reset)", [](QList<TablePoint> &t) { t[11].deltaT = t[10].deltaT - 3; },
     "table_delta_t_ascends"},
    {"delta t repeated", [](QList<TablePoint> &t) { t[4].deltaT = t[3].deltaT; }, "table_delta_t_ascends"},
    {"zero point's reference past the flow tolerance", [](QList<TablePoint> &t) { t[6].reference = 20.5; },
     "table_signs"},
    {"zero point's reference within it", [](QList<TablePoint> &t) { t[6].reference = -19.5; }, nullptr},
    {"delta t tipped by the zero offset near zero", [](QList<TablePoint> &t) { t[6].deltaT = -0.8; }, nullptr},
    {"delta t on the wrong side at a flow (meter reversed or its zero far off)",
     [](QList<TablePoint> &t) {
         for (TablePoint &p : t)
             p.deltaT -= 120;
     },
     "table_signs"},
};

void PrintTo(const TableCase &c, std::ostream *os)
{
    *os << c.name;
}

class TableRules : public ::testing::TestWithParam<TableCase>
{
};

} // namespace

TEST_P(TableRules, WrittenOnlyWhenEveryRuleHolds)
{
    QList<TablePoint> t = healthyTable();
    GetParam().edit(t);
    const std::optional<Refusal> r = CheckTable(t, Rig);
    if (!GetParam().rule) {
        EXPECT_FALSE(r) << r->message.toStdString();
        return;
    }
    ASSERT_TRUE(r);
    EXPECT_STREQ(r->rule, GetParam().rule) << r->message.toStdString();
    EXPECT_TRUE(r->message.startsWith(QStringLiteral("Таблица расхода не записывается"))) << r->message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Plausibility, TableRules, ::testing::ValuesIn(TableCases),
                         [](const auto &info) { return caseName(info.param.name); });

// The run judges settling on a reading's own values, the last `window` of them.
TEST(StabilityOfValues, SpreadAndDriftOverTheLastWindow)
{
    const StabilityThresholds limits{1.0, 1.0};
    const struct
    {
        const char *name;
        int count, window;
        std::function<double(int)> value;
        bool stable;
    } cases[] = {
        {"steady, window full", 10, 10, [](int) { return 500.0; }, true},
        {"steady, window not yet full", 9, 10, [](int) { return 500.0; }, false},
        {"noise under σ", 10, 10, [](int i) { return 500.0 + (i % 2 ? 0.4 : -0.4); }, true},
        {"noise over σ", 10, 10, [](int i) { return 500.0 + (i % 2 ? 1.5 : -1.5); }, false},
        {"slow ramp: σ under, drift over", 10, 10, [](int i) { return 500.0 + 0.15 * i; }, false},
        {"slow fall: σ under, drift over", 10, 10, [](int i) { return 500.0 - 0.15 * i; }, false},
        {"a ramp that ended before the window", 20, 10, [](int i) { return 500.0 + 0.5 * std::min(i, 10); }, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QList<double> values;
        for (int i = 0; i < c.count; ++i)
            values << c.value(i);
        const StabilityState s = AssessStability(values, c.window, limits);
        EXPECT_EQ(s.stable, c.stable) << "σ " << s.sigma << " drift " << s.drift;
    }
}

namespace {

struct MapCells : Verification::Cells
{
    QString cell(int column, int row) const override { return cells.value({column, row}); }
    void setCell(int column, int row, const QString &text) override { cells[{column, row}] = text; }
    QMap<QPair<int, int>, QString> cells;
};

} // namespace

// A point on the tolerance passes in the run as it does in the verification grid.
TEST(PointVerdict, TheRunAndTheGridAgreeAtTheLimit)
{
    const double tolerance = 0.2;
    const struct
    {
        const char *etalon, *pribor;
        bool fits;
    } cases[] = {
        {"1000", "1002", true},        // +0,200 %
        {"1000", "998", true},         // -0,200 %
        {"1000", "1002.004", true},    // 0,2004 shows as 0,200
        {"1000", "1002.006", false},   // 0,2006 shows as 0,201
        {"0", "2", true},              // no reference: 0,200 % of Q Max
        {"0", "2.01", false},
    };
    for (const QLocale &locale : {LocaleGuard::comma(), LocaleGuard::point()}) {
        LocaleGuard guard(locale);
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.etalon) + " " + c.pribor + " " + locale.name().toStdString());
            MapCells grid;
            grid.setCell(Verification::Etalon, 1, QLatin1String(c.etalon));
            grid.setCell(Verification::Pribor, 1, QLatin1String(c.pribor));
            ASSERT_TRUE(Verification::RecalculateErrors(grid, QStringLiteral("1000")).isEmpty());
            const float etalon = QString::fromLatin1(c.etalon).toFloat(), pribor = QString::fromLatin1(c.pribor).toFloat();
            const std::optional<bool> run = Verification::PointFits(Verification::ErrorsOf(etalon, pribor, 1000.0f), tolerance);
            EXPECT_EQ(run, c.fits);
            EXPECT_EQ(Verification::RowVerdict(grid, 1, tolerance), c.fits);
        }
    }
}

namespace {

// A settled thermometer point at 60 °C as the simulated rig gives it.
TemperaturePoint at60()
{
    TemperaturePoint p;
    p.title = QStringLiteral("термометр, точка 2");
    p.setpoint = 60;
    p.rigSetsTemperature = true;
    p.reference = 60.012;
    p.tube = 59.31;
    p.meterSamples = 40;
    p.meterSeconds = 20;
    p.openedSeconds = 20;
    p.referenceReadings = 60;
    p.referenceLow = 59.994;
    p.referenceHigh = 60.019;
    p.tolerance = 1.0;
    return p;
}

struct TemperatureCase
{
    const char *name;
    std::function<void(TemperaturePoint &)> edit;
    const char *rule; // null: kept
};

void PrintTo(const TemperatureCase &c, std::ostream *os)
{
    *os << c.name;
}

const TemperatureCase TemperatureCases[] = {
    {"a settled point", [](TemperaturePoint &) {}, nullptr},
    {"thermometer register gives 3e38", [](TemperaturePoint &p) { p.reference = 3e38; }, "thermometer_range"},
    {"thermometer gave nothing", [](TemperaturePoint &p) { p.reference = NAN; }, "thermometer_range"},
    {"just below the rig's range", [](TemperaturePoint &p) { p.reference = -50.1, p.rigSetsTemperature = false; },
     "thermometer_range"},
    {"meter read nothing over the interval", [](TemperaturePoint &p) { p.meterSamples = 0, p.tube = NAN; },
     "meter_temperature"},
    {"meter ignored the averaging start", [](TemperaturePoint &p) { p.meterSeconds = 0; }, "meter_temperature"},
    {"thermometer stuck", [](TemperaturePoint &p) { p.referenceLow = p.referenceHigh = p.reference = 59.994; },
     "thermometer_frozen"},
    {"two equal readings are no proof",
     [](TemperaturePoint &p) { p.referenceLow = p.referenceHigh = p.reference, p.referenceReadings = 2; }, nullptr},
    {"typed by the operator: no readings",
     [](TemperaturePoint &p) { p.referenceReadings = 0, p.rigSetsTemperature = false, p.reference = 58; }, nullptr},
    {"within the tolerance of the set point", [](TemperaturePoint &p) { p.reference = 59.0; }, nullptr},
    {"thermometer does not follow the set point", [](TemperaturePoint &p) { p.reference = 58.9; },
     "thermometer_follows_setpoint"},
    {"the operator's temperature is not held to the set point",
     [](TemperaturePoint &p) { p.reference = 55, p.rigSetsTemperature = false; }, nullptr},
};

class TemperatureRules : public ::testing::TestWithParam<TemperatureCase>
{
};

} // namespace

TEST_P(TemperatureRules, KeptOrRefusedByItsRule)
{
    TemperaturePoint p = at60();
    GetParam().edit(p);
    const std::optional<Refusal> refused = CheckTemperature(p);
    if (!GetParam().rule) {
        EXPECT_FALSE(refused) << refused->message.toStdString();
        return;
    }
    ASSERT_TRUE(refused);
    EXPECT_STREQ(refused->rule, GetParam().rule);
    EXPECT_TRUE(refused->message.startsWith(p.title)) << refused->message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Plausibility, TemperatureRules, ::testing::ValuesIn(TemperatureCases),
                         [](const auto &info) { return caseName(info.param.name); });
