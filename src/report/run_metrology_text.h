#pragma once
// The texts of a run's metrology where its result is shown: the decision rule, why a
// point is undetermined, the largest budget, the zero at no flow. Each is empty for a
// record that has none, so an older run's result reads as it always did. No widgets.
#include "records/run_record.h"
#include <QStringList>

namespace RunResultText {

// A number to n significant figures in the locale's form, trailing zeros kept, no
// thousands separator: (0.057, 2) → "0,057", (0.1, 2) → "0,10", (12.34, 3) → "12,3".
QString Significant(double value, int figures);
// Degrees of freedom: "∞" for none, whole numbers without decimals, else one decimal.
QString DegreesOfFreedom(const std::optional<double> &dof);
// "2" for a whole k, else two decimals ("2,11").
QString CoverageFactor(double k);

// The run's record carries metrology (a rule, a reference, a budget or a verdict under a rule).
bool HasMetrology(const RunRecord &run);

// "Правило принятия решения — с защитной полосой. Соответствие установлено …"; empty
// for a record without metrology.
QString RuleStatement(const RunRecord &run);
// The note under a table with "± U": k and p stated once ("k = 2, p ≈ 95,45 %"), or
// their range when the points differ; empty when no point has a budget.
QString CoverageNote(const RunRecord &run);
// One line per undetermined verification point: its phase and why the rule left it open.
QStringList UndeterminedLines(const RunRecord &run);


struct BudgetTable
{
    QString title;            // "Бюджет неопределённости: как оставлен, точка 3 (50 % Q Max)"
    QList<QStringList> rows;  // under BudgetHeadings(): each source, then the combined
    QString summary;          // "u_c = 0,045 %, ν_eff = 24,3, k = 2,11, p = 95,45 %, U = 0,095 %"
};
QStringList BudgetHeadings();
// The worst point's budget; none when no point has one.
std::optional<BudgetTable> WorstBudget(const RunRecord &run);
// "нормальное", "равномерное", "Стьюдента"; an unknown name as it is.
QString DistributionTitle(const QString &key);

// "Ноль при отсутствии расхода: среднее 0,012 кг/ч, σ 0,034 кг/ч при пределе 0,500 кг/ч
// (60 с) — в допуске; ноль прибора 12,345 нс при 20,1 °C"; empty without a zero check.
QString ZeroCheckLine(const RunRecord &run);

} // namespace RunResultText
