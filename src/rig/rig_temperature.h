#pragma once
// The fluid temperatures a rig may be asked to hold: a thermostat beyond these is
// a typo or a wrong scale, not a calibration point.
#include <QString>

namespace RigTemperature {
constexpr double MinCelsius = -50.0;
constexpr double MaxCelsius = 200.0;
// Empty when a rig may be asked for it; else why not (Russian).
QString Refusal(double celsius);
// "20,5 °C", as people read it.
QString Text(double celsius);
} // namespace RigTemperature
