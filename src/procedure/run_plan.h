#pragma once
// What a calibration run does: the flows of each phase in percent of Q Max, how a
// point is judged settled and how long it is averaged, and the tolerance of the
// verdict. A small versioned JSON file; the built-in default needs none.
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

struct RunPlan
{
    static constexpr int FormatVersion = 1;

    QString name;
    // As found and as left, in this order: ±100, ±50, ±25, ±10 % by default.
    QList<double> verificationPercent;
    // The flow table's 13 points, ascending, -100 .. 100 (the flow tab's percentages).
    QList<double> calibrationPercent;
    double tolerancePercent = 0.2;      // the verdict's limit on each point's error
    double averagingSeconds = 20.0;     // meter and reference over the same interval
    double samplePeriodSeconds = 0.5;   // how often meter and reference are read while settling
    double stabilityWindowSeconds = 10.0;
    // Both relative to Q Max, in percent, for the meter's mass flow and the reference alike.
    double stabilitySigmaPercent = 0.5;
    double stabilityDriftPercent = 0.5;
    double flowTolerancePercent = 2.0;  // the rig's flow within this of the set point (of Q Max)
    double settleTimeoutSeconds = 300.0; // per attempt; a point gets two attempts
    // Before the table is written, meter and reference may differ by this much at a point
    // (relative to the reference; of Q Max within the flow tolerance of zero). More means
    // the rig, not the meter, is off: the run stops.
    double maxAsFoundErrorPercent = 10.0;

    // Which phases the run does, in this order; the flow phases are as found,
    // calibration and as left.
    bool thermometerPhase = true;
    bool zeroPhase = true;
    bool flowPhase = true;
    bool verificationPhase = true;
    // The two fluid temperatures of the thermometer and zero phases (°C, ~20 and ~60).
    double lowTemperature = 20.0, highTemperature = 60.0;
    // Tube and reference thermometer within this of each other and of the set point (°C).
    double temperatureTolerance = 1.0;
    // Stable: σ and drift over the stability window (°C).
    // A tube still approaching the fluid is off it by about drift × its time constant over
    // the window, so the drift limit is the tighter one.
    double temperatureSigma = 0.05, temperatureDrift = 0.02;
    double temperatureTimeoutSeconds = 1800.0; // per temperature: heating or cooling and settling
    // The thermometer's check after the write: tube against reference (°C).
    double thermometerCheckTolerance = 0.1;
    // The zero's check after the write: |Δt| at no flow, the meter's own mean (ns).
    double zeroLimitNs = 0.05;
    // The zero's points and check are averaged longer than a flow point: the raw Δt
    // scatters by a quarter of a nanosecond from cycle to cycle.
    double zeroAveragingSeconds = 60.0;
    // The zero check at no flow before the as found.
    enum class ZeroCheckMode { Stop, Report, Off };
    ZeroCheckMode zeroCheck = ZeroCheckMode::Report;
    double zeroCheckSeconds = 30.0;
    double zeroStabilityPercent = 0.01; // of Q Max, for the mean and σ of the flow at no flow

    // Each point's averaging interval, split into this many consecutive runs.
    int runsPerPoint = 3;
    int maxRunsPerPoint = 5;
    double repeatabilityLimitPercent = 0.05; // max − min of the runs' errors
    QString decisionRule = QStringLiteral("simple"); // "simple" or "guarded"
};

namespace RunPlanFile {
RunPlan Default();
// "stop", "report", "off".
QString ZeroCheckKey(RunPlan::ZeroCheckMode mode);
std::optional<RunPlan::ZeroCheckMode> ZeroCheckFromKey(const QString &key);
// Strict: unknown or missing fields, wrong types, out-of-range values are refused
// with a message naming the field ("calibration_percent[3]: ...").
std::optional<RunPlan> Parse(const QByteArray &json, QString *error);
std::optional<RunPlan> Load(const QString &path, QString *error);
// The same checks on a plan made in code or a window.
bool Check(const RunPlan &plan, QString *error);
QJsonObject ToJson(const RunPlan &plan);
} // namespace RunPlanFile
