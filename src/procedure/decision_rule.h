#pragma once
// A verification point's verdict under the run's decision rule. Simple acceptance
// looks at the error alone; the guarded rule (ILAC-G8, guard band w = U) passes a
// point only when its whole interval lies inside the tolerance, fails it only when
// the whole interval lies outside, and leaves the rest undetermined.
#include "records/run_metrology.h"
#include <QString>

// All in percent of the reading. Limits are compared at 1e-9 of the tolerance, so a
// point that sits on the limit in decimals (0.1 + 0.2 against 0.3) is on it. A
// non-finite error is a fail; a negative U counts as none.
Conformity Judge(DecisionRule rule, double errorPercent, double expandedPercent, double tolerancePercent);

// Why a guarded point is undetermined, in the run's words and numbers:
// "точка 3 (50 %): |−0,15| + 0,08 = 0,23 % > 0,2 % (на 0,03 %), но |−0,15| − 0,08 =
// 0,07 % ≤ 0,2 % — не определено". Empty for a point that is not undetermined.
QString UndeterminedExplanation(int pointNumber, double flowPercent, double errorPercent, double expandedPercent,
                                double tolerancePercent);

// The rule in one sentence, for a certificate.
QString DecisionRuleStatement(DecisionRule rule);
