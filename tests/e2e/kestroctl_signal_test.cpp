// kestroctl and the termination signals: a calibration run against the simulator ends
// as an abort does in every phase (record, restore, the rig at its idle set point), a
// run survives a busy rig and a short drop of its connection, and the other commands
// end cleanly.
#include "e2e/sim_process.h"
#include "rig/modbus_float.h"
#include "rig/sim_rig_map.h"
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QModbusReply>
#include <QModbusTcpClient>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QString Ctl = QStringLiteral(KESTROCTL_PATH);
const QString TimeScale = QStringLiteral("20");
constexpr int RunMs = 300000;

// Runs a program; at each marker its standard output shows, in turn, sends the signal.
ProgramRun SignalAt(const QStringList &args, const QStringList &env, const QStringList &markers, int signo)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : env)
        e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    p.setProcessEnvironment(e);
    p.start(Ctl, args);
    p.closeWriteChannel();
    ProgramRun run;
    QByteArray out;
    qsizetype next = 0;
    const bool ended = QTest::qWaitFor(
        [&] {
            out += p.readAllStandardOutput();
            if (next < markers.size() && out.contains(markers[next].toUtf8())) {
                ::kill(pid_t(p.processId()), signo);
                ++next;
            }
            return p.state() == QProcess::NotRunning;
        },
        RunMs);
    if (!ended) {
        p.kill();
        p.waitForFinished(1000);
        run.err = QStringLiteral("timed out");
        return run;
    }
    out += p.readAllStandardOutput();
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(out);
    run.err = QString::fromUtf8(p.readAllStandardError());
    if (next < markers.size())
        run.err += QStringLiteral("\n[marker never seen: %1]").arg(markers[next]);
    return run;
}

// The set point the simulated rig holds now, read over Modbus as any client would.
std::optional<double> RigSetpoint(quint16 port)
{
    QModbusTcpClient client;
    client.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    client.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    if (!client.connectDevice()
        || !QTest::qWaitFor([&] { return client.state() == QModbusDevice::ConnectedState; }, 10000))
        return std::nullopt;
    QModbusReply *reply = client.sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::HoldingRegisters, SimRigMap::FlowSetpoint, 2), SimRigMap::UnitId);
    if (!reply || !QTest::qWaitFor([&] { return reply->isFinished(); }, 10000))
        return std::nullopt;
    reply->deleteLater();
    const QModbusDataUnit unit = reply->result();
    if (reply->error() != QModbusDevice::NoError || unit.valueCount() != 2)
        return std::nullopt;
    return double(RegistersToFloat(unit.value(0), unit.value(1), WordOrder::HighFirst));
}

class KestroctlSignals : public ::testing::Test
{
protected:
    void start(const QStringList &simFaults = {})
    {
        sim = std::make_unique<SimProcess>(QStringList{"--time-scale", TimeScale, "--rig-modbus", "0"} + simFaults);
        ASSERT_TRUE(sim->ok()) << sim->startError().toStdString();
        writeFile("plan.json", R"({"format": "kestrolink-run-plan", "version": 1, "verification_percent": [100], "thermometer_phase": false, "zero_phase": false, "runs_per_point": 1, "zero_check": "off",
            "averaging_seconds": 4, "sample_period_seconds": 0.5, "stability_window_seconds": 3,
            "settle_timeout_seconds": 120})");
        // The simulated rig's own map, with a pump left turning slowly after a run.
        writeFile("idle.json", R"({"version": 1, "reference": {"table": "input", "address": 0},
            "setpoint": {"address": 0}, "rig_flow": {"table": "input", "address": 2}, "idle_setpoint": 5})");
    }
    void writeFile(const char *name, const QByteArray &bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QStringList env() const { return {"LC_ALL=C.UTF-8", "KESTRO_SNAPSHOT_DB=" + path("s.sqlite")}; }
    QStringList calibrate(const QStringList &more) const
    {
        return QStringList{"--virtual-port", sim->devicePath(), "calibrate", "--serial", "KM-0042", "--operator", "Иванов",
                           "--plan", path("plan.json"), "--time-scale", TimeScale, "--yes", "--json", path("run.json"),
                           "--rig", QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(sim->rigPort())}
               + more;
    }
    ProgramRun ctl(const QStringList &args)
    {
        return RunProgram(Ctl, QStringList{"--virtual-port", sim->devicePath()} + args, env(), 60000);
    }
    QJsonObject record() const
    {
        QFile f(path("run.json"));
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
    }

    QTemporaryDir dir;
    std::unique_ptr<SimProcess> sim;
};

