// kestroctl's text of a stored run with its metrology: the points' U, repeatability and
// runs after the verdict, the rule, the reference, the zero check and the largest budget,
// one line per source; an older record prints as it did.
#include "support/locale_guard.h"
#include "tools/ctl_calibrate.h"
#include "procedure/point_metrology.h"
#include "tools/run_printer.h"
#include <algorithm>
#include <functional>
#include <utility>
#include <gtest/gtest.h>

namespace {

RunPoint point(RunPhase phase, int index, double targetPercent, double relative, std::optional<bool> fits)
{
    RunPoint p;
    p.phase = phase;
    p.index = index;
    p.targetPercent = targetPercent;
    p.targetFlow = p.referenceFlow = targetPercent * 10.0;
    p.meterFlow = p.targetFlow * (1.0 + relative / 100.0);
    p.relativeError = relative;
    p.reducedError = relative * targetPercent / 100.0;
    p.fits = fits;
    return p;
}

void measured(RunPoint &p, double expanded, Conformity verdict)
{
    p.metrology.runs = QList<PointRun>(3);
    p.metrology.repeatabilityPercent = 0.012;
    UncertaintyBudget b;
    b.components = {{"reference", "эталон", "normal", 0.025, std::nullopt},
                    {"repeatability", "повторяемость", "t", 0.02, 4.0}};
    b.combinedPercent = 0.032;
    b.effectiveDegreesOfFreedom = 10.5;
    b.coverageProbability = 0.9545;
    b.expandedPercent = expanded;
    p.metrology.budget = b;
    p.metrology.conformity = verdict;
}

RunRecord older()
{
    RunRecord r;
    r.tolerancePercent = 0.2;
    r.points = {point(RunPhase::AsFound, 1, 100, 4.0, false), point(RunPhase::AsLeft, 1, 100, 0.04, true),
                point(RunPhase::AsLeft, 2, 50, 0.15, true)};
    r.asFoundFit = false;
    r.asFoundMaxError = 4.0;
    r.asLeftFit = true;
    r.asLeftMaxError = 0.15;
    return r;
}

// Guarded: as left point 2 at 0.15 % with U 0.08 % against 0.2 % is left open, and so the phase.
RunRecord guarded()
{
    RunRecord r = older();
    measured(r.points[0], 0.06, Conformity::Fail);
    measured(r.points[1], 0.05, Conformity::Pass);
    measured(r.points[2], 0.08, Conformity::Undetermined);
    r.points[2].fits.reset();
    r.asLeftFit.reset();
    r.metrology.rule = DecisionRule::Guarded;
    r.metrology.asFound = Conformity::Fail;
    r.metrology.asLeft = Conformity::Undetermined;
    r.metrology.reference = ReferenceInstrument{"Кориолис-Э", "С-12", QDate(2027, 5, 31), 0.05, 2.0, std::nullopt};
    ZeroCheckResult zero;
    zero.meanKgH = 0.012;
    zero.sigmaKgH = 0.034;
    zero.limitKgH = 0.5;
    zero.seconds = 60;
    zero.samples = 120;
    zero.fits = false;
    zero.storedZeroNs = 12.345;
    zero.tubeTemperature = 20.1;
    r.metrology.zeroCheck = zero;
    return r;
}

QString rowOf(const QStringList &lines, const QString &phaseHeading, int index)
{
    const qsizetype at = lines.indexOf(phaseHeading);
    for (qsizetype i = at + 2; at >= 0 && i < lines.size() && lines[i].startsWith(QStringLiteral("  ")); ++i) {
        if (lines[i].startsWith(QStringLiteral("  %1\t").arg(index)))
            return lines[i].mid(2);
    }
    return {};
}

} // namespace

