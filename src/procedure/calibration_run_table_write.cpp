// The run's writes: the flow table from its calibration points, and the write path the
// two-point calibrations share with it (a fresh read, the frames, the read-back, command
// 24 and the coefficients).
#include "procedure/calibration_run_impl.h"
#include "protocol/protokol_usb.h"

using namespace RunDetail;

void TCalibrationRun::Impl::tableDone()
{
    // Each point was judged against those before it; the whole table once more before it
    // goes anywhere near the meter.
    if (const auto refused = Plausibility::CheckTable(calibrationTable(), plausibilityLimits())) {
        end(RunEnd::Failed, refused->message);
        return;
    }
    writeArea = CalibrationArea::FlowTable;
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

void TCalibrationRun::Impl::startWrite()
{
    stage = Stage::WriteRead;
    if (!setState(RunState::Writing, QStringLiteral("чтение таблицы перед записью")))
        return;
    if (!dm.isPortOpen()) {
        linkLost();
        return;
    }
    reader.start({writeArea, CalibrationArea::Coefficients});
}

void TCalibrationRun::Impl::writeTable()
{
    if (writeArea != CalibrationArea::FlowTable) {
        writeTwoPoint();
        return;
    }
    writeSnapshotId = records.keepBefore(SnapshotReason::BeforeFlowSave, {CalibrationArea::FlowTable});
    // The record names the table before its first frame: a run cut short in the write
    // is known to have left it half written.
    RunRecord &r = q.m_record;
    r.writtenTable = *table;
    r.tableWrite = TableWrite::Begun;
    if (!keepHeader()) {
        r.writtenTable.reset();
        r.tableWrite = TableWrite::None;
        const QString why = storeFault(QStringLiteral("Начало записи таблицы")) + QStringLiteral("; таблица не записана");
        stage = Stage::AwaitConfirm;
        if (setState(RunState::AwaitingWrite, why))
            emit q.paused(why);
        return;
    }
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

void TCalibrationRun::Impl::onReadBackChecked(qint64 snapshotId, CalibrationArea area, bool matched)
{
    if (stage != Stage::WriteFrames || area != writeArea || snapshotId != writeSnapshotId)
        return;
    tableCheckTimer.stop();
    if (!matched) {
        end(RunEnd::Failed, area == CalibrationArea::FlowTable
                                ? QStringLiteral("Прибор не принял таблицу: он хранит не то, что записано")
                                : QStringLiteral("Прибор не принял точки калибровки «%1»: он хранит не то, что записано")
                                      .arg(QString::fromUtf8(AreaSpecOf(area).title)));
        return;
    }
    if (area != CalibrationArea::FlowTable) {
        adjustmentOf(area).written = true;
        keepHeader();
    }
    records.keepBefore(SnapshotReason::BeforeRecalculation, {area, CalibrationArea::Coefficients});
    stage = Stage::Recalc;
    send([this] { SendWriteWord(dm, Proto::CommandRegister, Proto::CmdRecalculate); });
}

void TCalibrationRun::Impl::coefficientsRead()
{
    if (writeArea != CalibrationArea::FlowTable) {
        twoPointRecalculated();
        return;
    }
    RunRecord &r = q.m_record;
    r.coefficientsAfter = ImageCoefficients(dm.registerImage());
    r.writtenTable = *table;
    r.tableWrite = TableWrite::Done;
    const bool kept = keepHeader();
    stage = Stage::None;
    if (abortRequested) {
        end(abortAs, abortReason);
        return;
    }
    if (!kept) {
        enterPaused(storeFault(QStringLiteral("Записанная таблица")));
        return;
    }
    if (current == points.size())
        readAfter();
    else
        startPoint();
}
