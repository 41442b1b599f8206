// kestroctl calibrate against the simulator executable, its rig reached over Modbus
// TCP: a mis-calibrated meter taken to fit, and the runs that must write nothing.
#include "e2e/sim_process.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString Ctl = QStringLiteral(KESTROCTL_PATH);
// Simulated seconds per second: the plan below takes about a minute of rig time per phase.
const QString TimeScale = QStringLiteral("20");

class KestroctlCalibrate : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.ok()) << sim.startError().toStdString();
        ASSERT_GT(sim.rigPort(), 0);
        writeFile("plan.json", QJsonDocument(plan()).toJson());
    }
    static QJsonObject plan()
    {
        return {{"format", "kestrolink-run-plan"},
                {"version", 1},
                {"name", "short"},
                {"verification_percent", QJsonArray{100, 25, -50}},
                {"averaging_seconds", 10},
                {"sample_period_seconds", 0.5},
                {"stability_window_seconds", 5},
                {"settle_timeout_seconds", 120},
                {"thermometer_phase", false},
                {"zero_phase", false},
                // One run a point: at this time scale the link's 50 ms between frames is
                // a second of a run, and split runs stop repeating under a slow build.
                {"runs_per_point", 1}};
    }
    void writeFile(const char *name, const QByteArray &bytes)
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QString rig() const { return QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(sim.rigPort()); }
    ProgramRun ctl(const QStringList &args, int timeoutMs = 20000)
    {
        return RunProgram(Ctl, QStringList{QStringLiteral("--virtual-port"), sim.devicePath()} + args,
                          {QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("KESTRO_SNAPSHOT_DB=") + path("s.sqlite"),
                           QStringLiteral("XDG_CONFIG_HOME=") + path("cfg")},
                          timeoutMs);
    }
    ProgramRun calibrate(const QStringList &more)
    {
        return ctl(QStringList{"calibrate", "--serial", "KM-0042", "--operator", "Иванов", "--plan", path("plan.json"),
                               "--time-scale", TimeScale}
                       + more,
                   600000);
    }

    QTemporaryDir dir;
    SimProcess sim{{"--time-scale", TimeScale, "--rig-modbus", "0"}};
};

double maxRelative(const QJsonArray &points, const QString &phase)
{
    double worst = 0;
    for (const QJsonValue &v : points) {
        const QJsonObject p = v.toObject();
        if (p.value("phase").toString() == phase)
            worst = std::max(worst, std::abs(p.value("relative_error").toDouble()));
    }
    return worst;
}

} // namespace

