#include "procedure/calibration_run_impl.h"
#include "link/meter_ownership.h"
#include "procedure/reference_check.h"
#include "protocol/protokol_usb.h"
#include <QSysInfo>

Q_LOGGING_CATEGORY(lcRun, "kestro.run", QtWarningMsg)

using namespace RunDetail;

QString RunStateTitle(RunState state)
{
    switch (state) {
    case RunState::Idle: return QStringLiteral("не начата");
    case RunState::Preparing: return QStringLiteral("подготовка");
    case RunState::Settling: return QStringLiteral("установление расхода или температуры");
    case RunState::Averaging: return QStringLiteral("усреднение");
    case RunState::WaitingForOperator: return QStringLiteral("ожидание оператора");
    case RunState::AwaitingWrite: return QStringLiteral("готово к записи в прибор");
    case RunState::Writing: return QStringLiteral("запись в прибор");
    case RunState::Paused: return QStringLiteral("пауза");
    case RunState::WaitingForMeter: return QStringLiteral("ожидание связи с прибором");
    case RunState::Restoring: return QStringLiteral("восстановление");
    case RunState::StoppingRig: return QStringLiteral("остановка стенда");
    case RunState::Finished: return QStringLiteral("завершена");
    }
    return {};
}

bool TCalibrationRun::Impl::setState(RunState state, const QString &text)
{
    const Stage before = stage;
    q.m_state = state;
    emit q.stateChanged(state, text.isEmpty() ? RunStateTitle(state) : text);
    return stage == before;
}

bool TCalibrationRun::Impl::send(const std::function<void()> &frames)
{
    const Stage before = stage;
    if (dm.sendUnderRecoveryRule(frames))
        return true;
    if (stage == before)
        linkLost();
    return false;
}

void TCalibrationRun::Impl::start(const RunOptions &options)
{
    opt = options;
    q.m_record = {};
    points.clear();
    current = 0;
    attempts = 1;
    pauseRequested = abortRequested = tableSent = false;
    table.reset();
    twoPoints.reset();
    writeArea = CalibrationArea::FlowTable;
    writeSnapshotId = 0;
    QString why;
    if (!RunPlanFile::Check(opt.plan, &why)) {
        end(RunEnd::Failed, QStringLiteral("План прогона не годится: %1").arg(why));
        return;
    }
    if (const QString text = textProblem(); !text.isEmpty()) {
        end(RunEnd::Failed, text);
        return;
    }
    // A reference out of date certifies nothing: the run does not begin.
    if (const ReferenceDue due = ReferenceDueCheck(options.referenceDueDate, QDate::currentDate());
        due.kind == ReferenceDueKind::Lapsed) {
        end(RunEnd::Failed, due.message);
        return;
    }
    const auto add = [this](RunPhase phase, const QList<double> &percents) {
        for (qsizetype i = 0; i < percents.size(); ++i)
            points.append({phase, int(i + 1), percents[i], Step::Flow, 0.0});
    };
    planTemperatures();
    // The zero at no flow, on the zero the run may just have written, before any flow is trusted.
    if (opt.plan.zeroCheck != RunPlan::ZeroCheckMode::Off && (opt.plan.verificationPhase || opt.plan.flowPhase))
        points.append({RunPhase::ZeroCheck, 1, 0.0, Step::Flow, 0.0});
    if (opt.plan.verificationPhase)
        add(RunPhase::AsFound, opt.plan.verificationPercent);
    if (opt.plan.flowPhase)
        add(RunPhase::Calibration, opt.plan.calibrationPercent);
    if (opt.plan.verificationPhase && opt.plan.flowPhase)
        add(RunPhase::AsLeft, opt.plan.verificationPercent);

    recordHeader();
    q.m_record.startedUtc = QDateTime::currentDateTimeUtc();
    readBefore();
}

void TCalibrationRun::Impl::readBefore()
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

void TCalibrationRun::Impl::beforeRead()
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
    if (!keepHeader()) {
        end(RunEnd::Failed, storeFault(QStringLiteral("Начало прогона")));
        return;
    }
    if (!rig.isOpen()) {
        stage = Stage::OpenRig;
        if (setState(RunState::Preparing, QStringLiteral("подключение стенда")))
            rig.open();
        return;
    }
    startPoint();
}

void TCalibrationRun::Impl::readAfter()
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

void TCalibrationRun::Impl::afterRead()
{
    RunRecord &r = q.m_record;
    r.snapshotAfterId =
        records.keep(reader.snapshot(SnapshotReason::AfterRun, QStringLiteral("после прогона калибровки")));
    if (r.snapshotAfterId == 0) {
        end(RunEnd::Failed, storeFault(QStringLiteral("Снимок калибровки после прогона")));
        return;
    }
    judgePhase(RunPhase::AsFound);
    judgePhase(RunPhase::AsLeft);
    end(RunEnd::Completed, QString());
}

