#include "tools/run_printer.h"
#include "procedure/decision_rule.h"
#include "procedure/point_metrology.h"
#include <algorithm>
#include <cmath>

namespace RunPrinter {

namespace {

QString number(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

QString percent(const std::optional<double> &v, int decimals = 3)
{
    return v ? number(*v, decimals) + QLatin1Char('%') : QStringLiteral("-");
}

// U and u as the budget rounds them: their significant figures, not a fixed count of decimals.
QString significant(double v)
{
    return QString::number(v, 'g', 3);
}

QString dof(const std::optional<double> &v)
{
    return v && std::isfinite(*v) ? QString::number(*v, 'g', 4) : QStringLiteral("inf");
}

QString title(const std::optional<Conformity> &c)
{
    return c ? ConformityTitle(*c) : QStringLiteral("-");
}

QStringList budgetLines(const RunPoint &p)
{
    const UncertaintyBudget &b = *p.metrology.budget;
    QStringList lines{QStringLiteral("budget of %1 %2 (%3 %), the largest U:")
                          .arg(PhaseKey(p.phase))
                          .arg(p.index)
                          .arg(number(p.targetPercent, 1)),
                      QStringLiteral("  source\tdistribution\tu %\tdof")};
    for (const UncertaintyComponent &c : b.components)
        lines << QStringLiteral("  %1\t%2\t%3\t%4")
                     .arg(c.title.isEmpty() ? c.key : c.title, c.distribution, significant(c.standardPercent),
                          dof(c.degreesOfFreedom));
    lines << QStringLiteral("  combined\t\t%1\t%2").arg(significant(b.combinedPercent), dof(b.effectiveDegreesOfFreedom));
    lines << QStringLiteral("  k %1, p %2%, U %3%")
                 .arg(QString::number(b.coverageFactor, 'g', 4), QString::number(b.coverageProbability * 100.0, 'g', 4),
                      significant(b.expandedPercent));
    return lines;
}

} // namespace

QString PointVerdict(const RunPoint &point)
{
    return title(RecordedConformity(point));
}

QString PhaseVerdict(const RunRecord &run, RunPhase phase)
{
    const bool asFound = phase == RunPhase::AsFound;
    if (const std::optional<Conformity> &c = asFound ? run.metrology.asFound : run.metrology.asLeft)
        return ConformityTitle(*c);
    const std::optional<bool> &fit = asFound ? run.asFoundFit : run.asLeftFit;
    return fit ? ConformityTitle(*fit ? Conformity::Pass : Conformity::Fail) : QStringLiteral("-");
}

bool HasPointMetrology(const RunRecord &run)
{
    for (const RunPoint &p : run.points) {
        if (IsVerificationPoint(p) && !p.metrology.isEmpty())
            return true;
    }
    return false;
}

QString PointHeadings()
{
    return QStringLiteral("U\trepeatability\truns");
}

QString PointCells(const RunPoint &p)
{
    const PointMetrology &m = p.metrology;
    return QStringLiteral("%1\t%2\t%3")
        .arg(m.budget ? QStringLiteral("±") + significant(m.budget->expandedPercent) + QLatin1Char('%') : QStringLiteral("-"),
             percent(m.repeatabilityPercent), m.runs.isEmpty() ? QStringLiteral("-") : QString::number(m.runs.size()));
}

QStringList MetrologyLines(const RunRecord &run)
{
    const bool any = !run.metrology.isEmpty()
                     || std::any_of(run.points.begin(), run.points.end(),
                                    [](const RunPoint &p) { return !p.metrology.isEmpty(); });
    if (!any)
        return {};
    const RunMetrology &m = run.metrology;
    QStringList lines{QStringLiteral("decision rule: %1 (%2): %3")
                          .arg(DecisionRuleKey(m.rule), DecisionRuleTitle(m.rule), DecisionRuleStatement(m.rule))};
    for (const RunPoint &p : run.points) {
        if (!IsVerificationPoint(p) || RecordedConformity(p) != Conformity::Undetermined)
            continue;
        const std::optional<double> error = JudgedError(p);
        QString why = error && p.metrology.budget
                          ? UndeterminedExplanation(p.index, p.targetPercent, *error, p.metrology.budget->expandedPercent,
                                                    run.tolerancePercent)
                          : QString();
        lines << QStringLiteral("undetermined: %1 %2: %3")
                     .arg(PhaseKey(p.phase))
                     .arg(p.index)
                     .arg(why.isEmpty() ? ConformityTitle(Conformity::Undetermined) : why);
    }
    if (m.reference) {
        const ReferenceInstrument &r = *m.reference;
        lines << QStringLiteral("reference: %1, certificate %2, U %3 (k=%4), due %5")
                     .arg(r.name.isEmpty() ? QStringLiteral("-") : r.name,
                          r.certificate.isEmpty() ? QStringLiteral("-") : r.certificate,
                          r.expandedUncertaintyPercent ? significant(*r.expandedUncertaintyPercent) + QLatin1Char('%')
                                                       : QStringLiteral("-"),
                          QString::number(r.coverageFactor, 'g', 4),
                          r.dueDate.isValid() ? r.dueDate.toString(Qt::ISODate) : QStringLiteral("-"));
    }
    if (m.zeroCheck) {
        const ZeroCheckResult &z = *m.zeroCheck;
        QString line = QStringLiteral("zero check: mean %1 kg/h, sigma %2 kg/h, limit %3 kg/h, %4 s, %5 samples: %6")
                           .arg(number(z.meanKgH, 3), number(z.sigmaKgH, 3), number(z.limitKgH, 3), number(z.seconds, 1))
                           .arg(z.samples)
                           .arg(z.fits ? QStringLiteral("в допуске") : QStringLiteral("вне допуска"));
        if (!z.fits && z.stopsRun)
            line += QStringLiteral(", the run stopped");
        if (z.storedZeroNs) {
            line += QStringLiteral("; stored zero %1 ns").arg(number(*z.storedZeroNs, 3));
            if (z.tubeTemperature)
                line += QStringLiteral(" at %1 °C").arg(number(*z.tubeTemperature, 2));
        }
        lines << line;
    }
    if (const RunPoint *worst = WorstBudgetPoint(run))
        lines << budgetLines(*worst);
    return lines;
}

} // namespace RunPrinter
