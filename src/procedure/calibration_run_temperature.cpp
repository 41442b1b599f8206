// The points a run takes at a fluid temperature: the thermometer's, the zero's at no
// flow and their checks. Set the temperature (the rig or the operator), wait until the
// tube and the reference thermometer are stable and agree, then average both over the
// meter's own averaging interval.
#include "procedure/calibration_run_impl.h"
#include "protocol/protokol_usb.h"
#include <QLocale>

using namespace RunDetail;

namespace {
QString Celsius(double v)
{
    return QLocale().toString(v, 'f', 1);
}

double Mean(double sum, int n)
{
    return n > 0 ? sum / n : NAN;
}
} // namespace

// Both temperatures in the order that heats once: the thermometer and the zero at the
// first, then at the second, where each is written and checked at once; the flow
// phases follow at the second temperature.
void TCalibrationRun::Impl::planTemperatures()
{
    const RunPlan &plan = opt.plan;
    const double temperatures[] = {plan.lowTemperature, plan.highTemperature};
    for (int i = 0; i < 2; ++i) {
        const double t = temperatures[i];
        const bool last = i == 1;
        if (plan.thermometerPhase) {
            points.append({RunPhase::Thermometer, i + 1, 0.0, Step::Temperature, t});
            if (last) {
                points.append({RunPhase::ThermometerCheck, 1, 0.0, Step::WriteThermometer, temperatures[0]});
                points.append({RunPhase::ThermometerCheck, 2, 0.0, Step::Temperature, t});
            }
        }
        if (plan.zeroPhase) {
            points.append({RunPhase::Zero, i + 1, 0.0, Step::Temperature, t});
            if (last) {
                points.append({RunPhase::ZeroTemperatureCheck, 1, 0.0, Step::WriteZero, temperatures[0]});
                points.append({RunPhase::ZeroTemperatureCheck, 2, 0.0, Step::Temperature, t});
            }
        }
    }
}

void TCalibrationRun::Impl::startTemperaturePoint()
{
    const Planned &p = planned();
    point.temperature = PointTemperature{};
    point.temperature->setpoint = p.setpoint;
    stage = Stage::SetTemperature;
    emit q.pointStarted(p.phase, p.index, 0.0);
    if (stage != Stage::SetTemperature)
        return;
    const QString what = QStringLiteral("%1, точка %2: температура %3 °C").arg(PhaseTitle(p.phase)).arg(p.index).arg(Celsius(p.setpoint));
    if (rig.setsTemperature()) {
        if (!setState(RunState::Settling, what))
            return;
        // Heating or cooling and settling together, per attempt.
        settleTimer.start(clockMs(opt.plan.temperatureTimeoutSeconds));
        rig.setTemperature(p.setpoint);
    } else {
        const QString text = QStringLiteral("Установите температуру жидкости %1 °C").arg(Celsius(p.setpoint));
        if (setState(RunState::WaitingForOperator, text))
            emit q.operatorNeeded(OperatorRequest::SetTemperature, p.setpoint, text);
    }
}

void TCalibrationRun::Impl::temperatureSet()
{
    if (stage != Stage::SetTemperature)
        return;
    if (!atNoFlow()) {
        settleTemperature();
        return;
    }
    stage = Stage::ZeroFlow;
    if (rig.setsFlow()) {
        rig.setFlow(0.0);
    } else {
        const QString text = QStringLiteral("Закройте задвижки: расход через прибор должен быть 0");
        if (setState(RunState::WaitingForOperator, text))
            emit q.operatorNeeded(OperatorRequest::SetFlow, 0.0, text);
    }
}

void TCalibrationRun::Impl::settleTemperature()
{
    stage = Stage::Settle;
    if (!settleTimer.isActive())
        settleTimer.start(clockMs(opt.plan.temperatureTimeoutSeconds));
    if (!setState(RunState::Settling, QStringLiteral("установление температуры %1 °C").arg(Celsius(planned().setpoint))))
        return;
    sampleTimer.start(clockMs(opt.plan.samplePeriodSeconds));
    sample();
}

void TCalibrationRun::Impl::sampleTemperature()
{
    const bool sampling = stage == Stage::Settle || (stage == Stage::Avg && averagingOpen);
    if (!sampling)
        return;
    if (!meterPending) {
        meterPending = true;
        liveWritten = false;
        if (!send([this] { SendReadData(dm, TempLiveAddr, TempLiveCount); }))
            return;
    }
    // The flow's reference is read too at no flow: it shows the valves are shut.
    if ((rig.readsTemperature() || (atNoFlow() && rig.readsReference())) && !refPending) {
        refPending = true;
        rig.readReference();
    }
}

