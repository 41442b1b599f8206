#pragma once
// What a run adjusts besides the flow table: the thermometer and the zero by
// temperature, each a two-point calibration, and the zero check at no flow that
// follows them. Kept in the run record beside its points.
#include <QJsonObject>
#include <QString>
#include <array>
#include <optional>

// A point taken at a fluid temperature (the thermometer's and the zero's phases and
// their checks), beside the flow figures a RunPoint carries.
struct PointTemperature
{
    double setpoint = 0;             // °C, the fluid temperature asked of the rig or the operator
    double referenceTemperature = 0; // °C, the reference thermometer's mean over the interval
    double tubeTemperature = 0;      // °C, the meter's tube temperature, mean over the interval
    std::optional<double> adcCode;   // the thermometer's ADC code, mean over the interval
    std::optional<double> deltaT;    // ns, the meter's Δt at no flow, mean over the interval
    double referenceSigma = 0, tubeSigma = 0; // °C, when the interval opened
    std::optional<double> error;     // the check's error: °C for the thermometer, ns or kg/h for the zero
    std::optional<bool> fits;        // the check against the plan's limit
    // A check at the first temperature, from the coefficients the meter computed and what
    // it measured there (the run does not heat twice); false: measured anew.
    bool computed = false;
};

// A two-point calibration as the run found and left it, in register order
// (temperature at ~20 °C, value, temperature at ~60 °C, value) and its A, B.
struct TwoPointAdjustment
{
    std::optional<std::array<float, 4>> pointsBefore, pointsWritten;
    std::optional<std::array<float, 2>> coefficientsBefore, coefficientsAfter;
    bool written = false;          // the points were written and read back as sent
    std::optional<bool> checkFits; // both check points within the plan's limit
};

// The meter's mass flow averaged at no flow, after any zero adjustment.
struct ZeroCheck
{
    double seconds = 0;
    int samples = 0;
    double meanKgPerHour = 0;
    double sigmaKgPerHour = 0;
    double limitKgPerHour = 0;         // the plan's zero stability of Q Max
    std::optional<float> storedZero;   // the meter's stored zero value, where it reports one
    std::optional<bool> withinLimit;
};

struct RunAdjustments
{
    std::optional<TwoPointAdjustment> thermometer, zero;
    std::optional<ZeroCheck> zeroCheck;
    bool isEmpty() const { return !thermometer && !zero && !zeroCheck; }
};

namespace RunAdjustmentsJson {
QJsonObject ToJson(const PointTemperature &p);
QJsonObject ToJson(const RunAdjustments &a);
// False, and what is wrong, on a damaged object; an empty object gives the empty value.
bool FromJson(const QJsonObject &o, PointTemperature &p, QString *error);
bool FromJson(const QJsonObject &o, RunAdjustments &a, QString *error);
} // namespace RunAdjustmentsJson