TEST_F(KestroctlCalibrate, MisCalibratedMeterLeavesFitAndTheRecordTellsIt)
{
    // The window's settings name the signatory (and an address typed by hand, unquoted);
    // the options name the laboratory and customer, and win over the settings' laboratory.
    ASSERT_TRUE(QDir().mkpath(path("cfg/Velnor")));
    writeFile("cfg/Velnor/KestroLink.conf", "[certificate]\nlaboratory=Old lab\nlaboratory-address=Kazan, Sadovaya 1\n"
                                            "signatory=Petrova A.\n"
                                            "signatory-role=Head of lab\n");
    const ProgramRun run = calibrate({"--rig", rig(), "--json", path("run.json"), "--yes", "--laboratory",
                                      "Rig lab 2", "--customer", "Flow Plant Ltd"});
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    QFile f(path("run.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject record = QJsonDocument::fromJson(f.readAll()).object();
    EXPECT_EQ(record.value("end").toString(), "completed");
    EXPECT_EQ(record.value("meter_serial").toString(), "KM-0042");
    EXPECT_EQ(record.value("operator").toString(), "Иванов");
    const QJsonArray points = record.value("points").toArray();
    QMap<QString, int> perPhase;
    for (const QJsonValue &v : points)
        ++perPhase[v.toObject().value("phase").toString()];
    EXPECT_EQ(perPhase.value("as_found"), 3);
    EXPECT_EQ(perPhase.value("calibration"), 13);
    EXPECT_EQ(perPhase.value("as_left"), 3);
    const double found = maxRelative(points, "as_found"), left = maxRelative(points, "as_left");
    EXPECT_GT(found, 3.0);
    EXPECT_LT(found, 5.0);
    EXPECT_LE(left, 0.05);

    // The table written is the calibration points' own averages.
    const QJsonArray reference = record.value("written_table").toObject().value("reference").toArray();
    const QJsonArray deltaT = record.value("written_table").toObject().value("delta_t").toArray();
    ASSERT_EQ(reference.size(), 13);
    int n = 0;
    for (const QJsonValue &v : points) {
        const QJsonObject p = v.toObject();
        if (p.value("phase").toString() != "calibration")
            continue;
        EXPECT_FLOAT_EQ(float(reference[n].toDouble()), float(p.value("reference_flow").toDouble())) << n;
        EXPECT_FLOAT_EQ(float(deltaT[n].toDouble()), float(p.value("delta_t").toDouble())) << n;
        ++n;
    }

    const ProgramRun runs = ctl({"runs", "--serial", "KM-0042"});
    ASSERT_EQ(runs.exitCode, 0) << runs.err.toStdString();
    EXPECT_TRUE(runs.out.contains(record.value("uuid").toString())) << runs.out.toStdString();
    EXPECT_TRUE(ctl({"runs", "--serial", "other"}).out.isEmpty());
    const ProgramRun shown = ctl({"run", record.value("uuid").toString()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.contains("completed")) << shown.out.toStdString();
    // The completed run's certificate was issued into the store.
    const ProgramRun certificate = ctl({"certificate", "--serial", "KM-0042"});
    ASSERT_EQ(certificate.exitCode, 0) << certificate.err.toStdString();
    EXPECT_TRUE(certificate.out.contains("run " + record.value("uuid").toString())) << certificate.out.toStdString();
    const QJsonObject parties = record.value("parties").toObject();
    EXPECT_EQ(parties.value("laboratory_name").toString(), "Rig lab 2");
    EXPECT_EQ(parties.value("customer_name").toString(), "Flow Plant Ltd");
    EXPECT_EQ(parties.value("signatory_name").toString(), "Petrova A.");
    EXPECT_EQ(parties.value("signatory_role").toString(), "Head of lab");
    EXPECT_EQ(parties.value("laboratory_address").toString(), "Kazan, Sadovaya 1");
    // It was drawn as a PDF too, and names them.
    ASSERT_EQ(ctl({"certificate", "--serial", "KM-0042", "--pdf", path("c.pdf")}).exitCode, 0);
    const ProgramRun text = RunProgram(QStringLiteral("pdftotext"), {path("c.pdf"), QStringLiteral("-")});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    for (const char *name : {"Rig lab 2", "Flow Plant Ltd", "Petrova A.", "Head of lab"})
        EXPECT_TRUE(text.out.contains(QLatin1String(name))) << name << "\n" << text.out.toStdString();
    EXPECT_FALSE(text.out.contains("Old lab"));
}

TEST_F(KestroctlCalibrate, WithoutYesTheTableIsShownAndNothingWritten)
{
    ASSERT_EQ(ctl({"backup"}).exitCode, 0);
    const ProgramRun run = calibrate({"--rig", rig(), "--json", path("run.json")});
    EXPECT_EQ(run.exitCode, 6) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("flow table to write")) << run.out.toStdString();
    QFile f(path("run.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject record = QJsonDocument::fromJson(f.readAll()).object();
    EXPECT_EQ(record.value("end").toString(), "aborted");
    EXPECT_TRUE(record.value("written_table").isNull());
    // Every register as the backup found it.
    const ProgramRun diff = ctl({"diff", "1"});
    EXPECT_EQ(diff.exitCode, 0) << diff.out.toStdString();
}

TEST_F(KestroctlCalibrate, RefusedBeforeAnythingIsSent)
{
    QJsonObject tooMany = plan();
    QJsonArray fourteen;
    for (int k = 0; k < 14; ++k)
        fourteen.append(-100 + k * 15);
    tooMany["calibration_percent"] = fourteen;
    writeFile("bad.json", QJsonDocument(tooMany).toJson());
    // A loopback port nobody listens on.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closed = probe.serverPort();
    probe.close();
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("out.fifo")).constData(), 0600), 0);

    struct Case
    {
        QStringList args;
        int exitCode;
        QString said;
    } cases[] = {
        {{"--rig", rig(), "--plan", path("bad.json")}, 5, "calibration_percent"},
        {{"--rig", QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(closed)}, 8, "ничего не отправлено"},
        {{"--rig", "modbus:udp://x"}, 64, "modbus:udp://x"},
        // Files that are not regular files: refused unread, each a file's fault.
        {{"--rig", rig(), "--rig-map", "/dev/zero"}, 5, "/dev/zero не читается: это не обычный файл"},
        {{"--rig", rig(), "--plan", "/dev/zero"}, 5, "/dev/zero не читается: это не обычный файл"},
        {{"--rig", rig(), "--json", path("out.fifo")}, 5, "out.fifo — не обычный файл"},
        {{"--rig", rig(), "--operator", "Ив\x01анов"}, 64, "--operator: управляющий символ U+0001"},
    };
    for (const Case &c : cases) {
        const ProgramRun run = calibrate(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
    }
    EXPECT_TRUE(ctl({"runs"}).out.isEmpty());
}

// The operator rig: the flow is set and the reference typed at the terminal; when the
// input ends, the run ends, with the points typed so far kept.
TEST(KestroctlCalibrateOperator, PromptsAtTheTerminalAndKeepsWhatWasTyped)
{
    SimProcess sim({"--time-scale", TimeScale, "--flow", "500"});
    ASSERT_TRUE(sim.ok()) << sim.startError().toStdString();
    QTemporaryDir dir;
    QFile plan(dir.filePath("plan.json"));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write(R"({"format": "kestrolink-run-plan", "version": 1, "verification_percent": [50],
                   "thermometer_phase": false, "zero_phase": false, "runs_per_point": 1, "zero_check": "off",
                   "averaging_seconds": 5, "stability_window_seconds": 5, "settle_timeout_seconds": 60})");
    plan.close();
    // Enter for the flow, then a typo the prompt asks again for, then the reading.
    const ProgramRun run = RunProgram(
        Ctl,
        {"--virtual-port", sim.devicePath(), "calibrate", "--rig", "operator", "--serial", "KM-1", "--operator", "Сидоров",
         "--plan", dir.filePath("plan.json"), "--time-scale", TimeScale, "--json", dir.filePath("run.json")},
        {"LC_ALL=C.UTF-8", "KESTRO_SNAPSHOT_DB=" + dir.filePath("s.sqlite")}, 120000, {}, "\n5o0\n499,5\n");
    EXPECT_EQ(run.exitCode, 8) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("Установите расход 500,0 кг/ч")) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("not a number: '5o0'")) << run.out.toStdString();
    QFile f(dir.filePath("run.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject record = QJsonDocument::fromJson(f.readAll()).object();
    EXPECT_EQ(record.value("end").toString(), "aborted");
    EXPECT_EQ(record.value("rig").toObject().value("kind").toString(), "operator");
    // Nobody can set an operator rig: the operator is told to stop the flow, and the record says it is unconfirmed.
    EXPECT_TRUE(run.out.contains("Стенд: остановите расход")) << run.out.toStdString();
    EXPECT_FALSE(record.value("rig_safe").toObject().value("confirmed").toBool(true));
    const QJsonArray points = record.value("points").toArray();
    ASSERT_EQ(points.size(), 1);
    EXPECT_EQ(points[0].toObject().value("phase").toString(), "as_found");
    EXPECT_DOUBLE_EQ(points[0].toObject().value("reference_flow").toDouble(), 499.5);
    EXPECT_TRUE(record.value("written_table").isNull());
}

// A meter that takes command 37 and drops it keeps averaging from the point before: the
// point is refused twice, the run fails with the reason (exit 8) even when unsettled points
// may be taken, and every register stays as the backup found it.
TEST(KestroctlCalibrateMeterFault, AMeterIgnoringTheAveragingResetGetsNoTable)
{
    SimProcess sim({"--time-scale", TimeScale, "--rig-modbus", "0", "--drop-command", "37"});
    ASSERT_TRUE(sim.ok()) << sim.startError().toStdString();
    QTemporaryDir dir;
    QFile plan(dir.filePath("plan.json"));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write(R"({"format": "kestrolink-run-plan", "version": 1, "verification_percent": [100, 25],
                   "thermometer_phase": false, "zero_phase": false, "runs_per_point": 1, "zero_check": "off",
                   "averaging_seconds": 10, "stability_window_seconds": 5, "settle_timeout_seconds": 120})");
    plan.close();
    const QStringList env{"LC_ALL=C.UTF-8", "KESTRO_SNAPSHOT_DB=" + dir.filePath("s.sqlite")};
    const auto ctl = [&](const QStringList &args) {
        return RunProgram(Ctl, QStringList{"--virtual-port", sim.devicePath()} + args, env, 600000);
    };
    ASSERT_EQ(ctl({"backup"}).exitCode, 0);
    const ProgramRun run =
        ctl({"calibrate", "--rig", QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(sim.rigPort()), "--serial", "KM-3",
             "--operator", "Иванов", "--plan", dir.filePath("plan.json"), "--time-scale", TimeScale, "--json",
             dir.filePath("run.json"), "--accept-unsettled", "--yes"});
    EXPECT_EQ(run.exitCode, 8) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("не выполнил команды")) << run.err.toStdString();
    QFile f(dir.filePath("run.json"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject record = QJsonDocument::fromJson(f.readAll()).object();
    EXPECT_EQ(record.value("end").toString(), "failed");
    EXPECT_TRUE(record.value("written_table").isNull());
    EXPECT_EQ(record.value("points").toArray().size(), 1);
    const ProgramRun diff = ctl({"diff", "1"});
    EXPECT_EQ(diff.exitCode, 0) << diff.out.toStdString();
}