void TCalibrationRun::Impl::onTemperatureReading(const RigReading &r)
{
    // A rig whose thermometer gave nothing this time gives a value no rule accepts.
    const double t = r.referenceTemperature.value_or(NAN);
    if (stage == Stage::Settle) {
        refTempNow = t;
        referenceFlow = r.referenceFlow;
        rigFlow = r.rigFlow;
        haveRef = true;
        completeTemperatureSample();
    } else if (stage == Stage::Avg && averagingOpen && rig.readsTemperature()) {
        tsum.ref += t;
        ++tsum.refSamples;
        noteReference(t);
    }
}

void TCalibrationRun::Impl::onTemperatureRegisters()
{
    const TRegisterImage &image = dm.registerImage();
    meterPending = false;
    tubeNow = double(ImageFloat(image, RegisterSpace::Data, LiveTubeReg).value_or(NAN));
    adcNow = double(ImageFloat(image, RegisterSpace::Data, AdcReg).value_or(NAN));
    if (stage == Stage::Settle) {
        tubeTemperature = tubeNow;
        haveMeter = true;
        completeTemperatureSample();
    } else if (averagingOpen) {
        tsum.tube += tubeNow;
        tsum.adc += adcNow;
        ++tsum.meterSamples;
    }
}

void TCalibrationRun::Impl::completeTemperatureSample()
{
    const bool reference = rig.readsTemperature() || (atNoFlow() && rig.readsReference());
    if (!haveMeter || (reference && !haveRef))
        return;
    haveMeter = haveRef = false;
    const bool thermometer = rig.readsTemperature();
    const double now = simulatedSeconds(pointClock.elapsed());
    sampleTimes << now;
    tubeValues << tubeNow;
    if (thermometer)
        refTempValues << refTempNow;
    while (sampleTimes.size() > 1 && now - sampleTimes[1] >= opt.plan.stabilityWindowSeconds) {
        sampleTimes.removeFirst();
        tubeValues.removeFirst();
        if (!refTempValues.isEmpty())
            refTempValues.removeFirst();
    }
    const bool covered = sampleTimes.size() >= MinWindowSamples
                         && now - sampleTimes.first() >= opt.plan.stabilityWindowSeconds - opt.plan.samplePeriodSeconds;
    const int window = covered ? int(sampleTimes.size()) : int(sampleTimes.size()) + 1;
    const StabilityThresholds limits{opt.plan.temperatureSigma, opt.plan.temperatureDrift};
    tubeState = AssessStability(tubeValues, window, limits);
    refTempState = thermometer ? AssessStability(refTempValues, window, limits) : StabilityState{};
    const double tolerance = opt.plan.temperatureTolerance;
    const double setpoint = planned().setpoint;
    bool agree = std::abs(tubeNow - setpoint) <= tolerance;
    if (thermometer)
        agree = agree && std::abs(refTempNow - setpoint) <= tolerance && std::abs(tubeNow - refTempNow) <= tolerance;
    // At no flow the rig's own flow, or its reference, must read none.
    if (atNoFlow() && rig.readsReference())
        agree = agree && std::abs(rigFlow.value_or(referenceFlow)) <= ofQMax(opt.plan.flowTolerancePercent);
    emit q.temperatureSettling(setpoint, tubeNow, thermometer ? refTempNow : NAN, tubeState.sigma, refTempState.sigma);
    if (agree && tubeState.stable && (!thermometer || refTempState.stable)) {
        refReadings = 0;
        for (double v : std::as_const(refTempValues))
            noteReference(v);
        PointTemperature &t = *point.temperature;
        t.tubeSigma = tubeState.sigma;
        t.referenceSigma = refTempState.sigma;
        const double low = refLow, high = refHigh;
        const int readings = refReadings;
        beginAveraging(true);
        // The window's readings count with the interval's for the frozen-thermometer rule.
        refLow = low, refHigh = high, refReadings = readings;
    }
}

void TCalibrationRun::Impl::averagesTakenAtTemperature()
{
    if (!rig.readsTemperature()) {
        stage = Stage::OperatorRefTemperature;
        const QString text = QStringLiteral("Введите показание эталонного термометра за интервал усреднения, °C");
        if (setState(RunState::WaitingForOperator, text))
            emit q.operatorNeeded(OperatorRequest::EnterReferenceTemperature, 0.0, text);
        return;
    }
    if (tsum.refSamples == 0) {
        retryOrPause(QStringLiteral("Эталонный термометр не дал ни одного показания за интервал усреднения"));
        return;
    }
    finishTemperaturePoint(tsum.ref / tsum.refSamples);
}

