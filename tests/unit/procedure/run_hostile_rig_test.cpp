// Runs against the simulated meter whose rig is reached through the real Modbus driver,
// with the rig's answers bent as a broken rig or a wrong map bends them, and a meter that
// ignores its averaging command: the run refuses before the table is written, says which
// rule, and the meter keeps every parameter it had.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "meter_writes.h"
#include "procedure/calibration_run.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include "rig/modbus_rig.h"
#include "sim/meter_server.h"
#include "sim/rig_modbus_server.h"
#include <QModbusDataUnit>
#include <QTemporaryDir>
#include <QTest>
#include <bit>
#include <gtest/gtest.h>

namespace {

constexpr double TimeScale = 25.0;
constexpr int RunMs = 90000;

enum class Bend { None, Stuck, Reversed, OutOfRange };

// The simulator's rig with its reference bent once `bent` is set, as a proxy would.
class BentRig : public RigModbusServer
{
public:
    using RigModbusServer::RigModbusServer;
    Bend bend = Bend::None;
    bool bent = false;

protected:
    bool readData(QModbusDataUnit *unit) const override
    {
        if (!RigModbusServer::readData(unit))
            return false;
        const int at = SimRigMap::ReferenceFlow - unit->startAddress();
        if (!bent || bend == Bend::None || unit->registerType() != QModbusDataUnit::InputRegisters || at < 0
            || at + 2 > int(unit->valueCount()))
            return true;
        float v = std::bit_cast<float>(quint32(unit->value(at)) << 16 | unit->value(at + 1));
        v = bend == Bend::Stuck ? 500.0f : bend == Bend::Reversed ? -v : 3e38f;
        const quint32 bits = std::bit_cast<quint32>(v);
        unit->setValue(at, quint16(bits >> 16));
        unit->setValue(at + 1, quint16(bits & 0xFFFF));
        return true;
    }
};

struct Hostility
{
    const char *name;
    Bend bend;
    RunPhase from;          // the bend starts with this phase
    bool echoSetpoint;      // the map reads the reference at the set point's register
    quint16 droppedCommand; // the meter takes this command and drops it
    const char *says;
};

void PrintTo(const Hostility &h, std::ostream *os)
{
    *os << h.name;
}

class HostileRig : public ::testing::TestWithParam<Hostility>
{
protected:
    void SetUp() override
    {
        SimOptions sim;
        sim.timeScale = TimeScale;
        sim.linkPath = linkDir.filePath(QStringLiteral("meter"));
        server = std::make_unique<MeterServer>(sim);
        ASSERT_TRUE(server->start());
        dm = std::make_unique<TDM_1>(std::make_unique<CandidatePorts>(
            QList<VirtualPort>{{server->devicePath(), QStringLiteral("KESTRO SIM")}}, nullptr));
        dm->findDevicePort();
        ASSERT_TRUE(dm->isPortOpen());
        auto store = std::make_unique<TRecordStore>(dir.filePath(QStringLiteral("s.sqlite")));
        ASSERT_TRUE(store->open());
        records = std::make_unique<TCalibrationRecords>(*dm, std::move(store));
        modbus = std::make_unique<BentRig>(server.get());
        ASSERT_TRUE(modbus->listen(0));
        QString error;
        std::optional<RigConfig> config =
            ParseRigName(QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(modbus->port()), &error);
        ASSERT_TRUE(config) << error.toStdString();
        if (GetParam().echoSetpoint)
            config->map.reference = *config->map.setpoint;
        rig = std::make_unique<TModbusRig>(*config);
        run = std::make_unique<TCalibrationRun>(*dm, *records, *rig);

        opts.plan.name = QStringLiteral("короткий");
        opts.plan.thermometerPhase = opts.plan.zeroPhase = false;
        opts.plan.runsPerPoint = 1;
        opts.plan.zeroCheck = RunPlan::ZeroCheckMode::Off;
        opts.plan.verificationPercent = {100, 50, -50};
        opts.plan.calibrationPercent = QList<double>(MeterModel::FlowPointsPercent.begin(), MeterModel::FlowPointsPercent.end());
        opts.plan.averagingSeconds = 3;
        opts.plan.samplePeriodSeconds = 1;
        opts.plan.stabilityWindowSeconds = 3;
        opts.plan.settleTimeoutSeconds = 120;
        opts.timeScale = TimeScale;
        opts.writeWithoutConfirmation = true;
        opts.meterSerial = QStringLiteral("SIM-2");
    }
    QVector<quint16> params() const
    {
        QVector<quint16> p;
        for (int reg = 2; reg <= MeterModel::ParamRegisters; ++reg)
            p << server->model().paramWord(reg);
        return p;
    }

