#include "procedure/calibration_run.h"
#include "link/dm1.h"
#include "procedure/stability.h"
#include "procedure/verification_table.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_reader.h"
#include "records/calibration_records.h"
#include "records/calibration_restorer.h"
#include "rig/rig.h"
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QTimer>
#include <bit>
#include <cmath>
#include <functional>

Q_LOGGING_CATEGORY(lcRun, "kestro.run", QtWarningMsg)

namespace {
// The calibration window's live reads: mass flow at data 2, Δt at 14; the meter's
// own averages: Δt at 44, the averaging time at 46, the mass flow at 48.
constexpr quint16 LiveAddr = 2, LiveCount = 14;
constexpr quint16 LiveFlowReg = 2, LiveDeltaTReg = 14;
constexpr quint16 AveragesAddr = 44, AveragesCount = 6;
constexpr quint16 AvgDeltaTReg = 44, AvgSecondsReg = 46, AvgFlowReg = 48;
constexpr int ReconnectTryMs = 500;
// The seven writes with their pauses and the table's read-back, with room for a slow line.
constexpr int TableCheckMs = 15000;

std::optional<float> ImageFloat(const TRegisterImage &image, RegisterSpace space, int reg)
{
    const auto raw = image.range(space, reg, 2);
    if (!raw)
        return std::nullopt;
    return std::bit_cast<float>(quint32((*raw)[0]) | quint32((*raw)[1]) << 16);
}

std::optional<std::array<float, 4>> ImageCoefficients(const TRegisterImage &image)
{
    std::array<float, 4> c{};
    for (int i = 0; i < 4; ++i) {
        const auto v = ImageFloat(image, RegisterSpace::Data, FlowTable::CoefficientsRegister + 2 * i);
        if (!v)
            return std::nullopt;
        c[size_t(i)] = *v;
    }
    return c;
}

bool Covers(int first, int count, int addr, int n)
{
    return first <= addr && addr + n <= first + count;
}

QString Kg(double v)
{
    return QString::number(v, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
}
} // namespace

QString RunStateTitle(RunState state)
{
    switch (state) {
    case RunState::Idle: return QStringLiteral("не начата");
    case RunState::Preparing: return QStringLiteral("подготовка");
    case RunState::Settling: return QStringLiteral("установление расхода");
    case RunState::Averaging: return QStringLiteral("усреднение");
    case RunState::WaitingForOperator: return QStringLiteral("ожидание оператора");
    case RunState::AwaitingWrite: return QStringLiteral("таблица готова к записи");
    case RunState::Writing: return QStringLiteral("запись таблицы");
    case RunState::Paused: return QStringLiteral("пауза");
    case RunState::WaitingForMeter: return QStringLiteral("ожидание связи с прибором");
    case RunState::Restoring: return QStringLiteral("восстановление");
    case RunState::Finished: return QStringLiteral("завершена");
    }
    return {};
}

struct TCalibrationRun::Impl
{
    // Where the run is within its state: what the next event is awaited for.
    enum class Stage {
        None,
        ReadBefore,
        OpenRig,
        SetFlow,      // the rig or the operator is setting the flow
        Settle,       // sampling until settled
        AvgStart,     // 37 and 38 queued; the interval opens when 38 leaves
        Avg,          // the interval runs
        AvgStop,      // 39 queued
        AvgRead,      // the meter's averages asked for
        OperatorRef,  // the operator types the reference
        Paused,
        AwaitConfirm,
        WriteRead,    // a fresh read of the table before it is overwritten
        WriteFrames,  // seven writes and the read-back check
        Recalc,       // command 24
        ReadCoefficients,
        ReadAfter,
        WaitLink,     // the meter's port is lost; resumeStage is taken up when it returns
        Restoring,
        Done,
    };
    struct Planned
    {
        RunPhase phase;
        int index;
        double percent;
    };

    Impl(TCalibrationRun &run, TDM_1 &dm, TCalibrationRecords &records, TRig &rig)
        : q(run), dm(dm), records(records), rig(rig), reader(dm)
    {
    }

