#pragma once
// What a snapshot must hold before anything trusts it: every area the length the
// meter's registers have, and, before the meter is given them, values a meter can
// hold. A snapshot from a damaged store or a file edited by hand stops here, with
// the area and the value named.
#include "records/snapshot.h"

namespace SnapshotCheck {
// Physical limits of what may be written (also stated in the README).
constexpr double MaxDensity = 25000.0;     // kg/m³, the fixed density; 0 and up
constexpr double MinTemperature = -200.0;  // °C, thermometer and zero points
constexpr double MaxTemperature = 500.0;
constexpr double MaxAdcCode = 16777215.0;  // a 24-bit code, 0 and up
constexpr double MaxFlow = 1.0e7;          // kg/h, Q Max (0 and up) and |reference flow|
constexpr double MaxDeltaT = 1.0e6;        // ns, |Δt| of zero and flow points

// Every area of the snapshot, and of what the meter refused, has its register count.
bool Shape(const Snapshot &snapshot, QString *error);
// The area's values: finite numbers within the limits above, the density flag 0
// or 1. The reason names the area and the value.
bool Values(CalibrationArea area, const QVector<quint16> &registers, QString *error);
// Shape, then the values of each area the snapshot holds.
bool Complete(const Snapshot &snapshot, QString *error);
} // namespace SnapshotCheck
