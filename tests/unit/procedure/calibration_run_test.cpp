// Calibration runs against the simulated meter on a pseudo-terminal, with a rig
// over the same model: what the meter holds afterwards and what the record keeps.
#include "run_fixture.h"

namespace {

TEST_F(CalibrationRunTest, MisCalibratedMeterComesOutWithinTolerance)
{
    start();
    runToEnd();
    const RunRecord &r = run->record();
    ASSERT_EQ(r.end, RunEnd::Completed) << r.endReason.toStdString();
    ASSERT_TRUE(r.asFoundMaxError && r.asLeftMaxError);
    EXPECT_GT(*r.asFoundMaxError, 3.0);
    EXPECT_LT(*r.asFoundMaxError, 5.0);
    EXPECT_LE(*r.asLeftMaxError, 0.05);
    EXPECT_EQ(r.asFoundFit, false);
    EXPECT_EQ(r.asLeftFit, true);
    EXPECT_NE(r.coefficientsBefore, r.coefficientsAfter);
    EXPECT_NE(r.snapshotBeforeId, 0);
    EXPECT_NE(r.snapshotAfterId, 0);

    ASSERT_TRUE(r.writtenTable);
    const QVector<quint16> written =
        TCalibrationRecords::FloatRegisters(QList<float>(r.writtenTable->begin(), r.writtenTable->end()));
    for (int i = 0; i < written.size(); ++i)
        EXPECT_EQ(server->model().paramWord(21 + i), written[i]) << "parameter " << 21 + i;

    const std::optional<RunRecord> stored = records->store().run(QString::number(r.id));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->end, RunEnd::Completed);
    expectEachPointOnce(stored->points);
    for (qsizetype i = 0; i < stored->points.size(); ++i) {
        EXPECT_EQ(stored->points[i].referenceFlow, r.points[i].referenceFlow);
        EXPECT_EQ(stored->points[i].deltaT, r.points[i].deltaT);
    }
}

TEST_F(CalibrationRunTest, AbortBeforeTheWriteLeavesTheMeterUntouched)
{
    start();
    const QVector<quint16> before = params();
    QObject::connect(run.get(), &TCalibrationRun::pointStarted, [this](RunPhase phase, int index) {
        if (phase == RunPhase::Calibration && index == 3)
            run->abort(QStringLiteral("стенд нужен другому"));
    });
    runToEnd();
    EXPECT_EQ(run->record().end, RunEnd::Aborted);
    EXPECT_EQ(run->record().endReason, "стенд нужен другому");
    EXPECT_FALSE(run->canRestoreBefore());
    EXPECT_EQ(params(), before);
    const std::optional<RunRecord> stored = records->store().run(run->record().uuid);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->end, RunEnd::Aborted);
    EXPECT_EQ(stored->points.size(), opts.plan.verificationPercent.size() + 2);
}

TEST_F(CalibrationRunTest, AbortAfterTheWriteThenRestorePutsTheMeterBack)
{
    start();
    const QVector<quint16> before = params();
    QObject::connect(run.get(), &TCalibrationRun::pointStarted, [this](RunPhase phase) {
        if (phase == RunPhase::AsLeft)
            run->abort();
    });
    runToEnd();
    ASSERT_EQ(run->record().end, RunEnd::Aborted);
    ASSERT_TRUE(run->record().writtenTable);
    ASSERT_NE(params(), before);
    ASSERT_TRUE(run->canRestoreBefore());

    bool restored = false;
    QString message;
    QObject::connect(run.get(), &TCalibrationRun::restoreFinished, [&](bool ok, const QString &m) {
        restored = ok, message = m;
    });
    run->restoreBefore();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !message.isEmpty(); }, 30000));
    EXPECT_TRUE(restored) << message.toStdString();
    const std::optional<Snapshot> snapshot = records->store().get(run->record().snapshotBeforeId);
    ASSERT_TRUE(snapshot);
    for (CalibrationArea a : WritableCalibrationAreas()) {
        QVector<quint16> meter;
        for (const RegisterRange &range : AreaSpecOf(a).ranges)
            for (int reg = range.first; reg < range.first + range.count; ++reg)
                meter << server->model().paramWord(reg);
        EXPECT_EQ(meter, snapshot->areas.value(a)) << AreaSpecOf(a).key;
    }
    EXPECT_EQ(params(), before);
}

