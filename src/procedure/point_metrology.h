#pragma once
// What a flow point's runs say about it: their repeatability, the point's
// uncertainty budget and its verdict under the run's decision rule; and the zero
// check made of the runs at no flow.
#include "records/run_record.h"
#include <QList>
#include <optional>

// max − min of the runs' relative errors (%); none with fewer than two errors.
std::optional<double> RunsSpread(const QList<PointRun> &runs);

// The spread the runs may have at a flow (kg/h): the plan's limit (% of reading) or, at
// low flows, the meter's zero stability (% of Q Max) relative to the flow, whichever is
// larger — the way a mass flowmeter's repeatability is specified.
double RepeatabilityLimitAt(double limitPercent, double zeroStabilityPercent, double qMax, double flow);

// The runs' means, the meter's seconds summed: the point as one interval.
PointRun PooledRuns(const QList<PointRun> &runs);

struct BudgetSources
{
    std::optional<ReferenceInstrument> reference;
    QList<PointRun> runs;
    std::optional<ZeroCheckResult> zero;
    double referenceFlow = 0; // kg/h, the point's mean
    double meterFlow = 0;     // kg/h, as the meter reported it
};
// The budget of the point's relative error from what is known of each source; none
// at no flow (nothing to relate it to) or when no source could be stated.
std::optional<UncertaintyBudget> PointBudget(const BudgetSources &sources);

// The verdict of a judged point. The simple rule keeps the point's own verdict (the
// verification grid's, to its three decimals); the guarded one puts U around the
// error the verdict is on, the relative one or, where none, the reduced one (U then
// scaled to Q Max). None for a point that has neither error.
std::optional<Conformity> PointConformity(DecisionRule rule, const RunPoint &point, double tolerancePercent,
                                          double qMax);
// A phase: not fit if any point is not, undetermined if any is, else fit; none
// without a judged point.
std::optional<Conformity> PhaseConformity(const QList<RunPoint> &points);

// What a kept record says, for every face alike.
bool IsVerificationPoint(const RunPoint &point); // as found or as left
// The point's verdict: its conformity where the run judged one (an older record has
// none), else its fit.
std::optional<Conformity> RecordedConformity(const RunPoint &point);
// The error a verdict is on: the relative one, the reduced one at a 0 % set point or
// where there is no relative one.
std::optional<double> JudgedError(const RunPoint &point);
// The verification point with the largest U, else any point with the largest; none
// without a budget.
const RunPoint *WorstBudgetPoint(const RunRecord &run);

// The zero check's figures from its runs: the meter's mean flow, and the σ of the
// runs' means (the zero's wander from one averaging to the next); with a single
// run, the σ of the live readings it settled on.
ZeroCheckResult ZeroCheckOf(const QList<PointRun> &runs, double liveSigmaKgH, double limitKgH);