    TCalibrationRun &q;
    TDM_1 &dm;
    TCalibrationRecords &records;
    TRig &rig;
    RunOptions opt;
    TCalibrationReader reader;
    std::unique_ptr<TCalibrationRestorer> restorer;
    QTimer sampleTimer, settleTimer, averagingTimer, reconnectTimer, tableCheckTimer;
    QElapsedTimer pointClock, waitingClock;

    Stage stage = Stage::None;
    Stage resumeStage = Stage::None; // what a returning link takes up again
    QList<Planned> points;
    qsizetype current = 0;
    int attempts = 1;
    float qMax = 0;
    bool pauseRequested = false;
    bool abortRequested = false;
    QString abortReason;
    bool tableSent = false;

    // The point in progress.
    RunPoint point;
    QList<double> meterValues, referenceValues;
    double meterFlow = 0, referenceFlow = 0;
    std::optional<double> rigFlow;
    bool meterPending = false, liveWritten = false, haveMeter = false;
    bool refPending = false, dropNextReading = false, haveRef = false;
    StabilityState meterState, referenceState;
    bool averagingOpen = false, averagesWritten = false;
    double refSum = 0;
    int refCount = 0;
    double avgDeltaT = 0, avgFlow = 0, avgSeconds = 0;

    std::optional<FlowTableSave::Values> table;
    qint64 writeSnapshotId = 0;

    // Clock milliseconds of a time of the plan.
    int clockMs(double simulatedSeconds) const
    {
        return int(std::max(1.0, std::round(simulatedSeconds * 1000.0 / std::max(opt.timeScale, 1e-6))));
    }
    double simulatedSeconds(qint64 clockMs) const { return double(clockMs) / 1000.0 * opt.timeScale; }
    double ofQMax(double percent) const { return percent * double(qMax) / 100.0; }
    const Planned &planned() const { return points[current]; }
    bool inPoint() const
    {
        return stage == Stage::SetFlow || stage == Stage::Settle || stage == Stage::AvgStart || stage == Stage::Avg
               || stage == Stage::AvgStop || stage == Stage::AvgRead || stage == Stage::OperatorRef;
    }
    bool writing() const
    {
        return stage == Stage::WriteRead || stage == Stage::WriteFrames || stage == Stage::Recalc
               || stage == Stage::ReadCoefficients;
    }

    // False when a slot of the face moved the run on (paused, aborted) meanwhile.
    bool setState(RunState state, const QString &text = QString())
    {
        const Stage before = stage;
        q.m_state = state;
        emit q.stateChanged(state, text.isEmpty() ? RunStateTitle(state) : text);
        return stage == before;
    }

    // Sends under the link's rule; false (and the link's loss taken up) when it did not go.
    bool send(const std::function<void()> &frames)
    {
        const Stage before = stage;
        if (dm.sendUnderRecoveryRule(frames))
            return true;
        if (stage == before)
            linkLost();
        return false;
    }

    // ---- preparing ----------------------------------------------------------------

    void start(const RunOptions &options)
    {
        opt = options;
        q.m_record = {};
        points.clear();
        current = 0;
        attempts = 1;
        pauseRequested = abortRequested = tableSent = false;
        table.reset();
        writeSnapshotId = 0;
        QString why;
        if (!RunPlanFile::Check(opt.plan, &why)) {
            end(RunEnd::Failed, QStringLiteral("План прогона не годится: %1").arg(why));
            return;
        }
        if (opt.plan.calibrationPercent.size() != FlowTable::Points) {
            end(RunEnd::Failed, QStringLiteral("В плане должно быть %1 точек калибровки").arg(FlowTable::Points));
            return;
        }
        const auto add = [this](RunPhase phase, const QList<double> &percents) {
            for (qsizetype i = 0; i < percents.size(); ++i)
                points.append({phase, int(i + 1), percents[i]});
        };
        add(RunPhase::AsFound, opt.plan.verificationPercent);
        add(RunPhase::Calibration, opt.plan.calibrationPercent);
        add(RunPhase::AsLeft, opt.plan.verificationPercent);

        RunRecord &r = q.m_record;
        r.meterSerial = opt.meterSerial;
        r.operatorName = opt.operatorName;
        r.workstation = QSysInfo::machineHostName();
        r.programVersion = QStringLiteral(KESTRO_VERSION);
        r.rigKind = rig.kind();
        r.rigSettings = rig.settings();
        r.plan = RunPlanFile::ToJson(opt.plan);
        r.tolerancePercent = opt.plan.tolerancePercent;
        r.startedUtc = QDateTime::currentDateTimeUtc();
        readBefore();
    }