    QTemporaryDir dir, linkDir;
    std::unique_ptr<MeterServer> server;
    std::unique_ptr<TDM_1> dm;
    std::unique_ptr<TCalibrationRecords> records;
    std::unique_ptr<BentRig> modbus;
    std::unique_ptr<TModbusRig> rig;
    std::unique_ptr<TCalibrationRun> run;
    RunOptions opts;
};

} // namespace

TEST_P(HostileRig, TheRunFailsBeforeTheWriteNamingTheRule)
{
    const Hostility &h = GetParam();
    modbus->bend = h.bend;
    if (h.droppedCommand)
        server->model().setDroppedCommands({h.droppedCommand});
    const QVector<quint16> before = params();
    int finished = 0, refusedPoints = 0;
    QObject::connect(run.get(), &TCalibrationRun::pointStarted, [&](RunPhase phase) {
        modbus->bent = modbus->bent || phase == h.from;
    });
    // As kestroctl does: nobody to ask, so a pause ends the run with its reason.
    QObject::connect(run.get(), &TCalibrationRun::paused, [&](const QString &why) {
        ++refusedPoints;
        run->fail(why);
    });
    QObject::connect(run.get(), &TCalibrationRun::finished, [&] { ++finished; });
    server->clearReceived();
    // Even a run that takes an unsettled point as it is refuses an implausible one.
    opts.acceptUnsettled = true;
    run->start(opts);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished > 0; }, RunMs)) << int(run->state());

    const RunRecord &r = run->record();
    EXPECT_EQ(r.end, RunEnd::Failed);
    EXPECT_EQ(refusedPoints, 1);
    EXPECT_TRUE(r.endReason.contains(QString::fromUtf8(h.says))) << r.endReason.toStdString();
    EXPECT_FALSE(r.writtenTable);
    EXPECT_FALSE(run->canRestoreBefore());
    EXPECT_LT(r.pointsOf(RunPhase::Calibration).size(), opts.plan.calibrationPercent.size());
    EXPECT_EQ(params(), before);
    // Nothing but commands went to the meter's parameters.
    const QStringList writes = ParameterWrites(*server);
    EXPECT_TRUE(writes.isEmpty()) << writes.join(QLatin1Char(' ')).toStdString();
    const std::optional<RunRecord> stored = records->store().run(r.uuid);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->end, RunEnd::Failed);
    EXPECT_EQ(stored->points.size(), r.points.size());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, HostileRig,
    ::testing::Values(Hostility{"StuckAt500", Bend::Stuck, RunPhase::Calibration, false, 0, "застыло"},
                      Hostility{"SignReversed", Bend::Reversed, RunPhase::Calibration, false, 0, "не следует уставке"},
                      Hostility{"SetPointEchoed", Bend::None, RunPhase::AsFound, true, 0, "застыло"},
                      Hostility{"OutOfRange3e38", Bend::OutOfRange, RunPhase::Calibration, false, 0, "больше трёх Q Max"},
                      Hostility{"MeterIgnoresCommand37", Bend::None, RunPhase::AsFound, false, Proto::CmdAverageReset,
                                "не выполнил команды"}),
    [](const auto &info) { return std::string(info.param.name); });
