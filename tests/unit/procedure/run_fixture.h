#pragma once
// A calibration run against the simulated meter on a pseudo-terminal, with a rig over
// the same model, a store in a temporary folder and a short flow-only plan.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "meter_writes.h"
#include "model_rig.h"
#include "procedure/calibration_run.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include "sim/meter_server.h"
#include "link/transmit_pacer.h"
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>


namespace RunFixture {
constexpr double TimeScale = 25.0;
constexpr int RunMs = 90000;
} // namespace RunFixture

using RunFixture::RunMs;
using RunFixture::TimeScale;


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
        auto store = std::make_unique<TRecordStore>(dir.filePath(QStringLiteral("s.sqlite")));
        ASSERT_TRUE(store->open());
        records = std::make_unique<TCalibrationRecords>(*dm, std::move(store));
        rig = std::make_unique<ModelRig>(server->model(), [this] { server->catchUp(); });
        run = std::make_unique<TCalibrationRun>(*dm, *records, *rig);
        QObject::connect(run.get(), &TCalibrationRun::finished, [this](const RunRecord &) { ++finished; });
        QObject::connect(run.get(), &TCalibrationRun::stateChanged, [this](RunState s) { states << s; });
        QObject::connect(run.get(), &TCalibrationRun::paused, [this](const QString &why) { pausedWith << why; });
        QObject::connect(run.get(), &TCalibrationRun::pointTaken, [this](const RunPoint &p) { taken << p; });
        opts.plan.name = QStringLiteral("короткий");
        opts.plan.thermometerPhase = opts.plan.zeroPhase = false;
        // One run a point and no zero check: the tests of those enable them.
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
        opts.reconnectMs = 5000;
        opts.meterSerial = QStringLiteral("SIM-1");
    }
    void runToEnd()
    {
        run->start(opts);
        ASSERT_TRUE(QTest::qWaitFor([this] { return finished > 0; }, RunMs)) << int(run->state()) << (pausedWith.isEmpty() ? QString() : pausedWith.last()).toStdString();
    }
    int total() const { return int(2 * opts.plan.verificationPercent.size() + opts.plan.calibrationPercent.size()); }
    // The store's file takes runs but no snapshot from now on, as a full or broken one may.
    void refuseSnapshots()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("refuse"));
            db.setDatabaseName(dir.filePath(QStringLiteral("s.sqlite")));
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON snapshot "
                                              "BEGIN SELECT RAISE(ABORT, 'снимки не принимаются'); END")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("refuse"));
    }
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
