#pragma once
// What a calibration run will not take on trust: a point the rig or the meter cannot
// have measured, and a flow table no meter could have. One table of rules, each with
// the message the operator reads; the run retakes a refused point once, then pauses
// with the message, and writes the table only when every rule holds.
#include <QList>
#include <QString>
#include <optional>

namespace Plausibility {

// A reference beyond three times Q Max is not a flow: rigs run up to a fifth past the
// meter's Q Max, and three leaves room for a rig sized for the next larger meter while
// refusing what a wrong register, scale or word order gives (1e9, 3e38).
constexpr double ReferenceQMaxMultiple = 3.0;
// The averaging time the meter reports may differ from the interval the run held open
// by half of it (at least two of the meter's 0.1 s cycles). The faults this is for are
// gross: a meter that kept averaging from an earlier point reports at least twice the
// interval, one that never started reports none; half leaves the line's latency at
// either end, on a busy machine and a sped-up simulator too, well inside.
constexpr double AveragingMarginShare = 0.5;
constexpr double AveragingMarginSeconds = 0.2;
// Fewest readings that can show a reference without any scatter.
constexpr int FrozenMinReadings = 3;

struct Limits
{
    double qMax = 0;                   // kg/h
    double flowTolerancePercent = 0;   // of Q Max
    double maxAsFoundErrorPercent = 0; // meter against reference, before the table is written
};

// One point as the run would keep it.
struct Point
{
    QString title;              // "калибровка, точка 3"
    double targetFlow = 0;      // kg/h
    bool rigSetsFlow = false;   // the rig was given the set point (not the operator)
    bool beforeWrite = false;   // the meter still measures with the calibration it came with
    double reference = 0;       // the interval's mean, kg/h
    double meterFlow = 0;       // the meter's own mean, kg/h
    double meterSeconds = 0;    // the averaging time the meter reports
    double openedSeconds = 0;   // the interval the run held open
    // The reference's readings over the stability window and the interval together.
    int referenceReadings = 0;
    double referenceLow = 0, referenceHigh = 0;
};

// One calibration point of the flow table.
struct TablePoint
{
    double percent = 0;   // the plan's, of Q Max
    double reference = 0; // kg/h
    double deltaT = 0;    // ns
};

struct Refusal
{
    const char *rule; // "reference_frozen": for the log and the tests
    QString message;
};

// A point taken at a fluid temperature, as the run would keep it (°C).
struct TemperaturePoint
{
    QString title;                   // "термометр, точка 2"
    double setpoint = 0;
    bool rigSetsTemperature = false; // the rig was given the set point (not the operator)
    double reference = 0;            // the reference thermometer's mean over the interval
    double tube = 0;                 // the meter's tube, mean over the interval
    int meterSamples = 0;            // the meter's live reads over the interval
    double meterSeconds = 0, openedSeconds = 0;
    // The reference thermometer's readings over the stability window and the interval
    // (none when the operator typed it).
    int referenceReadings = 0;
    double referenceLow = 0, referenceHigh = 0;
    double tolerance = 0;            // the plan's: reference within this of the set point
};

// Rigs hold water and glycol between these; a wrong register or scale gives far more.
constexpr double LowestTemperature = -50.0, HighestTemperature = 200.0;

// The meter's averaging time against the interval the run held open.
bool AveragingHappened(double meterSeconds, double openedSeconds);

// The first rule the point breaks; none for a point that may be kept.
std::optional<Refusal> CheckTemperature(const TemperaturePoint &point);
// The first rule the point breaks; none for a point that may be kept.
std::optional<Refusal> CheckPoint(const Point &point, const Limits &limits);
// The calibration points taken so far, in the plan's order: the first rule they break.
std::optional<Refusal> CheckTable(const QList<TablePoint> &points, const Limits &limits);

} // namespace Plausibility
