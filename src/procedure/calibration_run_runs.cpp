// A flow point's interval in consecutive runs: each run's averages, the point made of
// them once they repeat, its budget and verdict; and the zero check at no flow.
#include "procedure/calibration_run_impl.h"
#include "procedure/point_metrology.h"
#include "procedure/verification_table.h"
#include <QLocale>

using namespace RunDetail;

namespace {
QString Percent(double v)
{
    return QLocale().toString(v, 'f', 3);
}
} // namespace

void TCalibrationRun::Impl::runTaken(double reference, int samples)
{
    RunPoint &p = point;
    PointRun run;
    run.referenceFlow = reference;
    run.meterFlow = avgFlow;
    run.deltaT = avgDeltaT;
    run.seconds = avgSeconds;
    // An error relative to no flow says nothing of the meter's repeating.
    if (p.targetFlow != 0.0) {
        const Verification::PointErrors e = Verification::ErrorsOf(float(reference), float(avgFlow), qMax);
        if (e.relative)
            run.relativeError = double(*e.relative);
    }
    run.openedUtc = runOpenedUtc;
    run.closedUtc = QDateTime::currentDateTimeUtc();
    p.metrology.runs << run;
    refSamplesTotal += samples;

    const int taken = int(p.metrology.runs.size());
    if (taken < runsWanted()) {
        openRun();
        return;
    }
    const std::optional<double> spread = RunsSpread(p.metrology.runs);
    const double limit =
        RepeatabilityLimitAt(opt.plan.repeatabilityLimitPercent, opt.plan.zeroStabilityPercent, double(qMax), reference);
    if (!spread || *spread <= limit) {
        finishPoint();
        return;
    }
    if (taken < opt.plan.maxRunsPerPoint) {
        qCInfo(lcRun) << "point" << p.index << "does not repeat:" << *spread << "% over" << taken << "runs";
        openRun();
        return;
    }
    retryOrPause(QStringLiteral("%1, точка %2: прогоны не повторяются — размах погрешности %3 % за %4 прогонов "
                                "при пределе %5 %")
                     .arg(PhaseTitle(p.phase))
                     .arg(p.index)
                     .arg(Percent(*spread))
                     .arg(taken)
                     .arg(Percent(limit)));
}

void TCalibrationRun::Impl::finishPoint()
{
    RunPoint &p = point;
    const PointRun pooled = PooledRuns(p.metrology.runs);
    const double reference = pooled.referenceFlow;
    p.referenceFlow = reference;
    p.meterFlow = pooled.meterFlow;
    p.deltaT = pooled.deltaT;
    p.averagingSeconds = pooled.seconds;
    p.referenceSamples = refSamplesTotal;
    p.metrology.repeatabilityPercent = RunsSpread(p.metrology.runs);
    const Verification::PointErrors e = Verification::ErrorsOf(float(reference), float(pooled.meterFlow), qMax);
    p.absoluteError = double(e.absolute);
    p.relativeError = e.relative ? std::optional<double>(double(*e.relative)) : std::nullopt;
    p.reducedError = e.reduced ? std::optional<double>(double(*e.reduced)) : std::nullopt;
    const bool judged = p.phase == RunPhase::AsFound || p.phase == RunPhase::AsLeft;
    if (judged)
        p.fits = Verification::PointFits(e, opt.plan.tolerancePercent);

    Plausibility::Point facts;
    facts.title = QStringLiteral("%1, точка %2").arg(PhaseTitle(p.phase)).arg(p.index);
    facts.targetFlow = p.targetFlow;
    facts.rigSetsFlow = rig.setsFlow();
    facts.beforeWrite = !tableSent;
    facts.reference = reference;
    facts.meterFlow = pooled.meterFlow;
    facts.meterSeconds = pooled.seconds;
    facts.openedSeconds = openedSeconds;
    facts.referenceReadings = refReadings;
    facts.referenceLow = refLow;
    facts.referenceHigh = refHigh;
    std::optional<Plausibility::Refusal> refused = Plausibility::CheckPoint(facts, plausibilityLimits());
    if (!refused && p.phase == RunPhase::Calibration) {
        QList<Plausibility::TablePoint> soFar = calibrationTable();
        soFar.append({p.targetPercent, reference, pooled.deltaT});
        refused = Plausibility::CheckTable(soFar, plausibilityLimits());
    }
    if (refused) {
        qCInfo(lcRun) << "point refused," << refused->rule << "attempt" << attempts << refused->message;
        retryOrPause(refused->message);
        return;
    }

    const RunRecord &r = q.m_record;
    // At no flow the reference reads its own noise: nothing to relate a budget to.
    if (p.targetFlow != 0.0) {
        p.metrology.budget = PointBudget({r.metrology.reference, p.metrology.runs, r.metrology.zeroCheck, reference,
                                          pooled.meterFlow});
    }
    if (judged) {
        p.metrology.conformity = PointConformity(r.metrology.rule, p, opt.plan.tolerancePercent, double(qMax));
        // Neither fit nor unfit: the record says so rather than either.
        if (p.metrology.conformity == Conformity::Undetermined)
            p.fits.reset();
    }
    const RunPhase phase = p.phase;
    if (phase == RunPhase::ZeroCheck && !keepZeroCheck(p))
        return;
    if (!keepPoint(p))
        return;
    // The as-found verdict (judged as its last point was kept) is stored at once.
    const bool asFoundDone = phase == RunPhase::AsFound && (current == points.size() || planned().phase != phase);
    if (asFoundDone && !keepHeader()) {
        enterPaused(storeFault(QStringLiteral("Заключение «как найден»")));
        return;
    }
    if (current == points.size())
        readAfter();
    else if (phase == RunPhase::Calibration && planned().phase != RunPhase::Calibration)
        tableDone();
    else
        startPoint();
}

bool TCalibrationRun::Impl::keepZeroCheck(const RunPoint &p)
{
    RunRecord &r = q.m_record;
    ZeroCheckResult z = ZeroCheckOf(p.metrology.runs, p.meterSigma, ofQMax(opt.plan.zeroStabilityPercent));
    z.stopsRun = opt.plan.zeroCheck == RunPlan::ZeroCheckMode::Stop;
    z.tubeTemperature = p.tubeTemperature;
    // The zero the meter subtracts now: its line at the tube's temperature.
    const TRegisterImage &image = dm.registerImage();
    const auto a = ImageFloat(image, RegisterSpace::Data, ZeroCoefficientsReg);
    const auto b = ImageFloat(image, RegisterSpace::Data, ZeroCoefficientsReg + 2);
    if (a && b && p.tubeTemperature)
        z.storedZeroNs = double(*a) + double(*b) * *p.tubeTemperature;
    r.metrology.zeroCheck = z;
    point.fits = z.fits;
    if (!keepHeader()) {
        enterPaused(storeFault(QStringLiteral("Проверка нуля")));
        return false;
    }
    if (z.fits || !z.stopsRun)
        return true;
    RunPoint kept = p;
    if (!keepPoint(kept))
        return false;
    end(RunEnd::Failed, QStringLiteral("Ноль прибора вне допуска: среднее %1 кг/ч, σ %2 кг/ч при пределе %3 кг/ч "
                                       "(%4 % от Q Max)")
                            .arg(QLocale().toString(z.meanKgH, 'f', 3), QLocale().toString(z.sigmaKgH, 'f', 3),
                                 QLocale().toString(z.limitKgH, 'f', 3),
                                 QLocale().toString(opt.plan.zeroStabilityPercent, 'g', 3)));
    return false;
}