struct Unplug
{
    const char *name;
    int returnAfterMs; // <0: never
    RunEnd end;
};

class MeterUnplugged : public CalibrationRunTest, public ::testing::WithParamInterface<Unplug>
{
};

TEST_P(MeterUnplugged, MidPointTheTakenPointsAreKept)
{
    SimOptions sim;
    sim.returnAfterMs = GetParam().returnAfterMs;
    start(sim);
    opts.reconnectMs = 2000;
    QObject::connect(run.get(), &TCalibrationRun::pointStarted, [this](RunPhase phase, int index) {
        if (phase == RunPhase::Calibration && index == 2 && !states.contains(RunState::WaitingForMeter))
            QTimer::singleShot(0, server.get(), [this] { server->hangUp(); });
    });
    runToEnd();
    EXPECT_TRUE(states.contains(RunState::WaitingForMeter));
    const RunRecord &r = run->record();
    ASSERT_EQ(r.end, GetParam().end) << r.endReason.toStdString();
    const std::optional<RunRecord> stored = records->store().run(r.uuid);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->end, r.end);
    if (r.end == RunEnd::Completed) {
        expectEachPointOnce(stored->points);
    } else {
        EXPECT_EQ(stored->points.size(), opts.plan.verificationPercent.size() + 1);
        EXPECT_FALSE(r.endReason.isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, MeterUnplugged,
                         ::testing::Values(Unplug{"BackInTime", 300, RunEnd::Completed},
                                           Unplug{"NeverBack", -1, RunEnd::Failed}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(CalibrationRunTest, RigFailurePausesWithItsMessageAndResumeCompletes)
{
    start();
    rig->failAtSetFlow = 2;
    QObject::connect(run.get(), &TCalibrationRun::paused, [this] { QTimer::singleShot(50, run.get(), [this] { run->resume(); }); });
    runToEnd();
    ASSERT_EQ(pausedWith.size(), 1);
    EXPECT_TRUE(pausedWith[0].contains("Modbus: исключение 4")) << pausedWith[0].toStdString();
    EXPECT_EQ(run->record().end, RunEnd::Completed) << run->record().endReason.toStdString();
    expectEachPointOnce(run->record().points);
}

TEST_F(CalibrationRunTest, PauseMidIntervalStopsTheMetersAveragingAndResumeCompletes)
{
    start();
    bool averagingWhilePaused = true;
    QObject::connect(run.get(), &TCalibrationRun::stateChanged, [this, &averagingWhilePaused](RunState s) {
        if (s == RunState::Averaging && taken.size() == 4 && pausedWith.isEmpty())
            QTimer::singleShot(60, run.get(), [this] { run->pause(); });
        if (s == RunState::Paused)
            QTimer::singleShot(150, run.get(), [this, &averagingWhilePaused] {
                averagingWhilePaused = server->model().dataWord(1) & 0x0001;
                run->resume();
            });
    });
    runToEnd();
    EXPECT_EQ(pausedWith.size(), 1);
    EXPECT_FALSE(averagingWhilePaused);
    EXPECT_EQ(run->record().end, RunEnd::Completed) << run->record().endReason.toStdString();
    expectEachPointOnce(run->record().points);
}

class NeverSettles : public CalibrationRunTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(NeverSettles, RetriedOnceThenPausedOrTakenAsItIs)
{
    const bool accept = GetParam();
    start();
    rig->offsetSetFlows = 2; // both attempts at the first point
    opts.plan.settleTimeoutSeconds = 8;
    opts.acceptUnsettled = accept;
    int starts = 0;
    QObject::connect(run.get(), &TCalibrationRun::pointStarted, [&](RunPhase, int index) { starts += index == 1; });
    run->start(opts);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !pausedWith.isEmpty() || !taken.isEmpty(); }, RunMs));
    EXPECT_EQ(starts, 2);
    if (accept) {
        ASSERT_TRUE(pausedWith.isEmpty());
        EXPECT_FALSE(taken[0].settled);
        EXPECT_EQ(taken[0].attempts, 2);
    } else {
        ASSERT_TRUE(taken.isEmpty());
        EXPECT_EQ(run->state(), RunState::Paused);
        EXPECT_TRUE(pausedWith[0].contains("не установился")) << pausedWith[0].toStdString();
    }
    run->abort();
    const std::optional<RunRecord> stored = records->store().run(run->record().uuid);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->end, RunEnd::Aborted);
    ASSERT_EQ(stored->points.size(), taken.size());
    EXPECT_EQ(stored->points.value(0).settled, !accept || taken.isEmpty());
}

