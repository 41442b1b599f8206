#pragma once
// The simulated test rig: the true mass flow through the line, its set point, lag and
// process noise, the reference meter and the fluid's temperature. One rig carries
// every meter in series on it: it advances them cycle by cycle with itself, so each
// meter measures the same flow at the same instant.
#include "sim/meter_model.h"

#include <optional>
#include <random>
#include <vector>

class RigPhysics
{
public:
    // Takes the rig's part of the options: the seed, the fixed flow or the stepping,
    // the set point's lag and process noise and the reference's scatter.
    explicit RigPhysics(const MeterPhysicsOptions &options = {});
    ~RigPhysics();
    RigPhysics(const RigPhysics &) = delete;
    RigPhysics &operator=(const RigPhysics &) = delete;

    // Advances the rig and every meter on it to t (seconds since start, monotonic).
    void advanceTo(double seconds);
    double now() const { return m_now; }

    double trueFlow() const { return m_trueFlow; }
    // See MeterModel for what each of these does.
    void setFlow(std::optional<double> flow);
    bool setSetpoint(double kgPerHour);
    double setpoint() const { return setpointFlow(m_now); }
    double instantReference() const { return m_instantReference; }
    void setFluidTemperature(std::optional<double> celsius) { m_fluidSet = celsius; }
    std::optional<double> fluidSetpoint() const { return m_fluidSet; }
    double fluidTemperature(double t) const;
    double referenceTemperature() const { return fluidTemperature(m_now); }

    // Meters in line, in order of position; a meter joins in its constructor and
    // leaves in its destructor.
    void attach(MeterModel *meter);
    void detach(MeterModel *meter);
    const std::vector<MeterModel *> &meters() const { return m_meters; }

private:
    double setpointFlow(double t) const;
    void sample(double t);

    MeterPhysicsOptions m_options;
    std::vector<MeterModel *> m_meters;
    double m_now = 0.0;
    double m_lastSampleAt = 0.0;
    double m_trueFlow = 0.0;
    double m_steadyFlow = 0.0; // the flow without process noise
    std::optional<double> m_setpoint;
    // Own streams, so that the rig's noise leaves the meters' readings as they were
    // and the reference's scatter is independent of the process's.
    std::mt19937 m_processRng;
    std::mt19937 m_referenceRng;
    std::normal_distribution<double> m_processGauss{0.0, 1.0};
    std::normal_distribution<double> m_referenceGauss{0.0, 1.0};
    double m_instantReference = 0.0;
    std::optional<double> m_fluidSet;
    std::array<double, 2> m_phase{}; // seeded phases of the room's slow drifts
};

// Meter k (0: the first) on a line of meters: its own seed, and from the second on
// its own way of leaving the works off. Meter 0's options are the line's own.
MeterPhysicsOptions meterInLine(const MeterPhysicsOptions &line, int k);
