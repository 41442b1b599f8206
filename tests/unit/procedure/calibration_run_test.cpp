// Calibration runs against the simulated meter on a pseudo-terminal, with a rig
// over the same model: what the meter holds afterwards and what the record keeps.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "model_rig.h"
#include "procedure/calibration_run.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include "sim/meter_server.h"
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr double TimeScale = 25.0;
constexpr int RunMs = 90000;

class CalibrationRunTest : public ::testing::Test
{
protected:
    void start(SimOptions sim = {})
    {
        sim.timeScale = TimeScale;
        sim.linkPath = linkDir.filePath(QStringLiteral("meter"));
        server = std::make_unique<MeterServer>(sim);
        ASSERT_TRUE(server->start());
        dm = std::make_unique<TDM_1>(std::make_unique<CandidatePorts>(
            QList<VirtualPort>{{server->devicePath(), QStringLiteral("KESTRO SIM")}}, nullptr));
        dm->findDevicePort();
        ASSERT_TRUE(dm->isPortOpen());
        auto store = std::make_unique<TSnapshotStore>(dir.filePath(QStringLiteral("s.sqlite")));
        ASSERT_TRUE(store->open());
        records = std::make_unique<TCalibrationRecords>(*dm, std::move(store));
        rig = std::make_unique<ModelRig>(server->model(), [this] { server->catchUp(); });
        run = std::make_unique<TCalibrationRun>(*dm, *records, *rig);
        QObject::connect(run.get(), &TCalibrationRun::finished, [this](const RunRecord &) { ++finished; });
        QObject::connect(run.get(), &TCalibrationRun::stateChanged, [this](RunState s) { states << s; });
        QObject::connect(run.get(), &TCalibrationRun::paused, [this](const QString &why) { pausedWith << why; });
        QObject::connect(run.get(), &TCalibrationRun::pointTaken, [this](const RunPoint &p) { taken << p; });
        opts.plan.name = QStringLiteral("короткий");
        opts.plan.verificationPercent = {100, 50, -50};
        opts.plan.calibrationPercent = QList<double>(MeterModel::FlowPointsPercent.begin(), MeterModel::FlowPointsPercent.end());
        opts.plan.averagingSeconds = 3;
        opts.plan.samplePeriodSeconds = 1;
        opts.plan.stabilityWindowSeconds = 3;
        opts.plan.settleTimeoutSeconds = 120;
        opts.timeScale = TimeScale;
        opts.writeWithoutConfirmation = true;
        opts.reconnectMs = 5000;
        opts.meterSerial = QStringLiteral("SIM-1");
    }
    void runToEnd()
    {
        run->start(opts);
        ASSERT_TRUE(QTest::qWaitFor([this] { return finished > 0; }, RunMs)) << int(run->state());
    }
    int total() const { return int(2 * opts.plan.verificationPercent.size() + opts.plan.calibrationPercent.size()); }
    // Parameters 2.. (1 is the command register, which every command passes through).
    QVector<quint16> params() const
    {
        QVector<quint16> p;
        for (int reg = 2; reg <= MeterModel::ParamRegisters; ++reg)
            p << server->model().paramWord(reg);
        return p;
    }
    void expectEachPointOnce(const QList<RunPoint> &points) const
    {
        ASSERT_EQ(points.size(), total());
        for (qsizetype i = 1; i < points.size(); ++i) {
            const bool next = points[i].phase == points[i - 1].phase ? points[i].index == points[i - 1].index + 1
                                                                      : points[i].index == 1;
            EXPECT_TRUE(next) << "point " << i;
        }
    }

    QTemporaryDir dir, linkDir;
    std::unique_ptr<MeterServer> server;
    std::unique_ptr<TDM_1> dm;
    std::unique_ptr<TCalibrationRecords> records;
    std::unique_ptr<ModelRig> rig;
    std::unique_ptr<TCalibrationRun> run;
    RunOptions opts;
    int finished = 0;
    QList<RunState> states;
    QStringList pausedWith;
    QList<RunPoint> taken;
};

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

struct Refusal
{
    const char *name;
    bool badPlan; // else the meter reports a Q Max of 0
    const char *reason;
};

class RunRefused : public CalibrationRunTest, public ::testing::WithParamInterface<Refusal>
{
};

TEST_P(RunRefused, FailsWithoutWritingAnything)
{
    start();
    if (GetParam().badPlan)
        opts.plan.calibrationPercent.removeLast();
    else
        server->model().setParamFloat(21, 0.0f);
    server->clearReceived();
    runToEnd();
    EXPECT_EQ(run->record().end, RunEnd::Failed);
    EXPECT_TRUE(run->record().endReason.contains(QString::fromUtf8(GetParam().reason)))
        << run->record().endReason.toStdString();
    for (const ReceivedRequest &r : server->received())
        EXPECT_NE(quint8(r.frame[1]), Proto::FnWriteParams);
    EXPECT_EQ(server->received().isEmpty(), GetParam().badPlan);
    // A run that got as far as the meter is on record, with its end.
    const QList<RunRecord> stored = records->store().runs();
    EXPECT_EQ(stored.size(), GetParam().badPlan ? 0 : 1);
    for (const RunRecord &r : stored)
        EXPECT_EQ(r.end, RunEnd::Failed);
}

INSTANTIATE_TEST_SUITE_P(Runs, RunRefused,
                         ::testing::Values(Refusal{"BadPlan", true, "calibration_percent"},
                                           Refusal{"ZeroQMax", false, "Q Max"}),
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