void TCalibrationRun::Impl::end(RunEnd how, const QString &reason)
{
    stopPoint(true);
    reader.cancel();
    reconnectTimer.stop();
    tableCheckTimer.stop();
    RunRecord &r = q.m_record;
    r.end = how;
    r.endReason = reason;
    r.endedUtc = QDateTime::currentDateTimeUtc();
    r.storeError.clear();
    // Stored now: a program killed while the rig is being stopped leaves a truthful end.
    if (r.id != 0 && !keepHeader()) {
        // Never "completed" with the store saying otherwise: the run's end is what the
        // record could not keep, and the faces say so.
        r.storeError = records.store().lastError();
        if (how == RunEnd::Completed) {
            r.end = RunEnd::Failed;
            r.endReason = storeFault(QStringLiteral("Завершение прогона"));
            if (keepHeader())
                r.storeError.clear();
        }
    }
    if (r.end != RunEnd::Completed)
        qCInfo(lcRun) << "run ended" << EndKey(r.end) << r.endReason;
    leaveRigSafe();
}

void TCalibrationRun::Impl::linkLost()
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

void TCalibrationRun::Impl::tryReconnect()
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

void TCalibrationRun::Impl::onReaderFinished()
{
    switch (stage) {
    case Stage::ReadBefore: beforeRead(); break;
    case Stage::WriteRead: writeTable(); break;
    case Stage::ReadCoefficients: coefficientsRead(); break;
    case Stage::ReadAfter: afterRead(); break;
    default: break;
    }
}

void TCalibrationRun::Impl::onReaderFailed(const QString &message)
{
    if (stage != Stage::ReadBefore && !writing() && stage != Stage::ReadAfter)
        return;
    // A request the port refused fails the read before the port's own error closes it;
    // that error comes from the event loop, so the port is judged one turn later.
    const Stage at = stage;
    QMetaObject::invokeMethod(
        &q,
        [this, at, message] {
            if (stage != at)
                return;
            if (!dm.isPortOpen())
                linkLost();
            else
                end(RunEnd::Failed, message);
        },
        Qt::QueuedConnection);
}

TCalibrationRun::TCalibrationRun(TMeterLink &dm, TCalibrationRecords &records, TRig &rig, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>(*this, dm, records, rig))
{
    // First of all the state's listeners: the meter is held before any face hears of it.
    connect(this, &TCalibrationRun::stateChanged, this, &TCalibrationRun::holdMeter);
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
    connect(&dm, &TMeterLink::frameWritten, this,
            [this](const QByteArray &frame, bool isRead) { d->onFrameWritten(frame, isRead); });
    connect(&dm, &TMeterLink::registersTaken, this, [this](int space, int first, int count) { d->onRegistersTaken(space, first, count); });
    connect(&dm, &TMeterLink::portClosedSignal, this, [this] { d->linkLost(); });
    connect(&records, &TCalibrationRecords::readBackChecked, this,
            [this](qint64 id, CalibrationArea area, bool matched) { d->onReadBackChecked(id, area, matched); });
    d->connectRig();
}

TCalibrationRun::~TCalibrationRun() = default;

void TCalibrationRun::holdMeter(RunState state)
{
    TMeterOwnership &ownership = TMeterOwnership::of(d->dm);
    if (state == RunState::Idle || state == RunState::Finished) {
        ownership.release(this);
        return;
    }
    const QString reason = state == RunState::Restoring
                               ? QStringLiteral("Идёт калибровка по шагам: восстановление прежней калибровки")
                               : QStringLiteral("Идёт калибровка по шагам: прибор %1 занят прогоном до его окончания")
                                     .arg(m_record.meterSerial);
    if (ownership.isOwned() && ownership.reason() == reason)
        return;
    if (!ownership.claim(this, reason))
        qCWarning(lcRun) << "meter taken by another face:" << ownership.reason();
}

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
    // A pause after the last point (its record not taken) goes on with the end.
    if (d->current >= d->points.size())
        d->readAfter();
    else
        d->startPoint();
}

void TCalibrationRun::abort(const QString &reason)
{
    stop(RunEnd::Aborted, reason.isEmpty() ? QStringLiteral("прервана оператором") : reason);
}

void TCalibrationRun::fail(const QString &reason)
{
    stop(RunEnd::Failed, reason);
}

void TCalibrationRun::stop(RunEnd how, const QString &why)
{
    if (m_state == RunState::Idle || m_state == RunState::Finished || m_state == RunState::Restoring
        || d->stage == Impl::Stage::RigSafe)
        return;
    if (d->writing()) {
        // The table goes in whole and is recalculated; the run ends right after.
        d->abortRequested = true;
        d->abortReason = why;
        d->abortAs = how;
        return;
    }
    d->end(how, why);
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
    if ((d->stage == Impl::Stage::SetFlow || d->stage == Impl::Stage::ZeroFlow) && !d->rig.setsFlow())
        d->flowSet();
}

void TCalibrationRun::operatorReference(double kgPerHour)
{
    if (d->stage == Impl::Stage::OperatorRef)
        d->runTaken(kgPerHour, 1);
}

void TCalibrationRun::operatorTemperatureSet()
{
    if (d->stage == Impl::Stage::SetTemperature && !d->rig.setsTemperature())
        d->temperatureSet();
}

void TCalibrationRun::operatorReferenceTemperature(double celsius)
{
    if (d->stage == Impl::Stage::OperatorRefTemperature)
        d->finishTemperaturePoint(celsius);
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
