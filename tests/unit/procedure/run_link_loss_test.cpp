// The meter's link lost at each stage of a calibration run, once coming back and once
// never: the run resumes and completes, or fails within its reconnect time, and the
// meter ends as written or as before (through the restore), never half-written.
#include "model_rig.h"
#include "procedure/calibration_run.h"
#include "protocol/flow_table.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include "records/flow_table_save.h"
#include "support/scripted_link.h"
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr double TimeScale = 100.0;
constexpr int RunMs = 45000;
constexpr int ReconnectMs = 1000;
constexpr int BackAfter = 2; // failed recovery attempts before the meter answers again

using Cut = ScriptedLink::Cut;
using FrameMatch = ScriptedLink::FrameMatch;

// Waits in a real event loop: QTest::qWaitFor sleeps 10 ms between its looks, which the
// run's chain of millisecond timers pays at every step.
bool WaitFor(const std::function<bool()> &done, int ms)
{
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    look.start(5);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

// What the meter keeps: parameters 2.. (1 is the command register) and the coefficients.
struct MeterState
{
    QVector<quint16> params, coefficients;
    bool operator==(const MeterState &) const = default;
};

// Public: the table's rows arm their loss through it.
class RunLinkLoss : public ::testing::Test
{
public:
    void SetUp() override
    {
        auto store = std::make_unique<TRecordStore>(dir.filePath(QStringLiteral("s.sqlite")));
        ASSERT_TRUE(store->open());
        records = std::make_unique<TCalibrationRecords>(link, std::move(store));
        rig = std::make_unique<ModelRig>(link.model(), [this] { link.catchUp(); });
        run = std::make_unique<TCalibrationRun>(link, *records, *rig);
        QObject::connect(run.get(), &TCalibrationRun::finished, [this] { ++finished; });
        QObject::connect(&link, &TMeterLink::portClosedSignal, [this] {
            if (!lostClock.isValid())
                lostClock.start();
        });
        opts.plan.name = QStringLiteral("короткий");
        opts.plan.thermometerPhase = opts.plan.zeroPhase = false;
        opts.plan.runsPerPoint = 1;
        opts.plan.zeroCheck = RunPlan::ZeroCheckMode::Off;
        opts.plan.verificationPercent = {50};
        opts.plan.calibrationPercent = QList<double>(MeterModel::FlowPointsPercent.begin(), MeterModel::FlowPointsPercent.end());
        opts.plan.averagingSeconds = 2;
        opts.plan.samplePeriodSeconds = 1;
        opts.plan.stabilityWindowSeconds = 3;
        opts.plan.settleTimeoutSeconds = 60;
        opts.acceptUnsettled = true;
        opts.timeScale = TimeScale;
        opts.writeWithoutConfirmation = true;
        opts.reconnectMs = ReconnectMs;
        opts.meterSerial = QStringLiteral("SCRIPTED-1");
    }
    MeterState meter()
    {
        MeterState s;
        for (int reg = 2; reg <= MeterModel::ParamRegisters; ++reg)
            s.params << link.model().paramWord(reg);
        for (int reg = FlowTable::CoefficientsRegister; reg < FlowTable::CoefficientsRegister + FlowTable::CoefficientsCount; ++reg)
            s.coefficients << link.model().dataWord(reg);
        return s;
    }
    // f once, when the run starts its second calibration point: the first is on record.
    void atSecondCalibrationPoint(std::function<void()> f)
    {
        QObject::connect(run.get(), &TCalibrationRun::pointStarted, [this, f](RunPhase phase, int index) {
            if (phase == RunPhase::Calibration && index == 2 && !armed)
                armed = true, f();
        });
    }
    void atTableReady(std::function<void()> f)
    {
        QObject::connect(run.get(), &TCalibrationRun::tableReady, [this, f] {
            if (!armed)
                armed = true, f();
        });
    }
    // As written (the table on record as done, the coefficients recalculated from it), as
    // before, or, when the table went out and its write is not on record as done, as before
    // through the way back.
    void expectMeterWhole(const MeterState &before)
    {
        const RunRecord &r = run->record();
        const MeterState now = meter();
        if (r.writtenTable && r.tableWrite == TableWrite::Done) {
            // As written: the table the record names, the coefficients recalculated from it.
            const QVector<quint16> table =
                TCalibrationRecords::FloatRegisters(QList<float>(r.writtenTable->begin(), r.writtenTable->end()));
            QVector<quint16> expected = before.params;
            std::copy(table.begin(), table.end(), expected.begin() + (FlowTable::TableRegister - 2));
            EXPECT_EQ(now.params, expected);
            ASSERT_TRUE(r.coefficientsAfter);
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(link.model().dataFloat(FlowTable::CoefficientsRegister + 2 * i), (*r.coefficientsAfter)[size_t(i)]);
            return;
        }
        if (!run->canRestoreBefore()) {
            // Nothing was sent: the meter is as it was.
            EXPECT_EQ(now, before);
            return;
        }
        // The table went out but is not on record as written: the way back puts the meter as before.
        link.allowReturn();
        if (!link.isPortOpen())
            link.applyRecoveryRule();
        ASSERT_TRUE(link.isPortOpen());
        bool restored = false;
        QString message;
        const auto c = QObject::connect(run.get(), &TCalibrationRun::restoreFinished,
                                        [&](bool ok, const QString &m) { restored = ok, message = m; });
        run->restoreBefore();
        const bool done = WaitFor([&] { return !message.isEmpty(); }, 30000);
        QObject::disconnect(c);
        ASSERT_TRUE(done);
        EXPECT_TRUE(restored) << message.toStdString();
        // The coefficients are the meter's own arithmetic over what was put back.
        EXPECT_EQ(meter().params, before.params);
    }
    void expectEachPointOnce(const QList<RunPoint> &points) const
    {
        ASSERT_EQ(points.size(), total());
        for (qsizetype i = 1; i < points.size(); ++i) {
            const RunPoint &p = points[i], &prev = points[i - 1];
            EXPECT_TRUE(p.phase == prev.phase ? p.index == prev.index + 1 : p.index == 1) << "point " << i;
        }
    }
    int total() const { return int(2 * opts.plan.verificationPercent.size() + opts.plan.calibrationPercent.size()); }

    QTemporaryDir dir;
    ScriptedLink link{MeterPhysicsOptions{}, TimeScale};
    std::unique_ptr<TCalibrationRecords> records;
    std::unique_ptr<ModelRig> rig;
    std::unique_ptr<TCalibrationRun> run;
    RunOptions opts;
    int finished = 0;
    bool armed = false;
    QElapsedTimer lostClock;
};

bool IsTableWrite(const QByteArray &f)
{
    const int addr = quint8(f[2]) << 8 | quint8(f[3]);
    return quint8(f[1]) == Proto::FnWriteParams && addr >= FlowTable::TableRegister
           && addr < FlowTable::TableRegister + FlowTable::TableCount;
}

// The read of the whole table: the snapshot before the write, then the write's read-back.
FrameMatch TableRead(int n)
{
    return ScriptedLink::Nth(n, ScriptedLink::Exactly(FlowTableSave::ReadBackFrame()));
}

struct Loss
{
    const char *stage;
    // Arms the loss on the run's way; back: failed recovery attempts before the return.
    std::function<void(RunLinkLoss &t, int back)> arm;
};

void LoseAt(RunLinkLoss &t, FrameMatch m, Cut cut, int back) { t.link.loseLinkAt(std::move(m), cut, back); }

void PrintTo(const Loss &loss, std::ostream *os)
{
    *os << loss.stage;
}

class LinkLostAt : public RunLinkLoss, public ::testing::WithParamInterface<std::tuple<Loss, int>>
{
};

TEST_P(LinkLostAt, RunResumesOrFailsTruthfullyAndTheMeterIsWholeAfterwards)
{
    const auto &[loss, back] = GetParam();
    const MeterState before = meter();
    loss.arm(*this, back);
    run->start(opts);
    ASSERT_TRUE(WaitFor([this] { return finished > 0; }, RunMs)) << int(run->state());
    const RunRecord &r = run->record();
    ASSERT_TRUE(lostClock.isValid()) << "the link was never lost";
    EXPECT_EQ(link.faultsPending(), 0);
    // A run lost before its first read came back was never begun in the store.
    const std::optional<RunRecord> stored = r.id != 0 ? records->store().run(r.uuid) : std::optional(r);
    ASSERT_TRUE(stored);
    if (r.id == 0) {
        EXPECT_TRUE(records->store().runs().isEmpty());
    }
    EXPECT_EQ(stored->end, r.end);
    EXPECT_EQ(stored->writtenTable, r.writtenTable);
    EXPECT_EQ(stored->tableWrite, r.tableWrite);

    if (back != ScriptedLink::NeverBack) {
        ASSERT_EQ(r.end, RunEnd::Completed) << r.endReason.toStdString();
        expectEachPointOnce(stored->points);
    } else {
        ASSERT_EQ(r.end, RunEnd::Failed);
        EXPECT_TRUE(r.endReason.contains(QStringLiteral("Связь с прибором"))) << r.endReason.toStdString();
        EXPECT_LT(lostClock.elapsed(), ReconnectMs + 3000);
    }

    expectMeterWhole(before);
}

const Loss Losses[] = {
    {"ReadBefore", [](RunLinkLoss &t, int back) { LoseAt(t, ScriptedLink::Function(Proto::FnReadParams), Cut::After, back); }},
    // Refused at once: the reader's request fails before the port's error closes it.
    {"ReadBeforeRefused",
     [](RunLinkLoss &t, int back) { LoseAt(t, ScriptedLink::Function(Proto::FnReadParams), Cut::Before, back); }},
    {"SetFlow",
     [](RunLinkLoss &t, int back) { t.atSecondCalibrationPoint([&t, back] { t.link.loseLink(back); }); }},
    {"Settle",
     [](RunLinkLoss &t, int back) {
         t.atSecondCalibrationPoint([&t, back] {
             LoseAt(t, ScriptedLink::Exactly(Proto::readFrame(Proto::FnReadData, 2, 14)), Cut::After, back);
         });
     }},
    {"AvgStart",
     [](RunLinkLoss &t, int back) {
         t.atSecondCalibrationPoint([&t, back] { LoseAt(t, ScriptedLink::Command(Proto::CmdAverageStart), Cut::Before, back); });
     }},
    {"Avg",
     [](RunLinkLoss &t, int back) {
         t.atSecondCalibrationPoint([&t, back] { LoseAt(t, ScriptedLink::Command(Proto::CmdAverageStart), Cut::After, back); });
     }},
    {"AvgStop",
     [](RunLinkLoss &t, int back) {
         t.atSecondCalibrationPoint([&t, back] { LoseAt(t, ScriptedLink::Command(Proto::CmdAverageStop), Cut::Before, back); });
     }},
    {"AvgRead",
     [](RunLinkLoss &t, int back) {
         t.atSecondCalibrationPoint([&t, back] {
             LoseAt(t, ScriptedLink::Exactly(Proto::readFrame(Proto::FnReadData, 44, 6)), Cut::After, back);
         });
     }},
    {"AwaitConfirm",
     [](RunLinkLoss &t, int back) {
         t.opts.writeWithoutConfirmation = false;
         t.atTableReady([&t, back] {
             t.link.loseLink(back);
             QTimer::singleShot(200, t.run.get(), [&t] { t.run->confirmTableWrite(); });
         });
     }},
    {"WriteRead", [](RunLinkLoss &t, int back) { t.atTableReady([&t, back] { LoseAt(t, TableRead(1), Cut::After, back); }); }},
    {"WriteReadRefused", [](RunLinkLoss &t, int back) { t.atTableReady([&t, back] { LoseAt(t, TableRead(1), Cut::Before, back); }); }},
    {"WriteFrames",
     [](RunLinkLoss &t, int back) {
         // After the fifth of the seven: the first Δt values are new, the rest old. (The
         // rig's reference is exact, so the first writes put back the flows already there.)
         t.atTableReady([&t, back] { LoseAt(t, ScriptedLink::Nth(5, IsTableWrite), Cut::After, back); });
     }},
    // The fifth refused from the pacer's queue: four writes in, the rest never sent.
    {"WriteFramesRefused",
     [](RunLinkLoss &t, int back) {
         t.atTableReady([&t, back] { LoseAt(t, ScriptedLink::Nth(5, IsTableWrite), Cut::Before, back); });
     }},
    {"WriteReadBack", [](RunLinkLoss &t, int back) { t.atTableReady([&t, back] { LoseAt(t, TableRead(2), Cut::After, back); }); }},
    {"Recalc",
     [](RunLinkLoss &t, int back) {
         t.atTableReady([&t, back] { LoseAt(t, ScriptedLink::Command(Proto::CmdRecalculate), Cut::Before, back); });
     }},
    {"ReadCoefficients",
     [](RunLinkLoss &t, int back) {
         t.atTableReady([&t, back] { LoseAt(t, ScriptedLink::Command(Proto::CmdRecalculate), Cut::After, back); });
     }},
    {"ReadAfter",
     [](RunLinkLoss &t, int back) {
         QObject::connect(t.run.get(), &TCalibrationRun::pointTaken, [&t, back] {
             if (t.run->record().points.size() == t.total())
                 LoseAt(t, ScriptedLink::Function(Proto::FnReadParams), Cut::After, back);
         });
     }},
    {"ReadAfterRefused",
     [](RunLinkLoss &t, int back) {
         QObject::connect(t.run.get(), &TCalibrationRun::pointTaken, [&t, back] {
             if (t.run->record().points.size() == t.total())
                 LoseAt(t, ScriptedLink::Function(Proto::FnReadParams), Cut::Before, back);
         });
     }},
};

INSTANTIATE_TEST_SUITE_P(Runs, LinkLostAt,
                         ::testing::Combine(::testing::ValuesIn(Losses), ::testing::Values(BackAfter, ScriptedLink::NeverBack)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).stage)
                                    + (std::get<1>(info.param) == ScriptedLink::NeverBack ? "_NeverBack" : "_Back");
                         });