TEST(RunPrinter, PrintsTheMetrologyTheRecordHas)
{
    LocaleGuard locale(LocaleGuard::point());
    const struct
    {
        const char *name;
        std::function<RunRecord()> make;
        qsizetype fields;            // of a point's row
        const char *asLeft2;         // its fields from the verdict on
        QList<const char *> present; // whole lines
        QList<const char *> absent;  // no line starts so
    } cases[] = {
        {"older record",
         older,
         8,
         "годен",
         {"as found: не годен (max error 4.000%), as left: годен (max error 0.150%), tolerance ±0.200 %"},
         {"decision rule", "reference", "zero check", "budget", "undetermined"}},
        {"guarded, a point undetermined",
         guarded,
         11,
         "не определено\t±0.08%\t0.012%\t3",
         {"as found: не годен (max error 4.000%), as left: не определено (max error 0.150%), tolerance ±0.200 %",
          "undetermined: as_left 2: точка 2 (50 %): |0.15| + 0.08 = 0.23 % > 0.2 % (на 0.03 %), но |0.15| − 0.08 = "
          "0.07 % ≤ 0.2 % — не определено",
          "reference: Кориолис-Э, certificate С-12, U 0.05% (k=2), due 2027-05-31",
          "zero check: mean 0.012 kg/h, sigma 0.034 kg/h, limit 0.500 kg/h, 60.0 s, 120 samples: вне допуска; "
          "stored zero 12.345 ns at 20.10 °C",
          "budget of as_left 2 (50.0 %), the largest U:", "  source\tdistribution\tu %\tdof",
          "  эталон\tnormal\t0.025\tinf", "  повторяемость\tt\t0.02\t4", "  combined\t\t0.032\t10.5",
          "  k 2, p 95.45%, U 0.08%"},
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const RunRecord run = c.make();
        const QStringList lines = CtlCalibrate::ResultTable(run);
        const QString heading = QStringLiteral("%1 (%2):").arg(PhaseTitle(RunPhase::AsLeft), PhaseKey(RunPhase::AsLeft));
        const QString row = rowOf(lines, heading, 2);
        const QStringList fields = row.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), c.fields) << row.toStdString();
        EXPECT_EQ(fields.mid(7).join(QLatin1Char('\t')), QString::fromUtf8(c.asLeft2));
        // The header names as many columns as the rows hold.
        EXPECT_EQ(lines[lines.indexOf(heading) + 1].split(QLatin1Char('\t')).size(), c.fields);
        for (const char *expected : c.present)
            EXPECT_TRUE(lines.contains(QString::fromUtf8(expected))) << expected << "\n" << lines.join('\n').toStdString();
        for (const char *prefix : c.absent) {
            for (const QString &line : lines)
                EXPECT_FALSE(line.startsWith(QString::fromUtf8(prefix))) << line.toStdString();
        }
    }
}

// The budget printed is the worst verification point's; a calibration point's counts
// only when no verification point has one.
TEST(RunPrinter, TheBudgetIsTheWorstPoints)
{
    const struct
    {
        const char *name;
        QList<std::pair<RunPhase, double>> budgets; // phase and U per point, in order
        int worst;
    } cases[] = {
        {"the largest verification U", {{RunPhase::AsFound, 0.05}, {RunPhase::AsLeft, 0.09}, {RunPhase::AsLeft, 0.07}}, 1},
        {"calibration does not count", {{RunPhase::Calibration, 0.5}, {RunPhase::AsLeft, 0.04}}, 1},
        {"unless it is all there is", {{RunPhase::Calibration, 0.1}, {RunPhase::Calibration, 0.2}}, 1},
        {"none", {}, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RunRecord run;
        int index = 0;
        for (const auto &[phase, u] : c.budgets) {
            run.points << point(phase, ++index, 50, 0.01, true);
            measured(run.points.last(), u, Conformity::Pass);
        }
        const RunPoint *worst = WorstBudgetPoint(run);
        EXPECT_EQ(worst, c.worst < 0 ? nullptr : &std::as_const(run.points)[c.worst]);
        const QStringList lines = RunPrinter::MetrologyLines(run);
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const QString &l) { return l.startsWith("budget of"); }),
                  c.worst < 0 ? 0 : 1);
    }
}