    void readBefore()
    {
        stage = Stage::ReadBefore;
        if (!setState(RunState::Preparing, QStringLiteral("чтение калибровки прибора")))
            return;
        if (!dm.isPortOpen()) {
            linkLost();
            return;
        }
        reader.start(AllCalibrationAreas());
    }

    void beforeRead()
    {
        RunRecord &r = q.m_record;
        const Snapshot before = reader.snapshot(SnapshotReason::BeforeRun, QStringLiteral("перед прогоном калибровки"));
        r.snapshotBeforeId = records.keep(before);
        qMax = ImageFloat(dm.registerImage(), RegisterSpace::Params, FlowTable::TableRegister).value_or(0.0f);
        r.qMax = qMax;
        r.coefficientsBefore = ImageCoefficients(dm.registerImage());
        if (r.id == 0 && !records.store().beginRun(r)) {
            end(RunEnd::Failed, QStringLiteral("Запись прогона не начата: %1").arg(records.store().lastError()));
            return;
        }
        if (r.snapshotBeforeId == 0) {
            // Without the way back nothing is written.
            end(RunEnd::Failed, QStringLiteral("Снимок калибровки перед прогоном не сохранён: %1")
                                    .arg(records.store().lastError()));
            return;
        }
        if (!(qMax > 0.0f) || !std::isfinite(qMax)) {
            end(RunEnd::Failed, QStringLiteral("Q Max прибора %1: точки прогона не из чего получить").arg(double(qMax)));
            return;
        }
        records.store().updateRun(r);
        if (!rig.isOpen()) {
            stage = Stage::OpenRig;
            if (setState(RunState::Preparing, QStringLiteral("подключение стенда")))
                rig.open();
            return;
        }
        startPoint();
    }

    // ---- a point ------------------------------------------------------------------

