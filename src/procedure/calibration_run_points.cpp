#include "procedure/calibration_run_impl.h"
#include "procedure/verification_table.h"
#include "protocol/protokol_usb.h"
#include <QLocale>

using namespace RunDetail;

void TCalibrationRun::Impl::startPoint()
{
    stopPoint(false);
    if (pauseRequested) {
        pauseRequested = false;
        enterPaused(QStringLiteral("Прогон приостановлен"));
        return;
    }
    const Planned &p = planned();
    if (p.step == Step::WriteThermometer || p.step == Step::WriteZero) {
        startTwoPointWrite(p.step == Step::WriteThermometer ? CalibrationArea::Thermometer : CalibrationArea::Zero);
        return;
    }
    const double target = p.step == Step::Flow ? ofQMax(p.percent) : 0.0;
    if (attempts == 1 || !point.startedUtc.isValid())
        point = RunPoint{};
    // A retaken point starts its runs afresh.
    point.metrology = {};
    point.phase = p.phase;
    point.index = p.index;
    point.targetPercent = p.percent;
    point.targetFlow = target;
    point.attempts = attempts;
    if (!point.startedUtc.isValid())
        point.startedUtc = QDateTime::currentDateTimeUtc();
    meterValues.clear();
    referenceValues.clear();
    sampleTimes.clear();
    rigFlow.reset();
    tubeValues.clear();
    refTempValues.clear();
    pointClock.start();
    if (p.step == Step::Temperature) {
        startTemperaturePoint();
        return;
    }
    stage = Stage::SetFlow;
    emit q.pointStarted(p.phase, p.index, target);
    if (stage != Stage::SetFlow)
        return;
    if (rig.setsFlow()) {
        if (!setState(RunState::Settling, QStringLiteral("%1, точка %2: расход %3 кг/ч")
                                              .arg(PhaseTitle(p.phase))
                                              .arg(p.index)
                                              .arg(Kg(target))))
            return;
        settleTimer.start(clockMs(opt.plan.settleTimeoutSeconds));
        rig.setFlow(target);
    } else {
        const QString text = QStringLiteral("Установите расход %1 кг/ч").arg(Kg(target));
        if (setState(RunState::WaitingForOperator, text))
            emit q.operatorNeeded(OperatorRequest::SetFlow, target, text);
    }
}

void TCalibrationRun::Impl::flowSet()
{
    if (stage == Stage::ZeroFlow) {
        settleTemperature();
        return;
    }
    if (stage != Stage::SetFlow)
        return;
    stage = Stage::Settle;
    if (opt.fixedSettleSeconds) {
        settleTimer.start(clockMs(*opt.fixedSettleSeconds));
        setState(RunState::Settling);
        return;
    }
    if (!settleTimer.isActive())
        settleTimer.start(clockMs(opt.plan.settleTimeoutSeconds));
    if (!setState(RunState::Settling))
        return;
    sampleTimer.start(clockMs(opt.plan.samplePeriodSeconds));
    sample();
}

void TCalibrationRun::Impl::sample()
{
    if (temperaturePoint()) {
        sampleTemperature();
        return;
    }
    if (stage == Stage::Settle && !meterPending) {
        meterPending = true;
        liveWritten = false;
        if (!send([this] { SendReadData(dm, LiveAddr, LiveCount); }))
            return;
    }
    if ((stage == Stage::Settle || (stage == Stage::Avg && averagingOpen)) && rig.readsReference() && !refPending) {
        refPending = true;
        rig.readReference();
    }
}

void TCalibrationRun::Impl::onReading(const RigReading &r)
{
    if (!refPending)
        return;
    refPending = false;
    if (dropNextReading) {
        dropNextReading = false;
        return;
    }
    if (temperaturePoint()) {
        onTemperatureReading(r);
        return;
    }
    if (stage == Stage::Settle) {
        referenceFlow = r.referenceFlow;
        rigFlow = r.rigFlow;
        haveRef = true;
        completeSample();
    } else if (stage == Stage::Avg && averagingOpen) {
        refSum += r.referenceFlow;
        ++refCount;
        noteReference(r.referenceFlow);
    }
}

