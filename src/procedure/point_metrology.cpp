#include "procedure/point_metrology.h"
#include "procedure/decision_rule.h"
#include "procedure/uncertainty.h"
#include <algorithm>
#include <cmath>
#include <limits>

std::optional<double> RunsSpread(const QList<PointRun> &runs)
{
    QList<double> errors;
    for (const PointRun &r : runs)
        if (r.relativeError && std::isfinite(*r.relativeError))
            errors << *r.relativeError;
    if (errors.size() < 2)
        return std::nullopt;
    const auto [lo, hi] = std::minmax_element(errors.begin(), errors.end());
    return *hi - *lo;
}

double RepeatabilityLimitAt(double limitPercent, double zeroStabilityPercent, double qMax, double flow)
{
    if (!(std::abs(flow) > 0) || !std::isfinite(flow))
        return limitPercent;
    return std::max(limitPercent, zeroStabilityPercent * qMax / std::abs(flow));
}

PointRun PooledRuns(const QList<PointRun> &runs)
{
    PointRun p;
    if (runs.isEmpty())
        return p;
    for (const PointRun &r : runs) {
        p.referenceFlow += r.referenceFlow;
        p.meterFlow += r.meterFlow;
        p.deltaT += r.deltaT;
        p.seconds += r.seconds;
    }
    const double n = double(runs.size());
    p.referenceFlow /= n;
    p.meterFlow /= n;
    p.deltaT /= n;
    p.openedUtc = runs.first().openedUtc;
    p.closedUtc = runs.last().closedUtc;
    return p;
}

std::optional<UncertaintyBudget> PointBudget(const BudgetSources &s)
{
    if (!std::isfinite(s.referenceFlow) || s.referenceFlow == 0)
        return std::nullopt;
    QList<UncertaintyComponent> components;
    const auto add = [&](const std::optional<UncertaintyComponent> &c) {
        if (c)
            components << *c;
    };
    if (s.reference)
        add(ReferenceComponent(*s.reference));
    add(RepeatabilityComponent(s.runs));
    // The rig's flow moving from one run to the next, as the reference saw it.
    if (s.runs.size() >= 2) {
        QList<double> means;
        for (const PointRun &r : s.runs)
            means << r.referenceFlow;
        add(FlowChangeComponent(means));
    }
    if (s.zero)
        add(ZeroComponent(s.zero->sigmaKgH, s.zero->meanKgH, s.referenceFlow));
    // The meter reports a single-precision float: its last digit is one step of it.
    const float reported = float(s.meterFlow);
    if (std::isfinite(reported) && reported != 0.0f) {
        const float next = std::nextafter(reported, std::numeric_limits<float>::infinity());
        add(ResolutionComponent(double(next) - double(reported), double(reported)));
    }
    if (components.isEmpty())
        return std::nullopt;
    return Combine(components);
}

std::optional<Conformity> PointConformity(DecisionRule rule, const RunPoint &point, double tolerancePercent,
                                          double qMax)
{
    if (rule == DecisionRule::Simple || !point.metrology.budget) {
        if (!point.fits)
            return std::nullopt;
        return *point.fits ? Conformity::Pass : Conformity::Fail;
    }
    double expanded = point.metrology.budget->expandedPercent;
    double error = 0;
    if (point.relativeError) {
        error = *point.relativeError;
    } else if (point.reducedError && qMax > 0) {
        error = *point.reducedError;
        expanded = expanded * std::abs(point.referenceFlow) / qMax;
    } else {
        return std::nullopt;
    }
    return Judge(rule, error, expanded, tolerancePercent);
}

std::optional<Conformity> PhaseConformity(const QList<RunPoint> &points)
{
    bool judged = false, fail = false, undetermined = false;
    for (const RunPoint &p : points) {
        if (const std::optional<Conformity> c = p.metrology.conformity) {
            judged = true;
            fail = fail || *c == Conformity::Fail;
            undetermined = undetermined || *c == Conformity::Undetermined;
        }
    }
    if (!judged)
        return std::nullopt;
    return fail ? Conformity::Fail : undetermined ? Conformity::Undetermined : Conformity::Pass;
}

bool IsVerificationPoint(const RunPoint &p)
{
    return p.phase == RunPhase::AsFound || p.phase == RunPhase::AsLeft;
}

std::optional<Conformity> RecordedConformity(const RunPoint &p)
{
    if (p.metrology.conformity)
        return p.metrology.conformity;
    if (p.fits)
        return *p.fits ? Conformity::Pass : Conformity::Fail;
    return std::nullopt;
}

std::optional<double> JudgedError(const RunPoint &p)
{
    const bool zero = p.targetPercent == 0.0;
    if (p.relativeError && !(zero && p.reducedError))
        return p.relativeError;
    return p.reducedError;
}

const RunPoint *WorstBudgetPoint(const RunRecord &run)
{
    const RunPoint *worst = nullptr;
    for (bool verificationOnly : {true, false}) {
        for (const RunPoint &p : run.points) {
            if (!p.metrology.budget || (verificationOnly && !IsVerificationPoint(p)))
                continue;
            if (!worst || p.metrology.budget->expandedPercent > worst->metrology.budget->expandedPercent)
                worst = &p;
        }
        if (worst)
            return worst;
    }
    return nullptr;
}

ZeroCheckResult ZeroCheckOf(const QList<PointRun> &runs, double liveSigmaKgH, double limitKgH)
{
    ZeroCheckResult z;
    const PointRun pooled = PooledRuns(runs);
    z.meanKgH = pooled.meterFlow;
    z.seconds = pooled.seconds;
    z.samples = int(runs.size());
    z.limitKgH = limitKgH;
    if (runs.size() >= 2) {
        double squares = 0;
        for (const PointRun &r : runs)
            squares += (r.meterFlow - pooled.meterFlow) * (r.meterFlow - pooled.meterFlow);
        z.sigmaKgH = std::sqrt(squares / double(runs.size() - 1));
    } else {
        z.sigmaKgH = liveSigmaKgH;
    }
    z.fits = !runs.isEmpty() && std::abs(z.meanKgH) <= limitKgH && z.sigmaKgH <= limitKgH;
    return z;
}
