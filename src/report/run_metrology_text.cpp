#include "report/run_metrology_text.h"
#include "procedure/decision_rule.h"
#include "protocol/number_text.h"
#include "report/run_result_text.h"
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace RunResultText {

namespace {

QLocale plainLocale()
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
}

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

QString percentOfQMax(double percent)
{
    return FormatFloatPattern(percent, NumPattern::P0_hhh);
}

} // namespace

QString Significant(double value, int figures)
{
    if (!std::isfinite(value))
        return FormatFloatPattern(value, NumPattern::P0_000);
    int decimals = 0;
    if (value != 0.0)
        decimals = std::clamp(figures - 1 - int(std::floor(std::log10(std::abs(value)))), 0, 9);
    else
        decimals = std::max(figures - 1, 0);
    return plainLocale().toString(value, 'f', decimals);
}

QString DegreesOfFreedom(const std::optional<double> &dof)
{
    if (!dof || !std::isfinite(*dof))
        return QStringLiteral("∞");
    const bool whole = std::abs(*dof - std::round(*dof)) < 1e-9;
    return plainLocale().toString(*dof, 'f', whole ? 0 : 1);
}

QString CoverageFactor(double k)
{
    const bool whole = std::abs(k - std::round(k)) < 1e-9;
    return plainLocale().toString(k, 'f', whole ? 0 : 2);
}

bool HasMetrology(const RunRecord &run)
{
    return !run.metrology.isEmpty()
           || std::any_of(run.points.begin(), run.points.end(), [](const RunPoint &p) { return !p.metrology.isEmpty(); });
}

QString RuleStatement(const RunRecord &run)
{
    if (!HasMetrology(run))
        return {};
    return QStringLiteral("Правило принятия решения — %1. %2")
        .arg(DecisionRuleTitle(run.metrology.rule), DecisionRuleStatement(run.metrology.rule));
}

QString CoverageNote(const RunRecord &run)
{
    std::optional<double> kLow, kHigh, p;
    bool oneP = true;
    for (const RunPoint &point : run.points) {
        if (!IsVerificationPoint(point) || !point.metrology.budget)
            continue;
        const UncertaintyBudget &b = *point.metrology.budget;
        kLow = std::min(kLow.value_or(b.coverageFactor), b.coverageFactor);
        kHigh = std::max(kHigh.value_or(b.coverageFactor), b.coverageFactor);
        oneP = oneP && (!p || *p == b.coverageProbability);
        p = b.coverageProbability;
    }
    if (!kLow)
        return {};
    const QString low = CoverageFactor(*kLow), high = CoverageFactor(*kHigh);
    QString note = QStringLiteral("± U — расширенная неопределённость в % от измеренного значения при ");
    note += low == high ? QStringLiteral("k = %1").arg(low) : QStringLiteral("k от %1 до %2").arg(low, high);
    if (oneP)
        note += QStringLiteral(", p ≈ %1 %").arg(plainLocale().toString(*p * 100.0, 'g', 4));
    return note;
}

QStringList UndeterminedLines(const RunRecord &run)
{
    QStringList lines;
    for (const RunPoint &p : run.points) {
        if (!IsVerificationPoint(p) || RecordedConformity(p) != Conformity::Undetermined)
            continue;
        const std::optional<double> error = JudgedError(p);
        QString why;
        if (error && p.metrology.budget)
            why = UndeterminedExplanation(p.index, p.targetPercent, *error, p.metrology.budget->expandedPercent,
                                          run.tolerancePercent);
        // The record's verdict stands even where its numbers no longer show why.
        if (why.isEmpty())
            why = QStringLiteral("точка %1 (%2 %): %3")
                      .arg(p.index)
                      .arg(percentOfQMax(p.targetPercent), ConformityTitle(Conformity::Undetermined));
        lines << QStringLiteral("%1, %2").arg(capitalised(PhaseTitle(p.phase)), why);
    }
    return lines;
}

QStringList BudgetHeadings()
{
    return {QStringLiteral("Источник"), QStringLiteral("Распределение"), QStringLiteral("u, %"), QStringLiteral("ν")};
}

QString DistributionTitle(const QString &key)
{
    if (key == QLatin1String("normal"))
        return QStringLiteral("нормальное");
    if (key == QLatin1String("rectangular"))
        return QStringLiteral("равномерное");
    if (key == QLatin1String("triangular"))
        return QStringLiteral("треугольное");
    if (key == QLatin1String("t"))
        return QStringLiteral("Стьюдента");
    return key;
}

std::optional<BudgetTable> WorstBudget(const RunRecord &run)
{
    const RunPoint *p = WorstBudgetPoint(run);
    if (!p)
        return std::nullopt;
    const UncertaintyBudget &b = *p->metrology.budget;
    BudgetTable t;
    t.title = QStringLiteral("Бюджет неопределённости: %1, точка %2 (%3 % Q Max) — наибольшая U")
                  .arg(PhaseTitle(p->phase))
                  .arg(p->index)
                  .arg(percentOfQMax(p->targetPercent));
    for (const UncertaintyComponent &c : b.components)
        t.rows.append({c.title.isEmpty() ? c.key : c.title, DistributionTitle(c.distribution),
                       Significant(c.standardPercent, 2), DegreesOfFreedom(c.degreesOfFreedom)});
    t.rows.append({QStringLiteral("суммарная"), QString(), Significant(b.combinedPercent, 2),
                   DegreesOfFreedom(b.effectiveDegreesOfFreedom)});
    t.summary = QStringLiteral("u_c = %1 %, ν_eff = %2, k = %3, p = %4 %, U = %5 %")
                    .arg(Significant(b.combinedPercent, 2), DegreesOfFreedom(b.effectiveDegreesOfFreedom),
                         CoverageFactor(b.coverageFactor),
                         plainLocale().toString(b.coverageProbability * 100.0, 'g', 4),
                         Significant(b.expandedPercent, 2));
    return t;
}

QString ZeroCheckLine(const RunRecord &run)
{
    if (!run.metrology.zeroCheck)
        return {};
    const ZeroCheckResult &z = *run.metrology.zeroCheck;
    QString line = QStringLiteral("Ноль при отсутствии расхода: среднее %1 кг/ч, σ %2 кг/ч при пределе %3 кг/ч")
                       .arg(Fixed3(z.meanKgH), Fixed3(z.sigmaKgH), Fixed3(z.limitKgH));
    if (z.seconds > 0)
        line += QStringLiteral(" (%1 с)").arg(FormatFloatPattern(z.seconds, NumPattern::P0_hhh));
    line += z.fits ? QStringLiteral(" — в допуске") : QStringLiteral(" — вне допуска");
    if (!z.fits && z.stopsRun)
        line += QStringLiteral(", калибровка остановлена");
    if (z.storedZeroNs) {
        line += QStringLiteral("; ноль прибора %1 нс").arg(Fixed3(*z.storedZeroNs));
        if (z.tubeTemperature)
            line += QStringLiteral(" при %1 °C").arg(FormatFloatPattern(*z.tubeTemperature, NumPattern::P0_0hh));
    }
    return line;
}

} // namespace RunResultText
