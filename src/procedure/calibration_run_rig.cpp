// The run and its rig: the rig's answers, a connection the rig re-opens, and the
// idle set point every end of a run leaves the rig at.
#include "procedure/calibration_run_impl.h"

using namespace RunDetail;

void TCalibrationRun::Impl::connectRig()
{
    QObject::connect(&rig, &TRig::opened, &q, [this] {
        if (stage == Stage::OpenRig)
            startPoint();
    });
    QObject::connect(&rig, &TRig::flowSet, &q, [this](double kgPerHour) {
        if (stage == Stage::RigSafe) {
            // A point's set point still on its way confirms nothing but itself.
            if (kgPerHour == rig.idleSetpoint())
                rigSafeAnswered(true, QString());
            return;
        }
        flowSet();
    });
    QObject::connect(&rig, &TRig::temperatureSet, &q, [this](double) {
        if (stage == Stage::SetTemperature)
            temperatureSet();
    });
    QObject::connect(&rig, &TRig::reading, &q, [this](const RigReading &r) { onReading(r); });
    QObject::connect(&rig, &TRig::failed, &q, [this](const QString &m) { onRigFailed(m); });
    QObject::connect(&rig, &TRig::connectionLost, &q, [this](const QString &m) { onRigLost(m); });
    QObject::connect(&rig, &TRig::reconnected, &q, [this] { onRigBack(); });
    rigSafeTimer.setSingleShot(true);
    QObject::connect(&rigSafeTimer, &QTimer::timeout, &q, [this] {
        if (stage == Stage::RigSafe)
            rigSafeAnswered(false, QStringLiteral("стенд не ответил за %1 с").arg(RigSafeMs / 1000));
    });
}

void TCalibrationRun::Impl::onRigFailed(const QString &message)
{
    // A failure is the answer to the request it names: no reading is on its way any more.
    refPending = dropNextReading = false;
    if (stage == Stage::RigSafe)
        rigSafeAnswered(false, message);
    else if (stage == Stage::OpenRig)
        end(RunEnd::Failed, QStringLiteral("Стенд не подключён: %1").arg(message));
    else if (inPoint())
        enterPaused(QStringLiteral("Стенд: %1").arg(message));
    else
        qCWarning(lcRun) << "rig:" << message;
}

void TCalibrationRun::Impl::onRigLost(const QString &message)
{
    if (!inPoint() || stage == Stage::WaitRig)
        return;
    // The samples across the gap are not the rig's: the point is taken again once it is back.
    stopPoint(true);
    stage = Stage::WaitRig;
    setState(RunState::Settling, QStringLiteral("Стенд: %1; переподключение").arg(message));
}

void TCalibrationRun::Impl::onRigBack()
{
    if (!inPoint())
        return;
    qCInfo(lcRun) << "rig back: point" << planned().index << "taken again";
    startPoint();
}

void TCalibrationRun::Impl::leaveRigSafe()
{
    stage = Stage::RigSafe;
    const double idle = rig.idleSetpoint();
    const QString setpoint = QStringLiteral("уставка %1 кг/ч").arg(Kg(idle));
    if (!rig.setsFlow()) {
        finishEnd({idle, false, QStringLiteral("остановите расход: расход стенда задаёт оператор")});
        return;
    }
    if (!rig.isOpen()) {
        finishEnd({idle, false, setpoint + QStringLiteral(" не отправлена: стенд не подключён")});
        return;
    }
    setState(RunState::StoppingRig, QStringLiteral("остановка стенда: ") + setpoint);
    if (stage != Stage::RigSafe)
        return;
    rigSafeTimer.start(RigSafeMs);
    rig.setFlow(idle);
}

void TCalibrationRun::Impl::rigSafeAnswered(bool confirmed, const QString &why)
{
    const double idle = rig.idleSetpoint();
    const QString setpoint = QStringLiteral("уставка %1 кг/ч").arg(Kg(idle));
    finishEnd({idle, confirmed,
               confirmed ? setpoint + QStringLiteral(" подтверждена")
                         : setpoint + QStringLiteral(" не подтверждена: ") + why});
}

void TCalibrationRun::Impl::finishEnd(const RigSafeState &safe)
{
    rigSafeTimer.stop();
    stage = Stage::Done;
    RunRecord &r = q.m_record;
    SetRigSafe(r, safe);
    if (!safe.confirmed)
        qCWarning(lcRun) << "rig:" << safe.message;
    // Taken now, the whole record is stored; refused, the faces say what the store lacks.
    if (r.id != 0) {
        if (keepHeader())
            r.storeError.clear();
        else
            r.storeError = records.store().lastError();
    }
    const RunEnd how = r.end;
    setState(RunState::Finished,
             r.endReason.isEmpty() ? EndTitle(how) : EndTitle(how) + QStringLiteral(": ") + r.endReason);
    emit q.finished(r);
}