void TCalibrationRun::Impl::onRegistersTaken(int space, int first, int count)
{
    if (space != int(RegisterSpace::Data))
        return;
    const TRegisterImage &image = dm.registerImage();
    if (temperaturePoint() && (stage == Stage::Settle || stage == Stage::Avg) && meterPending && liveWritten
        && Covers(first, count, TempLiveAddr, TempLiveCount)) {
        onTemperatureRegisters();
        return;
    }
    if (stage == Stage::Settle && meterPending && liveWritten && Covers(first, count, LiveFlowReg, 2)
        && Covers(first, count, LiveDeltaTReg, 2)) {
        meterPending = false;
        meterFlow = double(ImageFloat(image, RegisterSpace::Data, LiveFlowReg).value_or(NAN));
        if (const std::optional<float> t = ImageFloat(image, RegisterSpace::Data, LiveTubeReg))
            tubeTemperature = double(*t);
        if (const std::optional<float> d = ImageFloat(image, RegisterSpace::Data, LiveDensityReg); d && *d > 0)
            fluidDensity = double(*d);
        haveMeter = true;
        completeSample();
    } else if (stage == Stage::AvgRead && averagesWritten && Covers(first, count, AveragesAddr, AveragesCount)) {
        settleTimer.stop();
        avgDeltaT = double(ImageFloat(image, RegisterSpace::Data, AvgDeltaTReg).value_or(NAN));
        avgSeconds = double(ImageFloat(image, RegisterSpace::Data, AvgSecondsReg).value_or(NAN));
        avgFlow = double(ImageFloat(image, RegisterSpace::Data, AvgFlowReg).value_or(NAN));
        averagesTaken();
    }
}

void TCalibrationRun::Impl::completeSample()
{
    const bool reference = rig.readsReference();
    if (!haveMeter || (reference && !haveRef))
        return;
    haveMeter = haveRef = false;
    // The window is a time: a link slower than the plan's sample period gives fewer
    // samples over it, never a longer wait.
    const double now = simulatedSeconds(pointClock.elapsed());
    const double windowSeconds = opt.plan.stabilityWindowSeconds;
    sampleTimes << now;
    meterValues << meterFlow;
    if (reference)
        referenceValues << referenceFlow;
    while (sampleTimes.size() > 1 && now - sampleTimes[1] >= windowSeconds) {
        sampleTimes.removeFirst();
        meterValues.removeFirst();
        if (!referenceValues.isEmpty())
            referenceValues.removeFirst();
    }
    const bool covered = sampleTimes.size() >= MinWindowSamples
                         && now - sampleTimes.first() >= windowSeconds - opt.plan.samplePeriodSeconds;
    const int window = covered ? int(sampleTimes.size()) : int(sampleTimes.size()) + 1;
    const StabilityThresholds limits{ofQMax(opt.plan.stabilitySigmaPercent), ofQMax(opt.plan.stabilityDriftPercent)};
    meterState = AssessStability(meterValues, window, limits);
    bool flowOk = true;
    if (reference) {
        referenceState = AssessStability(referenceValues, window, limits);
        const double running = rigFlow.value_or(referenceFlow);
        flowOk = std::abs(running - point.targetFlow) <= ofQMax(opt.plan.flowTolerancePercent);
    } else {
        referenceState = {};
    }
    emit q.settling(meterFlow, reference ? referenceFlow : NAN, meterState.sigma, referenceState.sigma);
    if (flowOk && meterState.stable && (!reference || referenceState.stable))
        beginAveraging(true);
}