// AtStart: refused before anything is sent (a bad plan or text); the others reach the meter.
enum class Cause { AtStart, ZeroQMax, SnapshotRefused };

struct Refusal
{
    const char *name;
    Cause cause;
    const char *reason;
    // A control character put into this text of the options (the plan stays good).
    QString RunOptions::*text = nullptr;
    QChar control = QChar(0);
};

class RunRefused : public CalibrationRunTest, public ::testing::WithParamInterface<Refusal>
{
};

TEST_P(RunRefused, FailsWithoutWritingAnything)
{
    start();
    const bool badPlan = GetParam().cause == Cause::AtStart;
    if (GetParam().text)
        (opts.*GetParam().text = QStringLiteral("Иванова")).insert(1, GetParam().control);
    else if (GetParam().name == std::string("PlanNameWithNul"))
        opts.plan.name.append(QChar(0));
    else if (badPlan)
        opts.plan.calibrationPercent.removeLast();
    else if (GetParam().cause == Cause::ZeroQMax)
        server->model().setParamFloat(21, 0.0f);
    else
        refuseSnapshots();
    server->clearReceived();
    runToEnd();
    EXPECT_EQ(run->record().end, RunEnd::Failed);
    EXPECT_TRUE(run->record().endReason.contains(QString::fromUtf8(GetParam().reason)))
        << run->record().endReason.toStdString();
    for (const ReceivedRequest &r : server->received())
        EXPECT_NE(quint8(r.frame[1]), Proto::FnWriteParams);
    EXPECT_EQ(server->received().isEmpty(), badPlan);
    // A run that got as far as the meter is on record, with its end.
    const QList<RunRecord> stored = records->store().runs();
    EXPECT_EQ(stored.size(), badPlan ? 0 : 1);
    for (const RunRecord &r : stored)
        EXPECT_EQ(r.end, RunEnd::Failed);
}

