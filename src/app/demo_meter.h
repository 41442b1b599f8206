#pragma once
// The --demo meter: a simulated meter served on its own pseudo-terminal from a
// thread of its own, so the program talks to it through a real serial port.
#include "sim/meter_server.h"
#include <QString>
#include <QThread>
#include <optional>

class DemoMeter
{
public:
    static inline const QString Description = QStringLiteral("KESTRO DEMO");

    explicit DemoMeter(const SimOptions &options = {});
    ~DemoMeter();
    DemoMeter(const DemoMeter &) = delete;
    DemoMeter &operator=(const DemoMeter &) = delete;

    // Starts serving; false with a message when the terminal cannot be made.
    bool start(QString *error = nullptr);
    // Stops serving and ends the thread; safe to call more than once.
    void stop();

    bool isRunning() const { return m_server != nullptr; }

    // The simulated rig, from any thread: a fixed flow (kg/h), or none to step
    // through the calibration flows; a fluid temperature (°C), or none for the room's.
    void setRigFlow(std::optional<double> flow);
    void setFluidTemperature(std::optional<double> celsius);
    // The rig as a calibration drives it: reaches the flow with a lag and runs it with
    // process noise. False when the set point is refused or the meter is not running.
    bool setRigSetpoint(double kgPerHour);

    struct RigReadings
    {
        double setFlow = 0.0;       // kg/h, the flow the rig runs now
        double referenceFlow = 0.0; // kg/h, the reference meter
        double referenceTemperature = 0.0; // °C, the reference thermometer in the fluid
        double instantReference = 0.0; // kg/h, the reference meter at this instant, with its noise
        double rigFlow = 0.0;          // kg/h, the true flow the rig runs now
    };
    // What the rig shows now, in one visit to the meter's thread.
    RigReadings readRig();
    QString devicePath() const { return m_devicePath; }

private:
    SimOptions m_options;
    QThread m_thread;
    QObject *m_context = nullptr; // lives in m_thread; the server is made and destroyed there
    MeterServer *m_server = nullptr;
    QString m_devicePath;
};