struct PhaseSignal
{
    const char *name;
    QStringList markers; // a signal at each
    int signo;
    const char *signalName;
    bool withIdleMap;
    bool written;        // the table was in the meter before the restore
    const char *saidOnStderr;
};

class SignalInPhase : public KestroctlSignals, public ::testing::WithParamInterface<PhaseSignal>
{
};

TEST_P(SignalInPhase, EndsTheRunAsAbortedRestoredWithTheRigIdle)
{
    const PhaseSignal &c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(ctl({"backup"}).exitCode, 0);
    QStringList more{"--restore-on-abort"};
    if (c.withIdleMap)
        more << "--rig-map" << path("idle.json");
    const ProgramRun run = SignalAt(calibrate(more), env(), c.markers, c.signo);
    ASSERT_EQ(run.exitCode, 8) << run.out.toStdString() << run.err.toStdString();
    const QJsonObject r = record();
    EXPECT_EQ(r.value("end").toString(), "aborted");
    EXPECT_TRUE(r.value("end_reason").toString().contains(QString::fromUtf8(c.signalName)))
        << r.value("end_reason").toString().toStdString();
    EXPECT_EQ(r.value("written_table").isObject(), c.written);
    if (c.written) {
        EXPECT_EQ(r.value("written_table").toObject().value("reference").toArray().size(), 13);
        EXPECT_TRUE(run.out.contains("restoring the calibration")) << run.out.toStdString();
    }
    if (*c.saidOnStderr) {
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.saidOnStderr))) << run.err.toStdString();
    }

    const double idle = c.withIdleMap ? 5.0 : 0.0;
    const QJsonObject safe = r.value("rig_safe").toObject();
    EXPECT_EQ(safe.value("setpoint").toDouble(-1), idle);
    EXPECT_TRUE(safe.value("confirmed").toBool()) << safe.value("message").toString().toStdString();
    EXPECT_TRUE(run.out.contains("Стенд: уставка")) << run.out.toStdString();
    EXPECT_EQ(RigSetpoint(sim->rigPort()), idle);
    // Every register as the backup found it.
    const ProgramRun diff = ctl({"diff", "1"});
    EXPECT_EQ(diff.exitCode, 0) << diff.out.toStdString() << diff.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Phases, SignalInPhase,
    ::testing::Values(
        PhaseSignal{"AsFound", {"(as_found)"}, SIGINT, "SIGINT", false, false, ""},
        PhaseSignal{"Calibration", {"(calibration)\npoint 1"}, SIGTERM, "SIGTERM", true, false, ""},
        PhaseSignal{"TableWrite", {"writing the flow table"}, SIGHUP, "SIGHUP", true, true, ""},
        // The second signal comes during the restore, which goes on to its end.
        PhaseSignal{"AsLeftAndAgainWhileRestoring", {"(as_left)", "restoring the calibration"}, SIGINT, "SIGINT",
                    false, true, "идёт восстановление калибровки прибора"}),
    [](const auto &info) { return std::string(info.param.name); });

// One "busy" answer and a 0.3 s drop of every rig connection, both mid-calibration:
// retried, re-opened, the point taken again, and the run completes.
TEST_F(KestroctlSignals, ARunSurvivesABusyAnswerAndAShortRigDrop)
{
    ASSERT_NO_FATAL_FAILURE(start({"--rig-busy-after", "3", "--rig-drop-after", "6", "--rig-drop-ms", "300"}));
    const ProgramRun run = RunProgram(Ctl, calibrate({}), env(), RunMs);
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("устройство занято")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("связь со стендом потеряна")) << run.err.toStdString();
    const QJsonObject r = record();
    EXPECT_EQ(r.value("end").toString(), "completed");
    EXPECT_EQ(r.value("points").toArray().size(), 15);
    EXPECT_TRUE(r.value("rig_safe").toObject().value("confirmed").toBool());
    EXPECT_EQ(RigSetpoint(sim->rigPort()), 0.0);
}

// A command that is not a run ends at a signal with the shell's code for it, its
// output whole and the meter's port let go.
TEST_F(KestroctlSignals, OtherCommandsEndCleanlyWithTheSignalsCode)
{
    ASSERT_NO_FATAL_FAILURE(start());
    const struct
    {
        int signo;
        int exitCode;
    } cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
    for (const auto &c : cases) {
        const ProgramRun run = SignalAt({"--virtual-port", sim->devicePath(), "live"}, env(), {"\n"}, c.signo);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.signo << run.err.toStdString();
        EXPECT_TRUE(run.out.endsWith('\n')) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains("прервано")) << run.err.toStdString();
    }
    // The port is free again.
    EXPECT_EQ(ctl({"read", "settings"}).exitCode, 0);
}

} // namespace