void TCalibrationRun::Impl::finishTemperaturePoint(double reference)
{
    const Planned &plan = planned();
    RunPoint &p = point;
    PointTemperature &t = *p.temperature;
    t.referenceTemperature = reference;
    t.tubeTemperature = Mean(tsum.tube, tsum.meterSamples);
    t.adcCode = Mean(tsum.adc, tsum.meterSamples);
    p.meterFlow = avgFlow;
    p.deltaT = avgDeltaT;
    p.averagingSeconds = avgSeconds;
    p.referenceSamples = rig.readsTemperature() ? tsum.refSamples : 1;
    p.referenceFlow = referenceFlow;
    if (atNoFlow()) {
        // The meter averages Δt with its zero taken off: the raw Δt is that plus the zero
        // line at the tube temperature the meter reported meanwhile.
        const TRegisterImage &image = dm.registerImage();
        const double a = double(ImageFloat(image, RegisterSpace::Data, ZeroCoefficientsReg).value_or(NAN));
        const double b = double(ImageFloat(image, RegisterSpace::Data, ZeroCoefficientsReg + 2).value_or(NAN));
        t.deltaT = plan.phase == RunPhase::Zero ? avgDeltaT + a + b * t.tubeTemperature : avgDeltaT;
    }
    if (plan.phase == RunPhase::ThermometerCheck) {
        t.error = t.tubeTemperature - reference;
        t.fits = std::abs(*t.error) <= opt.plan.thermometerCheckTolerance;
    } else if (plan.phase == RunPhase::ZeroTemperatureCheck) {
        t.error = avgDeltaT;
        t.fits = std::abs(avgDeltaT) <= opt.plan.zeroLimitNs;
    }

    Plausibility::TemperaturePoint facts;
    facts.title = QStringLiteral("%1, точка %2").arg(PhaseTitle(plan.phase)).arg(plan.index);
    facts.setpoint = plan.setpoint;
    facts.rigSetsTemperature = rig.setsTemperature();
    facts.reference = reference;
    facts.tube = t.tubeTemperature;
    facts.meterSamples = tsum.meterSamples;
    facts.referenceReadings = rig.readsTemperature() ? refReadings : 0;
    facts.referenceLow = refLow;
    facts.referenceHigh = refHigh;
    facts.meterSeconds = avgSeconds;
    facts.openedSeconds = openedSeconds;
    facts.tolerance = opt.plan.temperatureTolerance;
    if (const auto refused = Plausibility::CheckTemperature(facts)) {
        qCInfo(lcRun) << "temperature point refused," << refused->rule << "attempt" << attempts << refused->message;
        retryOrPause(refused->message);
        return;
    }
    if (!keepPoint(p))
        return;
    if (plan.phase == RunPhase::ThermometerCheck || plan.phase == RunPhase::ZeroTemperatureCheck) {
        TwoPointAdjustment &a = adjustmentOf(plan.phase == RunPhase::ThermometerCheck ? CalibrationArea::Thermometer
                                                                                      : CalibrationArea::Zero);
        bool fits = true;
        for (const RunPoint &c : q.m_record.pointsOf(plan.phase))
            fits = fits && c.temperature && c.temperature->fits.value_or(false);
        a.checkFits = fits;
        if (!keepHeader()) {
            enterPaused(storeFault(QStringLiteral("Проверка «%1»").arg(PhaseTitle(plan.phase))));
            return;
        }
    }
    if (current == points.size())
        readAfter();
    else
        startPoint();
}

// Kept in the store and the record, and the run moves past it; false (paused) when the
// store refused it, and the point is taken again on resume.
bool TCalibrationRun::Impl::keepPoint(RunPoint &p)
{
    p.takenUtc = QDateTime::currentDateTimeUtc();
    if (!records.store().addRunPoint(q.m_record.id, p)) {
        enterPaused(storeFault(QStringLiteral("%1, точка %2").arg(PhaseTitle(p.phase)).arg(p.index)));
        return false;
    }
    q.m_record.points.append(p);
    attempts = 1;
    ++current;
    stage = Stage::None;
    // A phase's verdict as soon as its last point is in, whatever comes after.
    if (p.phase == RunPhase::AsFound && (current == points.size() || planned().phase != p.phase))
        judgePhase(RunPhase::AsFound);
    emit q.pointTaken(q.m_record.points.last());
    emit q.progress(int(q.m_record.points.size()), int(points.size()));
    point = RunPoint{};
    return stage == Stage::None;
}