// Answers that go astray while the link stays up: the run never hangs, and the meter
// ends as written or as before.
struct Trouble
{
    const char *name;
    std::function<void(RunLinkLoss &t)> arm;
    RunEnd end;
};

void PrintTo(const Trouble &trouble, std::ostream *os)
{
    *os << trouble.name;
}

class AnswerAstray : public RunLinkLoss, public ::testing::WithParamInterface<Trouble>
{
};

TEST_P(AnswerAstray, RunNeverHangsAndTheMeterIsWholeAfterwards)
{
    const MeterState before = meter();
    GetParam().arm(*this);
    run->start(opts);
    ASSERT_TRUE(WaitFor([this] { return finished > 0; }, RunMs)) << "hangs in state " << int(run->state());
    EXPECT_EQ(link.faultsPending(), 0);
    const RunRecord &r = run->record();
    ASSERT_EQ(r.end, GetParam().end) << r.endReason.toStdString();
    if (r.end == RunEnd::Completed) {
        expectEachPointOnce(r.points);
    } else {
        // A table the meter did not take is never recalculated; the record says its write only began.
        EXPECT_NE(r.tableWrite, TableWrite::Done);
        EXPECT_NE(link.model().lastCommand(), int(Proto::CmdRecalculate));
    }
    expectMeterWhole(before);
}

const FrameMatch AveragesRead = ScriptedLink::Exactly(Proto::readFrame(Proto::FnReadData, 44, 6));

INSTANTIATE_TEST_SUITE_P(
    Runs, AnswerAstray,
    ::testing::Values(
        Trouble{"AveragesAnswerLost",
                [](RunLinkLoss &t) { t.atSecondCalibrationPoint([&t] { t.link.dropAt(AveragesRead); }); }, RunEnd::Completed},
        Trouble{"AveragesAnswerLate",
                [](RunLinkLoss &t) { t.atSecondCalibrationPoint([&t] { t.link.answerLateAt(AveragesRead, 500); }); },
                RunEnd::Completed},
        Trouble{"TableWriteLost",
                [](RunLinkLoss &t) { t.atTableReady([&t] { t.link.dropAt(ScriptedLink::Nth(5, IsTableWrite)); }); },
                RunEnd::Failed}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