void TCalibrationRun::Impl::settleTimedOut()
{
    if (stage == Stage::AvgRead) {
        if (attempts < 2) {
            ++attempts;
            startPoint();
        } else {
            enterPaused(QStringLiteral("Прибор не ответил на чтение средних за интервал усреднения"));
        }
        return;
    }
    if (stage != Stage::SetFlow && stage != Stage::Settle)
        return;
    if (opt.fixedSettleSeconds && stage == Stage::Settle) {
        beginAveraging(true);
        return;
    }
    const Planned &p = planned();
    const QString why =
        p.step == Step::Temperature
            ? QStringLiteral("%1, точка %2: температура %3 °C не установилась за %4 с")
                  .arg(PhaseTitle(p.phase))
                  .arg(p.index)
                  .arg(QLocale().toString(p.setpoint, 'f', 1))
                  .arg(opt.plan.temperatureTimeoutSeconds)
            : QStringLiteral("%1, точка %2: расход не установился за две попытки по %3 с")
                  .arg(PhaseTitle(p.phase))
                  .arg(p.index)
                  .arg(opt.plan.settleTimeoutSeconds);
    if (attempts >= 2 && opt.acceptUnsettled)
        beginAveraging(false);
    else
        retryOrPause(why);
}

void TCalibrationRun::Impl::beginAveraging(bool settled)
{
    settleTimer.stop();
    point.settled = settled;
    point.attempts = attempts;
    point.settleSeconds = simulatedSeconds(pointClock.elapsed());
    point.meterSigma = meterState.sigma;
    point.meterDrift = meterState.drift;
    point.referenceSigma = referenceState.sigma;
    point.referenceDrift = referenceState.drift;
    point.tubeTemperature = tubeTemperature;
    point.density = fluidDensity;
    // A live read or a reading still on its way belongs to the settling.
    meterPending = haveMeter = haveRef = false;
    dropNextReading = refPending;
    refReadings = 0;
    for (double v : std::as_const(referenceValues))
        noteReference(v);
    openedSeconds = 0;
    refSamplesTotal = 0;
    tsum = {};
    openRun();
}

void TCalibrationRun::Impl::openRun()
{
    averagingOpen = false;
    refSum = 0;
    refCount = 0;
    stage = Stage::AvgStart;
    // Which run of the point this is, where a point has more than one.
    const int next = int(point.metrology.runs.size()) + 1;
    QString text;
    if (runsWanted() > 1 && next <= runsWanted())
        text = QStringLiteral("прогон %1 из %2").arg(next).arg(runsWanted());
    else if (runsWanted() > 1)
        text = QStringLiteral("дополнительный прогон %1 из не более %2").arg(next).arg(opt.plan.maxRunsPerPoint);
    if (!setState(RunState::Averaging, text))
        return;
    send([this] {
        SendWriteWord(dm, Proto::CommandRegister, Proto::CmdAverageReset);
        SendWriteWord(dm, Proto::CommandRegister, Proto::CmdAverageStart);
    });
}

void TCalibrationRun::Impl::onFrameWritten(const QByteArray &frame, bool isRead)
{
    static const QByteArray live = Proto::readFrame(Proto::FnReadData, LiveAddr, LiveCount);
    static const QByteArray temperatureLive = Proto::readFrame(Proto::FnReadData, TempLiveAddr, TempLiveCount);
    static const QByteArray averages = Proto::readFrame(Proto::FnReadData, AveragesAddr, AveragesCount);
    static const QByteArray start = Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdAverageStart);
    static const QByteArray stop = Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdAverageStop);
    static const QByteArray recalc = Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdRecalculate);
    if (isRead) {
        if ((frame == live || frame == temperatureLive) && meterPending)
            liveWritten = true;
        else if (frame == averages && stage == Stage::AvgRead)
            averagesWritten = true;
        return;
    }
    if (frame == start && stage == Stage::AvgStart) {
        stage = Stage::Avg;
        averagingOpen = true;
        intervalClock.start();
        runOpenedUtc = QDateTime::currentDateTimeUtc();
        averagingTimer.start(clockMs(runSeconds()));
        // The meter averages every cycle; the reference is read as often, so that the
        // flow's own wander cancels out of the two means. A temperature moves slowly.
        const double period = temperaturePoint() ? opt.plan.samplePeriodSeconds
                                                 : std::min(opt.plan.samplePeriodSeconds, ReferenceAveragingPeriod);
        sampleTimer.start(clockMs(period));
        sample();
    } else if (frame == stop && stage == Stage::AvgStop) {
        averagingOpen = false;
        openedSeconds += simulatedSeconds(intervalClock.elapsed());
        sampleTimer.stop();
        stage = Stage::AvgRead;
        averagesWritten = false;
        // An answer lost on the line must not hold the run: the point is taken again.
        if (send([this] { SendReadData(dm, AveragesAddr, AveragesCount); }) && stage == Stage::AvgRead)
            settleTimer.start(TCalibrationReader::DefaultAnswerTimeoutMs);
    } else if (frame == recalc && stage == Stage::Recalc) {
        stage = Stage::ReadCoefficients;
        reader.start({CalibrationArea::Coefficients});
    }
}

