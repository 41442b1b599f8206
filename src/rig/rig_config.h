#pragma once
// What the user names as a rig: a rig name ("sim", "sim:PORT",
// "modbus:tcp://HOST[:PORT]", "modbus:rtu:DEVICE", "operator") and, for a
// Modbus rig, a register map file. The defaults are the simulated rig's map.
#include "rig/modbus_float.h"
#include "rig/sim_rig_map.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

enum class RegisterTable { Input, Holding };

// A float register pair; the value (kg/h, °C) = the float × scale.
struct RigRegister
{
    RegisterTable table = RegisterTable::Input;
    quint16 address = 0;
    double scale = 1.0;
    bool operator==(const RigRegister &) const = default;
};

enum class SerialParity { None, Even, Odd };

struct RigSerialSettings
{
    int baud = 19200;
    SerialParity parity = SerialParity::None;
    int dataBits = 8;
    int stopBits = 1;
    bool operator==(const RigSerialSettings &) const = default;
};

struct RigRegisterMap
{
    int unitId = SimRigMap::UnitId;
    WordOrder wordOrder = WordOrder::HighFirst;
    RigRegister reference{RegisterTable::Input, SimRigMap::ReferenceFlow, 1.0};
    // Always a holding register pair; none: the operator sets the flow.
    std::optional<RigRegister> setpoint = RigRegister{RegisterTable::Holding, SimRigMap::FlowSetpoint, 1.0};
    std::optional<RigRegister> rigFlow = RigRegister{RegisterTable::Input, SimRigMap::RigFlow, 1.0};
    // °C. Always a holding register pair; none: the operator sets the fluid temperature.
    std::optional<RigRegister> temperatureSetpoint =
        RigRegister{RegisterTable::Holding, SimRigMap::TemperatureSetpoint, 1.0};
    // °C; none: the operator reads the reference thermometer.
    std::optional<RigRegister> referenceTemperature =
        RigRegister{RegisterTable::Input, SimRigMap::ReferenceTemperature, 1.0};
    int responseTimeoutMs = 1000;
    // Per request: how often a timeout or a "busy"/"acknowledge" exception is sent again.
    int retries = 1;
    // How long a lost TCP connection is re-opened before requests fail (0: not at all).
    int reconnectMs = 10000;
    // kg/h the set point is left at when a run ends.
    double idleSetpoint = 0.0;
    RigSerialSettings serial;
    bool operator==(const RigRegisterMap &) const = default;

    // The map file's own form (version 1), which ParseRigMap reads back.
    QJsonObject toJson() const;
};

struct RigConfig
{
    enum class Kind { Sim, ModbusTcp, ModbusRtu, Operator };
    Kind kind = Kind::Sim;
    QString host = QStringLiteral("127.0.0.1"); // sim and Modbus TCP
    int port = SimRigMap::DefaultPort;           // sim and Modbus TCP
    QString device;                              // Modbus RTU
    RigRegisterMap map;

    // "sim", "modbus-tcp", "modbus-rtu", "operator".
    QString kindName() const;
    bool usesMap() const { return kind == Kind::ModbusTcp || kind == Kind::ModbusRtu; }
    // For the run record: how to reach the rig again and its map.
    QJsonObject toJson() const;
};

// The rig name alone, with the default map. Refusal: a Russian message quoting the
// name and listing the accepted forms.
std::optional<RigConfig> ParseRigName(const QString &rigName, QString *error);
// A map file's text; a refusal names the field ("reference.address: …").
std::optional<RigRegisterMap> ParseRigMap(const QByteArray &json, QString *error);
std::optional<RigRegisterMap> LoadRigMap(const QString &path, QString *error);
// The rig name and, for a Modbus rig, an optional map file (empty path: the default map).
std::optional<RigConfig> MakeRigConfig(const QString &rigName, const QString &mapPath, QString *error);