    void startPoint()
    {
        stopPoint(false);
        if (pauseRequested) {
            pauseRequested = false;
            enterPaused(QStringLiteral("Прогон приостановлен"));
            return;
        }
        const Planned &p = planned();
        const double target = ofQMax(p.percent);
        if (attempts == 1 || !point.startedUtc.isValid())
            point = RunPoint{};
        point.phase = p.phase;
        point.index = p.index;
        point.targetPercent = p.percent;
        point.targetFlow = target;
        point.attempts = attempts;
        if (!point.startedUtc.isValid())
            point.startedUtc = QDateTime::currentDateTimeUtc();
        meterValues.clear();
        referenceValues.clear();
        rigFlow.reset();
        pointClock.start();
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

    void flowSet()
    {
        if (stage != Stage::SetFlow)
            return;
        if (!settleTimer.isActive())
            settleTimer.start(clockMs(opt.plan.settleTimeoutSeconds));
        stage = Stage::Settle;
        if (!setState(RunState::Settling))
            return;
        sampleTimer.start(clockMs(opt.plan.samplePeriodSeconds));
        sample();
    }

    void sample()
    {
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

    void onReading(const RigReading &r)
    {
        if (!refPending)
            return;
        refPending = false;
        if (dropNextReading) {
            dropNextReading = false;
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
        }
    }

    void onRegistersTaken(int space, int first, int count)
    {
        if (space != int(RegisterSpace::Data))
            return;
        const TRegisterImage &image = dm.registerImage();
        if (stage == Stage::Settle && meterPending && liveWritten && Covers(first, count, LiveFlowReg, 2)
            && Covers(first, count, LiveDeltaTReg, 2)) {
            meterPending = false;
            meterFlow = double(ImageFloat(image, RegisterSpace::Data, LiveFlowReg).value_or(NAN));
            haveMeter = true;
            completeSample();
        } else if (stage == Stage::AvgRead && averagesWritten && Covers(first, count, AveragesAddr, AveragesCount)) {
            avgDeltaT = double(ImageFloat(image, RegisterSpace::Data, AvgDeltaTReg).value_or(NAN));
            avgSeconds = double(ImageFloat(image, RegisterSpace::Data, AvgSecondsReg).value_or(NAN));
            avgFlow = double(ImageFloat(image, RegisterSpace::Data, AvgFlowReg).value_or(NAN));
            averagesTaken();
        }
    }

    void completeSample()
    {
        const bool reference = rig.readsReference();
        if (!haveMeter || (reference && !haveRef))
            return;
        haveMeter = haveRef = false;
        const int window = std::max(2, int(std::lround(opt.plan.stabilityWindowSeconds / opt.plan.samplePeriodSeconds)));
        const StabilityThresholds limits{ofQMax(opt.plan.stabilitySigmaPercent), ofQMax(opt.plan.stabilityDriftPercent)};
        meterValues << meterFlow;
        if (meterValues.size() > window)
            meterValues.removeFirst();
        meterState = AssessStability(meterValues, window, limits);
        bool flowOk = true;
        if (reference) {
            referenceValues << referenceFlow;
            if (referenceValues.size() > window)
                referenceValues.removeFirst();
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

    void settleTimedOut()
    {
        if (stage != Stage::SetFlow && stage != Stage::Settle)
            return;
        if (attempts < 2) {
            ++attempts;
            qCInfo(lcRun) << "point" << planned().index << "not settled, attempt" << attempts;
            startPoint();
        } else if (opt.acceptUnsettled) {
            beginAveraging(false);
        } else {
            const Planned &p = planned();
            enterPaused(QStringLiteral("%1, точка %2: расход не установился за две попытки по %3 с")
                            .arg(PhaseTitle(p.phase))
                            .arg(p.index)
                            .arg(opt.plan.settleTimeoutSeconds));
        }
    }

    void beginAveraging(bool settled)
    {
        settleTimer.stop();
        point.settled = settled;
        point.attempts = attempts;
        point.settleSeconds = simulatedSeconds(pointClock.elapsed());
        point.meterSigma = meterState.sigma;
        point.meterDrift = meterState.drift;
        point.referenceSigma = referenceState.sigma;
        point.referenceDrift = referenceState.drift;
        // A live read or a reading still on its way belongs to the settling.
        meterPending = haveMeter = haveRef = false;
        dropNextReading = refPending;
        averagingOpen = false;
        refSum = 0;
        refCount = 0;
        stage = Stage::AvgStart;
        if (!setState(RunState::Averaging))
            return;
        send([this] {
            SendWriteWord(dm, Proto::CommandRegister, Proto::CmdAverageReset);
            SendWriteWord(dm, Proto::CommandRegister, Proto::CmdAverageStart);
        });
    }

    void onFrameWritten(const QByteArray &frame, bool isRead)
    {
        static const QByteArray live = Proto::readFrame(Proto::FnReadData, LiveAddr, LiveCount);
        static const QByteArray averages = Proto::readFrame(Proto::FnReadData, AveragesAddr, AveragesCount);
        static const QByteArray start = Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdAverageStart);
        static const QByteArray stop = Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdAverageStop);
        static const QByteArray recalc = Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdRecalculate);
        if (isRead) {
            if (frame == live && meterPending)
                liveWritten = true;
            else if (frame == averages && stage == Stage::AvgRead)
                averagesWritten = true;
            return;
        }
        if (frame == start && stage == Stage::AvgStart) {
            stage = Stage::Avg;
            averagingOpen = true;
            averagingTimer.start(clockMs(opt.plan.averagingSeconds));
            sample();
        } else if (frame == stop && stage == Stage::AvgStop) {
            averagingOpen = false;
            sampleTimer.stop();
            stage = Stage::AvgRead;
            averagesWritten = false;
            send([this] { SendReadData(dm, AveragesAddr, AveragesCount); });
        } else if (frame == recalc && stage == Stage::Recalc) {
            stage = Stage::ReadCoefficients;
            reader.start({CalibrationArea::Coefficients});
        }
    }

    void averagingElapsed()
    {
        if (stage != Stage::Avg)
            return;
        stage = Stage::AvgStop;
        send([this] { SendWriteWord(dm, Proto::CommandRegister, Proto::CmdAverageStop); });
    }

    void averagesTaken()
    {
        if (!rig.readsReference()) {
            stage = Stage::OperatorRef;
            const QString text = QStringLiteral("Введите показание эталона за интервал усреднения, кг/ч");
            if (setState(RunState::WaitingForOperator, text))
                emit q.operatorNeeded(OperatorRequest::EnterReference, point.targetFlow, text);
            return;
        }
        if (refCount == 0) {
            // No reference over the interval: the point is taken again.
            if (attempts < 2) {
                ++attempts;
                startPoint();
            } else {
                enterPaused(QStringLiteral("Эталон не дал ни одного показания за интервал усреднения"));
            }
            return;
        }
        finishPoint(refSum / refCount, refCount);
    }

    void finishPoint(double reference, int samples)
    {
        RunPoint &p = point;
        p.referenceFlow = reference;
        p.meterFlow = avgFlow;
        p.deltaT = avgDeltaT;
        p.averagingSeconds = avgSeconds;
        p.referenceSamples = samples;
        const Verification::PointErrors e = Verification::ErrorsOf(float(reference), float(avgFlow), qMax);
        p.absoluteError = double(e.absolute);
        p.relativeError = e.relative ? std::optional<double>(double(*e.relative)) : std::nullopt;
        p.reducedError = e.reduced ? std::optional<double>(double(*e.reduced)) : std::nullopt;
        if (p.phase != RunPhase::Calibration)
            p.fits = Verification::PointFits(e, opt.plan.tolerancePercent);
        p.takenUtc = QDateTime::currentDateTimeUtc();
        if (!records.store().addRunPoint(q.m_record.id, p))
            qCWarning(lcRun) << "point not stored:" << records.store().lastError();
        q.m_record.points.append(p);
        const RunPhase phase = p.phase;
        attempts = 1;
        ++current;
        stage = Stage::None;
        emit q.pointTaken(q.m_record.points.last());
        emit q.progress(int(q.m_record.points.size()), int(points.size()));
        point = RunPoint{};
        if (stage != Stage::None)
            return;
        if (current == points.size())
            readAfter();
        else if (phase == RunPhase::Calibration && planned().phase != RunPhase::Calibration)
            tableDone();
        else
            startPoint();
    }

    // Stops what the point has going; an interval the meter runs is stopped too.
    void stopPoint(bool stopAveraging)
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

    void enterPaused(const QString &reason)
    {
        stopPoint(true);
        stage = Stage::Paused;
        if (setState(RunState::Paused, reason))
            emit q.paused(reason);
    }

    // ---- the table ----------------------------------------------------------------

    void tableDone()
    {
        FlowTableSave::Values v{};
        v[FlowTable::QMaxIndex] = qMax;
        int n = 0;
        for (const RunPoint &p : q.m_record.pointsOf(RunPhase::Calibration)) {
            ++n;
            v[size_t(FlowTable::etalonIndex(n))] = float(p.referenceFlow);
            v[size_t(FlowTable::priborIndex(n))] = float(p.deltaT);
        }
        table = v;
        stage = Stage::AwaitConfirm;
        if (!setState(RunState::AwaitingWrite))
            return;
        emit q.tableReady(v);
        if (opt.writeWithoutConfirmation && stage == Stage::AwaitConfirm)
            startWrite();
    }

    void startWrite()
    {
        stage = Stage::WriteRead;
        if (!setState(RunState::Writing, QStringLiteral("чтение таблицы перед записью")))
            return;
        if (!dm.isPortOpen()) {
            linkLost();
            return;
        }
        reader.start({CalibrationArea::FlowTable, CalibrationArea::Coefficients});
    }

    void writeTable()
    {
        writeSnapshotId = records.keepBefore(SnapshotReason::BeforeFlowSave, {CalibrationArea::FlowTable});
        stage = Stage::WriteFrames;
        if (!setState(RunState::Writing))
            return;
        tableSent = true;
        if (send([this] {
                FlowTableSave::Send(dm, *table);
                FlowTableSave::ExpectReadBack(&records, writeSnapshotId, *table);
                dm.sendFrame(FlowTableSave::ReadBackFrame(), FrameKind::CountedRead);
            }))
            tableCheckTimer.start(TableCheckMs);
    }

    void onReadBackChecked(qint64 snapshotId, CalibrationArea area, bool matched)
    {
        if (stage != Stage::WriteFrames || area != CalibrationArea::FlowTable || snapshotId != writeSnapshotId)
            return;
        tableCheckTimer.stop();
        if (!matched) {
            end(RunEnd::Failed, QStringLiteral("Прибор не принял таблицу: он хранит не то, что записано"));
            return;
        }
        records.keepBefore(SnapshotReason::BeforeRecalculation, {CalibrationArea::FlowTable, CalibrationArea::Coefficients});
        stage = Stage::Recalc;
        send([this] { SendWriteWord(dm, Proto::CommandRegister, Proto::CmdRecalculate); });
    }

    void coefficientsRead()
    {
        RunRecord &r = q.m_record;
        r.coefficientsAfter = ImageCoefficients(dm.registerImage());
        r.writtenTable = *table;
        records.store().updateRun(r);
        stage = Stage::None;
        if (abortRequested) {
            end(RunEnd::Aborted, abortReason);
            return;
        }
        if (current == points.size())
            readAfter();
        else
            startPoint();
    }

    // ---- the end ------------------------------------------------------------------

    void readAfter()
    {
        stage = Stage::ReadAfter;
        if (!setState(RunState::Preparing, QStringLiteral("чтение калибровки после прогона")))
            return;
        if (!dm.isPortOpen()) {
            linkLost();
            return;
        }
        reader.start(AllCalibrationAreas());
    }

    void afterRead()
    {
        RunRecord &r = q.m_record;
        r.snapshotAfterId =
            records.keep(reader.snapshot(SnapshotReason::AfterRun, QStringLiteral("после прогона калибровки")));
        const auto verdict = [&r](RunPhase phase, std::optional<bool> &fit, std::optional<double> &maxError) {
            const QList<RunPoint> taken = r.pointsOf(phase);
            if (taken.isEmpty())
                return;
            bool all = true;
            double worst = 0;
            for (const RunPoint &p : taken) {
                all = all && p.fits.value_or(false);
                if (const auto e = p.relativeError ? p.relativeError : p.reducedError)
                    worst = std::max(worst, std::abs(*e));
            }
            fit = all;
            maxError = worst;
        };
        verdict(RunPhase::AsFound, r.asFoundFit, r.asFoundMaxError);
        verdict(RunPhase::AsLeft, r.asLeftFit, r.asLeftMaxError);
        end(RunEnd::Completed, QString());
    }

    void end(RunEnd how, const QString &reason)
    {
        stopPoint(true);
        reader.cancel();
        reconnectTimer.stop();
        tableCheckTimer.stop();
        stage = Stage::Done;
        RunRecord &r = q.m_record;
        r.end = how;
        r.endReason = reason;
        r.endedUtc = QDateTime::currentDateTimeUtc();
        if (r.id != 0 && !records.store().updateRun(r))
            qCWarning(lcRun) << "run end not stored:" << records.store().lastError();
        if (how != RunEnd::Completed)
            qCInfo(lcRun) << "run ended" << EndKey(how) << reason;
        setState(RunState::Finished, reason.isEmpty() ? EndTitle(how) : EndTitle(how) + QStringLiteral(": ") + reason);
        emit q.finished(r);
    }

    // ---- the link -----------------------------------------------------------------

    void linkLost()
    {
        if (stage == Stage::None || stage == Stage::Done || stage == Stage::Paused || stage == Stage::AwaitConfirm
            || stage == Stage::OpenRig || stage == Stage::Restoring || stage == Stage::WaitLink)
            return;
        if (inPoint())
            resumeStage = Stage::SetFlow;
        else if (writing())
            resumeStage = Stage::WriteRead;
        else
            resumeStage = stage;
        stopPoint(false);
        reader.cancel();
        tableCheckTimer.stop();
        stage = Stage::WaitLink;
        waitingClock.start();
        if (!setState(RunState::WaitingForMeter))
            return;
        reconnectTimer.start();
        QMetaObject::invokeMethod(&q, [this] { tryReconnect(); }, Qt::QueuedConnection);
    }

    void tryReconnect()
    {
        if (stage != Stage::WaitLink)
            return;
        if (!dm.isPortOpen())
            dm.applyRecoveryRule();
        if (dm.isPortOpen()) {
            reconnectTimer.stop();
            qCInfo(lcRun) << "meter back after" << waitingClock.elapsed() << "ms";
            switch (resumeStage) {
            case Stage::ReadBefore: readBefore(); break;
            case Stage::WriteRead: startWrite(); break;
            case Stage::ReadAfter: readAfter(); break;
            default: startPoint(); break;
            }
        } else if (waitingClock.elapsed() >= opt.reconnectMs) {
            end(RunEnd::Failed, QStringLiteral("Связь с прибором не восстановилась за %1 с").arg(opt.reconnectMs / 1000.0));
        }
    }

    void onReaderFinished()
    {
        switch (stage) {
        case Stage::ReadBefore: beforeRead(); break;
        case Stage::WriteRead: writeTable(); break;
        case Stage::ReadCoefficients: coefficientsRead(); break;
        case Stage::ReadAfter: afterRead(); break;
        default: break;
        }
    }

    void onReaderFailed(const QString &message)
    {
        if (stage != Stage::ReadBefore && !writing() && stage != Stage::ReadAfter)
            return;
        if (!dm.isPortOpen()) {
            linkLost();
            return;
        }
        end(RunEnd::Failed, message);
    }

    void onRigFailed(const QString &message)
    {
        if (stage == Stage::OpenRig)
            end(RunEnd::Failed, QStringLiteral("Стенд не подключён: %1").arg(message));
        else if (inPoint())
            enterPaused(QStringLiteral("Стенд: %1").arg(message));
        else
            qCWarning(lcRun) << "rig:" << message;
    }
};

TCalibrationRun::TCalibrationRun(TDM_1 &dm, TCalibrationRecords &records, TRig &rig, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>(*this, dm, records, rig))
{
    d->sampleTimer.setTimerType(Qt::PreciseTimer);
    d->settleTimer.setSingleShot(true);
    d->averagingTimer.setSingleShot(true);
    d->averagingTimer.setTimerType(Qt::PreciseTimer);
    d->tableCheckTimer.setSingleShot(true);
    d->reconnectTimer.setInterval(ReconnectTryMs);
    connect(&d->sampleTimer, &QTimer::timeout, this, [this] { d->sample(); });
    connect(&d->settleTimer, &QTimer::timeout, this, [this] { d->settleTimedOut(); });
    connect(&d->averagingTimer, &QTimer::timeout, this, [this] { d->averagingElapsed(); });
    connect(&d->reconnectTimer, &QTimer::timeout, this, [this] { d->tryReconnect(); });
    connect(&d->tableCheckTimer, &QTimer::timeout, this, [this] {
        if (d->stage == Impl::Stage::WriteFrames)
            d->end(RunEnd::Failed, QStringLiteral("Прибор не ответил на чтение записанной таблицы"));
    });
    connect(&d->reader, &TCalibrationReader::finished, this, [this] { d->onReaderFinished(); });
    connect(&d->reader, &TCalibrationReader::failed, this, [this](const QString &m) { d->onReaderFailed(m); });
    connect(&dm.pacer(), &TransmitPacer::frameWritten, this,
            [this](const QByteArray &frame, bool isRead) { d->onFrameWritten(frame, isRead); });
    connect(&dm, &TDM_1::registersTaken, this, [this](int space, int first, int count) { d->onRegistersTaken(space, first, count); });
    connect(&dm, &TDM_1::portClosedSignal, this, [this] { d->linkLost(); });
    connect(&records, &TCalibrationRecords::readBackChecked, this,
            [this](qint64 id, CalibrationArea area, bool matched) { d->onReadBackChecked(id, area, matched); });
    connect(&rig, &TRig::opened, this, [this] {
        if (d->stage == Impl::Stage::OpenRig)
            d->startPoint();
    });
    connect(&rig, &TRig::flowSet, this, [this] { d->flowSet(); });
    connect(&rig, &TRig::reading, this, [this](const RigReading &r) { d->onReading(r); });
    connect(&rig, &TRig::failed, this, [this](const QString &m) { d->onRigFailed(m); });
}

TCalibrationRun::~TCalibrationRun() = default;

void TCalibrationRun::start(const RunOptions &options)
{
    if (m_state != RunState::Idle && m_state != RunState::Finished)
        return;
    d->start(options);
}

void TCalibrationRun::pause()
{
    if (d->inPoint())
        d->enterPaused(QStringLiteral("Прогон приостановлен"));
    else if (m_state != RunState::Finished && m_state != RunState::Idle && m_state != RunState::Paused)
        d->pauseRequested = true; // taken up when the next point starts
}

void TCalibrationRun::resume()
{
    if (d->stage != Impl::Stage::Paused)
        return;
    d->attempts = 1;
    d->point.startedUtc = {};
    if (!d->dm.isPortOpen()) {
        d->stage = Impl::Stage::SetFlow;
        d->linkLost();
        return;
    }
    d->startPoint();
}

void TCalibrationRun::abort(const QString &reason)
{
    const QString why = reason.isEmpty() ? QStringLiteral("прервана оператором") : reason;
    if (m_state == RunState::Idle || m_state == RunState::Finished || m_state == RunState::Restoring)
        return;
    if (d->writing()) {
        // The table goes in whole and is recalculated; the run ends right after.
        d->abortRequested = true;
        d->abortReason = why;
        return;
    }
    d->end(RunEnd::Aborted, why);
}

void TCalibrationRun::retakePoint()
{
    if (!d->inPoint() && d->stage != Impl::Stage::Paused)
        return;
    d->stopPoint(true);
    d->point.startedUtc = {};
    d->startPoint();
}

void TCalibrationRun::confirmTableWrite()
{
    if (d->stage == Impl::Stage::AwaitConfirm)
        d->startWrite();
}

void TCalibrationRun::operatorFlowSet()
{
    if (d->stage == Impl::Stage::SetFlow && !d->rig.setsFlow())
        d->flowSet();
}

void TCalibrationRun::operatorReference(double kgPerHour)
{
    if (d->stage == Impl::Stage::OperatorRef)
        d->finishPoint(kgPerHour, 1);
}

bool TCalibrationRun::canRestoreBefore() const
{
    return m_state == RunState::Finished && d->tableSent && m_record.end != RunEnd::Completed
           && m_record.snapshotBeforeId != 0;
}

void TCalibrationRun::restoreBefore()
{
    if (!canRestoreBefore())
        return;
    const std::optional<Snapshot> before = d->records.store().get(m_record.snapshotBeforeId);
    if (!before) {
        emit restoreFinished(false, QStringLiteral("Снимок №%1 не прочитан: %2")
                                        .arg(m_record.snapshotBeforeId)
                                        .arg(d->records.store().lastError()));
        return;
    }
    d->restorer = std::make_unique<TCalibrationRestorer>(d->dm, d->records.store());
    d->restorer->setReconnectMs(d->opt.reconnectMs);
    connect(d->restorer.get(), &TCalibrationRestorer::stageChanged, this,
            [this](const QString &text) { emit stateChanged(RunState::Restoring, text); });
    connect(d->restorer.get(), &TCalibrationRestorer::finished, this, [this](const RestoreOutcome &outcome) {
        d->stage = Impl::Stage::Done;
        d->setState(RunState::Finished, outcome.message);
        emit restoreFinished(outcome.restored, outcome.message);
    });
    d->stage = Impl::Stage::Restoring;
    d->setState(RunState::Restoring);
    d->restorer->start(*before, WritableCalibrationAreas());
}

std::optional<FlowTableSave::Values> TCalibrationRun::table() const
{
    return d->table;
}