void TCalibrationRun::Impl::averagingElapsed()
{
    if (stage != Stage::Avg)
        return;
    stage = Stage::AvgStop;
    send([this] { SendWriteWord(dm, Proto::CommandRegister, Proto::CmdAverageStop); });
}

void TCalibrationRun::Impl::averagesTaken()
{
    if (temperaturePoint()) {
        averagesTakenAtTemperature();
        return;
    }
    if (!rig.readsReference()) {
        stage = Stage::OperatorRef;
        const QString text = QStringLiteral("Введите показание эталона за интервал усреднения, кг/ч");
        if (setState(RunState::WaitingForOperator, text))
            emit q.operatorNeeded(OperatorRequest::EnterReference, point.targetFlow, text);
        return;
    }
    if (refCount == 0) {
        // No reference over the interval: the point is taken again.
        retryOrPause(QStringLiteral("Эталон не дал ни одного показания за интервал усреднения"));
        return;
    }
    runTaken(refSum / refCount, refCount);
}

void TCalibrationRun::Impl::noteReference(double value)
{
    refLow = refReadings == 0 ? value : std::min(refLow, value);
    refHigh = refReadings == 0 ? value : std::max(refHigh, value);
    ++refReadings;
}

Plausibility::Limits TCalibrationRun::Impl::plausibilityLimits() const
{
    return {double(qMax), opt.plan.flowTolerancePercent, opt.plan.maxAsFoundErrorPercent};
}

QList<Plausibility::TablePoint> TCalibrationRun::Impl::calibrationTable() const
{
    QList<Plausibility::TablePoint> t;
    for (const RunPoint &p : q.m_record.pointsOf(RunPhase::Calibration))
        t.append({p.targetPercent, p.referenceFlow, p.deltaT});
    return t;
}

void TCalibrationRun::Impl::retryOrPause(const QString &reason)
{
    if (attempts < 2) {
        ++attempts;
        qCInfo(lcRun) << "point" << planned().index << "taken again, attempt" << attempts << reason;
        startPoint();
    } else {
        enterPaused(reason);
    }
}

void TCalibrationRun::Impl::stopPoint(bool stopAveraging)
{
    sampleTimer.stop();
    settleTimer.stop();
    averagingTimer.stop();
    const bool running = stage == Stage::AvgStart || stage == Stage::Avg;
    meterPending = liveWritten = haveMeter = haveRef = false;
    dropNextReading = refPending;
    averagingOpen = averagesWritten = false;
    if (stopAveraging && running && dm.isPortOpen())
        dm.sendUnderRecoveryRule([this] { SendWriteWord(dm, Proto::CommandRegister, Proto::CmdAverageStop); }, false);
}

void TCalibrationRun::Impl::enterPaused(const QString &reason)
{
    stopPoint(true);
    stage = Stage::Paused;
    if (setState(RunState::Paused, reason))
        emit q.paused(reason);
}
