// kestroctl calibrate with the thermometer and the zero by temperature before the flow,
// against the simulator's meter and its Modbus rig with a thermostat and a reference
// thermometer: the whole calibration with no keystroke, and a thermometer that sticks.
#include "e2e/sim_process.h"
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

namespace {

const QString Ctl = QStringLiteral(KESTROCTL_PATH);
const QString TimeScale = QStringLiteral("40");

struct TemperatureCase
{
    const char *name;
    QStringList simFaults;
    bool yes;
    int exitCode;
    const char *said; // on standard error; empty: nothing asked
    bool written;     // the thermometer's and the zero's points reached the meter
};

class KestroctlTemperature : public ::testing::TestWithParam<TemperatureCase>
{
};

QJsonObject readRecord(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

} // namespace

TEST_P(KestroctlTemperature, CalibratesOrWritesNothing)
{
    const TemperatureCase &c = GetParam();
    SimProcess sim(QStringList{"--time-scale", TimeScale, "--rig-modbus", "0"} + c.simFaults);
    ASSERT_TRUE(sim.ok()) << sim.startError().toStdString();
    QTemporaryDir dir;
    QFile plan(dir.filePath("plan.json"));
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    // One run a point: at this time scale the link's 50 ms between frames is 2 s of a run.
    plan.write(R"({"format": "kestrolink-run-plan", "version": 1, "verification_percent": [100, -50],
                   "averaging_seconds": 10, "stability_window_seconds": 10, "settle_timeout_seconds": 120,
                   "temperature_timeout_seconds": 300, "zero_averaging_seconds": 40, "runs_per_point": 1})");
    plan.close();
    const QStringList env{"LC_ALL=C.UTF-8", "KESTRO_SNAPSHOT_DB=" + dir.filePath("s.sqlite")};
    const QStringList port{"--virtual-port", sim.devicePath()};
    ASSERT_EQ(RunProgram(Ctl, port + QStringList{"backup"}, env, 20000).exitCode, 0);
    QStringList args = port + QStringList{"calibrate", "--rig", QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(sim.rigPort()),
                                          "--serial", "KM-7", "--operator", "Петров", "--plan", dir.filePath("plan.json"),
                                          "--time-scale", TimeScale, "--json", dir.filePath("run.json")};
    if (c.yes)
        args << "--yes";
    // No input at all: a run that asked the operator anything would end at once.
    const ProgramRun run = RunProgram(Ctl, args, env, 600000, {}, "");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.said))) << run.err.toStdString();
    EXPECT_FALSE(run.out.contains("press Enter")) << run.out.toStdString();
    const QJsonObject record = readRecord(dir.filePath("run.json"));
    ASSERT_FALSE(record.isEmpty());
    const QJsonObject adjustments = record.value("adjustments").toObject();
    if (!c.written) {
        for (const char *key : {"thermometer", "zero"})
            EXPECT_FALSE(adjustments.value(key).toObject().value("points_written").isArray()) << key;
        // Every register as the backup found it.
        const ProgramRun diff = RunProgram(Ctl, port + QStringList{"diff", "1"}, env, 20000);
        EXPECT_EQ(diff.exitCode, 0) << diff.out.toStdString();
        return;
    }
    EXPECT_EQ(record.value("end").toString(), "completed") << record.value("end_reason").toString().toStdString();
    EXPECT_TRUE(run.out.contains("writing the thermometer points")) << run.out.toStdString();
    for (const char *key : {"thermometer", "zero"}) {
        const QJsonObject a = adjustments.value(key).toObject();
        EXPECT_TRUE(a.value("written").toBool()) << key;
        EXPECT_TRUE(a.value("check_fits").toBool()) << key;
    }
    int checks = 0;
    for (const QJsonValue &v : record.value("points").toArray()) {
        const QJsonObject p = v.toObject();
        const QString phase = p.value("phase").toString();
        if (phase == "thermometer_check" || phase == "zero_temperature_check") {
            ++checks;
            const double limit = phase == "thermometer_check" ? 0.1 : 0.05;
            EXPECT_LE(std::abs(p.value("temperature").toObject().value("error").toDouble()), limit) << phase.toStdString();
        }
        if (phase == "as_left") {
            EXPECT_LE(std::abs(p.value("relative_error").toDouble()), 0.05);
        }
    }
    EXPECT_EQ(checks, 4);
}

const TemperatureCase Cases[] = {
    {"WholeCalibrationWithNoKeystroke", {}, true, 0, "", true},
    {"WithoutYesNothingIsWritten", {}, false, 6, "", false},
    {"AStuckThermometerEndsThePhaseWithNothingWritten", {"--rig-stuck-temperature-after", "150"}, true, 8, "", false},
};

INSTANTIATE_TEST_SUITE_P(Calibrate, KestroctlTemperature, ::testing::ValuesIn(Cases),
                         [](const auto &info) { return std::string(info.param.name); });
