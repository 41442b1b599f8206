#pragma once
// The simulated rig's Modbus registers (zero-based addresses, unit 1). Floats
// are IEEE 754 single precision in two registers, the high word first; the
// Modbus rig driver's default map is this one.
#include <QtGlobal>

namespace SimRigMap {
constexpr int UnitId = 1;
constexpr int DefaultPort = 1502;
// Input registers.
constexpr quint16 ReferenceFlow = 0; // kg/h, the reference meter, with its own noise
constexpr quint16 RigFlow = 2;       // kg/h, the true flow the rig runs now
constexpr quint16 ReferenceTemperature = 4; // °C, the reference thermometer in the fluid
// Holding registers.
constexpr quint16 FlowSetpoint = 0;  // kg/h, the flow the rig is asked to run
constexpr quint16 TemperatureSetpoint = 2; // °C, the fluid temperature the rig is asked to hold
} // namespace SimRigMap
