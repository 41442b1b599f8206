#pragma once
// A test rig as a calibration run sees it: a flow it may be asked to run and a
// reference meter it reads. Every request is answered by a signal; nothing blocks.
// A rig that cannot set its flow, or whose reference cannot be read, leaves that
// step to the operator (the run asks).
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <optional>

struct RigReading
{
    double referenceFlow = 0.0;     // kg/h, the reference meter now
    std::optional<double> rigFlow;  // kg/h, the rig's own flow reading, where it has one
    // °C, the reference thermometer in the fluid, where the rig has one (readsTemperature()).
    std::optional<double> referenceTemperature;
};

class TRig : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~TRig() override = default;

    // "sim", "modbus-tcp", "modbus-rtu", "operator": what the run record names.
    virtual QString kind() const = 0;
    // One line for people: "Modbus TCP 127.0.0.1:1502, устройство 1".
    virtual QString description() const = 0;
    // Everything needed to reach the rig again, for the run record (no passwords).
    virtual QJsonObject settings() const = 0;
    // False: the operator sets the flow by hand.
    virtual bool setsFlow() const = 0;
    // False: the operator types the reference reading after each averaging interval.
    virtual bool readsReference() const = 0;

    // opened() or failed().
    virtual void open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // flowSet() once the rig took the set point, or failed().
    virtual void setFlow(double kgPerHour) = 0;
    // reading() or failed(); one answer per request.
    virtual void readReference() = 0;
    // The set point a run leaves the rig at when it ends, whichever way (kg/h).
    virtual double idleSetpoint() const { return 0.0; }
    // False: the operator sets the fluid temperature by hand.
    virtual bool setsTemperature() const { return false; }
    // False: the operator types the reference thermometer's reading; true: every
    // reading() carries referenceTemperature.
    virtual bool readsTemperature() const { return false; }
    // temperatureSet() once the rig took the set point (°C), or failed().
    virtual void setTemperature(double celsius);

Q_SIGNALS:
    void opened();
    void flowSet(double kgPerHour);
    void temperatureSet(double celsius);
    void reading(const RigReading &reading);
    // Names the cause: a Modbus exception and its code, a timeout, a refused set point.
    void failed(const QString &message);
    // The link went and is being re-opened; requests wait for it (or fail, when it
    // does not come back in time).
    void connectionLost(const QString &message);
    // The link is back: what was measured across the gap is not to be trusted.
    void reconnected();
};