INSTANTIATE_TEST_SUITE_P(Runs, RunRefused,
                         ::testing::Values(Refusal{"BadPlan", Cause::AtStart, "calibration_percent"},
                                           Refusal{"ZeroQMax", Cause::ZeroQMax, "Q Max"},
                                           // Nothing to restore from: nothing is written.
                                           Refusal{"SnapshotRefused", Cause::SnapshotRefused, "Снимок калибровки"},
                                           Refusal{"SerialWithNul", Cause::AtStart, "серийный номер: управляющий символ U+0000",
                                                   &RunOptions::meterSerial},
                                           Refusal{"OperatorWithEscape", Cause::AtStart, "оператор: управляющий символ U+001b",
                                                   &RunOptions::operatorName, QChar(0x1b)},
                                           Refusal{"ReferenceWithNul", Cause::AtStart, "эталон:", &RunOptions::referenceName},
                                           Refusal{"CertificateWithNewline", Cause::AtStart, "свидетельство эталона:",
                                                   &RunOptions::referenceCertificate, QChar('\n')},
                                           Refusal{"PlanNameWithNul", Cause::AtStart, "имя плана:"}),
                         [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Runs, NeverSettles, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Accepted" : "Paused"; });

} // namespace

// A meter that drops the table's writes: the read-back says so, the run fails before
// command 24 and the as-left phase, the written values are kept with the snapshot
// taken before the write, and nothing is offered as calibrated.
TEST_F(CalibrationRunTest, ATableTheMeterDidNotTakeFailsTheRun)
{
    start();
    server->model().setIgnoredWrites(21, 74);
    const QVector<quint16> before = params();
    runToEnd();
    EXPECT_EQ(run->record().end, RunEnd::Failed);
    EXPECT_FALSE(run->record().endReason.isEmpty());
    EXPECT_TRUE(run->record().pointsOf(RunPhase::AsLeft).isEmpty());
    EXPECT_FALSE(run->record().asLeftFit.value_or(false));
    EXPECT_NE(server->model().lastCommand(), int(Proto::CmdRecalculate));
    EXPECT_EQ(params(), before);
    bool refusedKept = false;
    for (const Snapshot &s : records->store().list())
        refusedKept = refusedKept || (s.reason == SnapshotReason::BeforeFlowSave && s.refused.contains(CalibrationArea::FlowTable));
    EXPECT_TRUE(refusedKept);
}

namespace {

// Another program holding the store's write lock for a while, from its own process
// (this one blocks in the store while it waits).
class StoreLock
{
public:
    StoreLock(const QString &path, double seconds)
    {
        m_process.start(QStringLiteral("python3"),
                        {QStringLiteral("-c"),
                         QStringLiteral("import sqlite3, sys, time\n"
                                        "c = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=10)\n"
                                        "c.execute('BEGIN IMMEDIATE')\n"
                                        "print('held', flush=True)\n"
                                        "time.sleep(float(sys.argv[2]))\n"
                                        "c.execute('ROLLBACK')\n"),
                         path, QString::number(seconds)});
        m_held = m_process.waitForReadyRead(20000) && m_process.readAll().startsWith("held");
    }
    ~StoreLock() { released(); }
    bool held() const { return m_held; }
    bool released() { return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(60000); }

private:
    QProcess m_process;
    bool m_held = false;
};

struct BusyCase
{
    const char *name;
    RunPhase phase; // the lock is taken when this point is taken
    int index;      // 0: when the after-run snapshot is kept, just before the run's end
    double holdSeconds;
    bool pauses;  // the run stops at the point the store did not take
    RunEnd end;   // how the run ends (after a resume, where it paused)
};

class StoreBusy : public CalibrationRunTest, public ::testing::WithParamInterface<BusyCase>
{
};

// A store another program holds mid-run: a short hold is waited for; a long one pauses
// the run at the point not taken, and nothing is said completed that the store lacks.
TEST_P(StoreBusy, NeverReportsWhatTheStoreDidNotTake)
{
    const BusyCase &c = GetParam();
    start();
    std::unique_ptr<StoreLock> lock;
    const auto take = [&] { lock = std::make_unique<StoreLock>(dir.filePath(QStringLiteral("s.sqlite")), c.holdSeconds); };
    QObject::connect(run.get(), &TCalibrationRun::pointTaken, [&](const RunPoint &p) {
        if (!lock && p.phase == c.phase && p.index == c.index)
            take();
    });
    QObject::connect(records.get(), &TCalibrationRecords::snapshotKept, [&] {
        if (!lock && c.index == 0 && run->record().points.size() == total())
            take();
    });
    int storedAtPause = -1;
    QObject::connect(run.get(), &TCalibrationRun::paused, [&] {
        storedAtPause = int(records->store().run(run->record().uuid).value_or(RunRecord{}).points.size());
    });
    run->start(opts);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished > 0 || run->state() == RunState::Paused; }, RunMs));
    ASSERT_TRUE(lock && lock->held());
    EXPECT_EQ(run->state() == RunState::Paused, c.pauses);
    if (c.pauses) {
        ASSERT_EQ(pausedWith.size(), 1);
        EXPECT_TRUE(pausedWith.first().contains(QStringLiteral("не сохранено в базе"))) << pausedWith.first().toStdString();
        EXPECT_TRUE(pausedWith.first().contains(QStringLiteral("занята"))) << pausedWith.first().toStdString();
        EXPECT_EQ(storedAtPause, run->record().points.size()) << "the record has a point the store does not";
        ASSERT_TRUE(lock->released());
        run->resume();
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished > 0; }, RunMs));
    }
    ASSERT_TRUE(lock->released());
    const RunRecord &r = run->record();
    EXPECT_EQ(r.end, c.end) << r.endReason.toStdString();
    const std::optional<RunRecord> stored = records->store().run(r.uuid);
    ASSERT_TRUE(stored) << records->store().lastError().toStdString();
    if (r.end == RunEnd::Completed) {
        EXPECT_TRUE(r.storeError.isEmpty());
        EXPECT_EQ(stored->end, RunEnd::Completed);
        expectEachPointOnce(stored->points);
        expectEachPointOnce(r.points);
        EXPECT_TRUE(stored->asFoundFit && stored->asLeftFit && stored->snapshotAfterId != 0);
    } else {
        // Not completed on either side; where the store still differs, the faces are told why.
        EXPECT_NE(stored->end, RunEnd::Completed);
        EXPECT_EQ(stored->end == r.end, r.storeError.isEmpty()) << r.storeError.toStdString();
        EXPECT_TRUE(r.endReason.contains(QStringLiteral("не сохранено в базе"))) << r.endReason.toStdString();
        EXPECT_EQ(stored->points.size(), r.points.size());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StoreBusy,
    ::testing::Values(BusyCase{"ShortHoldIsWaitedFor", RunPhase::AsFound, 1, 1.5, false, RunEnd::Completed},
                      BusyCase{"LongHoldPausesAtThePoint", RunPhase::Calibration, 2, 8, true, RunEnd::Completed},
                      BusyCase{"HoldFromTheLastPointIsNoCompletion", RunPhase::AsLeft, 3, 9, false, RunEnd::Failed},
                      BusyCase{"HoldAtTheRunsEndIsNoCompletion", RunPhase::AsLeft, 0, 8, false, RunEnd::Failed}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

// The record says the table write has begun, with the table, before the first frame
// of it leaves; the as-found verdict is kept as soon as the as-found phase ends.
TEST_F(CalibrationRunTest, TheRecordIsAheadOfTheMeter)
{
    start();
    std::optional<RunRecord> atCalibration, atFirstWrite;
    QObject::connect(run.get(), &TCalibrationRun::pointStarted, [&](RunPhase phase, int index) {
        if (phase == RunPhase::Calibration && index == 1 && !atCalibration)
            atCalibration = records->store().run(run->record().uuid);
    });
    QObject::connect(&dm->pacer(), &TransmitPacer::frameWritten, [&](const QByteArray &, bool isRead) {
        if (!isRead && run->state() == RunState::Writing && !atFirstWrite)
            atFirstWrite = records->store().run(run->record().uuid);
    });
    runToEnd();
    const RunRecord &r = run->record();
    ASSERT_EQ(r.end, RunEnd::Completed) << r.endReason.toStdString();
    ASSERT_TRUE(atCalibration);
    EXPECT_EQ(atCalibration->asFoundFit, r.asFoundFit);
    EXPECT_TRUE(atCalibration->asFoundMaxError.has_value());
    EXPECT_EQ(atCalibration->asFoundMaxError, r.asFoundMaxError);
    ASSERT_TRUE(atFirstWrite);
    EXPECT_EQ(atFirstWrite->tableWrite, TableWrite::Begun);
    ASSERT_TRUE(atFirstWrite->writtenTable && run->table());
    EXPECT_EQ(*atFirstWrite->writtenTable, *run->table());
    const std::optional<RunRecord> stored = records->store().run(r.uuid);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->tableWrite, TableWrite::Done);
}

// Every end of a run leaves the rig at its idle set point before finished(), and the
// record says whether the rig confirmed it; a rig that refuses or never answers cannot
// hold the end. A rig connection that goes mid-interval has that point taken again.
struct RigEnd
{
    const char *name;
    RunEnd end;
    double idle;
    bool refuse, silent;
    bool confirmed;
    const char *message;
};

class RigLeftSafe : public CalibrationRunTest, public ::testing::WithParamInterface<RigEnd>
{
};

TEST_P(RigLeftSafe, AtTheEndBeforeFinished)
{
    const RigEnd &c = GetParam();
    start();
    rig->idle = c.idle;
    int secondPointStarts = 0;
    bool dropped = false;
    QObject::connect(run.get(), &TCalibrationRun::pointStarted, [&](RunPhase phase, int index) {
        secondPointStarts += phase == RunPhase::Calibration && index == 2;
        if (c.end == RunEnd::Aborted && phase == RunPhase::Calibration && index == 3) {
            rig->refuseAll = c.refuse;
            rig->silent = c.silent;
            run->abort(QStringLiteral("стенд нужен другому"));
        }
    });
    QObject::connect(run.get(), &TCalibrationRun::stateChanged, [&](RunState s) {
        const bool secondPoint = taken.size() == opts.plan.verificationPercent.size() + 1;
        if (c.end == RunEnd::Completed && s == RunState::Averaging && secondPoint && !dropped) {
            dropped = true;
            rig->drop();
        }
    });
    if (c.end == RunEnd::Failed) {
        rig->failAtSetFlow = 5;
        QObject::connect(run.get(), &TCalibrationRun::paused, [this](const QString &why) { run->fail(why); });
    }
    QList<double> setAtFinish;
    int answersAtFinish = -1;
    QObject::connect(run.get(), &TCalibrationRun::finished, [&] {
        setAtFinish = rig->setPoints;
        answersAtFinish = rig->flowSetAnswers;
    });
    runToEnd();
    QTest::qWait(200);
    ASSERT_EQ(finished, 1);
    const RunRecord &r = run->record();
    ASSERT_EQ(r.end, c.end) << r.endReason.toStdString();
    ASSERT_FALSE(setAtFinish.isEmpty());
    EXPECT_EQ(setAtFinish.last(), c.idle);
    if (c.confirmed) {
        // The confirmation came before finished().
        EXPECT_EQ(answersAtFinish, rig->flowSetAnswers);
        EXPECT_EQ(rig->setPoints.last(), c.idle);
    }
    const std::optional<RunRecord> stored = records->store().run(r.uuid);
    ASSERT_TRUE(stored);
    for (const RunRecord *kept : {&r, &*stored}) {
        const std::optional<RigSafeState> safe = RigSafeOf(*kept);
        ASSERT_TRUE(safe) << (kept == &r ? "the run's record" : "the stored record");
        EXPECT_EQ(safe->setpoint, c.idle);
        EXPECT_EQ(safe->confirmed, c.confirmed);
        EXPECT_TRUE(safe->message.contains(QString::fromUtf8(c.message))) << safe->message.toStdString();
    }
    if (c.end == RunEnd::Completed) {
        EXPECT_EQ(secondPointStarts, 2);
        expectEachPointOnce(r.points);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RigLeftSafe,
    ::testing::Values(RigEnd{"CompletedAfterARigDrop", RunEnd::Completed, 0.0, false, false, true, "подтверждена"},
                      RigEnd{"Aborted", RunEnd::Aborted, 0.0, false, false, true, "уставка 0,0 кг/ч подтверждена"},
                      RigEnd{"FailedToItsIdleSetPoint", RunEnd::Failed, 7.5, false, false, true, "7,5 кг/ч"},
                      RigEnd{"IdleRefused", RunEnd::Aborted, 0.0, true, false, false, "исключение 4"},
                      RigEnd{"RigSilent", RunEnd::Aborted, 0.0, false, true, false, "не ответил за 5 с"}),
    [](const auto &info) { return std::string(info.param.name); });

// A handler that aborts on the last calibration point: the run ends there, once, and
// nothing of the table reaches the meter.
TEST_F(CalibrationRunTest, AnAbortWhenTheLastCalibrationPointIsTakenWritesNothing)
{
    start();
    const QVector<quint16> before = params();
    const int last = int(opts.plan.calibrationPercent.size());
    QObject::connect(run.get(), &TCalibrationRun::pointTaken, [this, last](const RunPoint &p) {
        if (p.phase == RunPhase::Calibration && p.index == last)
            run->abort(QStringLiteral("стенд нужен другому"));
    });
    server->clearReceived();
    runToEnd();
    EXPECT_EQ(run->state(), RunState::Finished);
    EXPECT_FALSE(run->table());
    QTest::qWait(500);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(run->record().end, RunEnd::Aborted);
    EXPECT_FALSE(run->record().writtenTable);
    EXPECT_EQ(run->record().pointsOf(RunPhase::Calibration).size(), last);
    EXPECT_EQ(params(), before);
    const QStringList writes = ParameterWrites(*server);
    EXPECT_TRUE(writes.isEmpty()) << writes.join(QLatin1Char(' ')).toStdString();
}
