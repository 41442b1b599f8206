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
};

namespace RunPlanFile {
RunPlan Default();
// Strict: unknown or missing fields, wrong types, out-of-range values are refused
// with a message naming the field ("calibration_percent[3]: ...").
std::optional<RunPlan> Parse(const QByteArray &json, QString *error);
std::optional<RunPlan> Load(const QString &path, QString *error);
// The same checks on a plan made in code or a window.
bool Check(const RunPlan &plan, QString *error);
QJsonObject ToJson(const RunPlan &plan);
} // namespace RunPlanFile
