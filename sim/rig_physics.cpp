#include "sim/rig_physics.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double TwoPi = 6.283185307179586;
// How fast the stepping rig moves to its next calibration flow.
constexpr double FlowLagSeconds = 1.5;
// Longest stretch simulated cycle by cycle; older time is skipped over.
constexpr double MaxCatchUpSeconds = 3600.0;
constexpr double CyclePeriod = MeterModel::CyclePeriod;
} // namespace

RigPhysics::RigPhysics(const MeterPhysicsOptions &options)
    : m_options(options), m_processRng(options.seed ^ 0x9E3779B9u), m_referenceRng(options.seed ^ 0x85EBCA6Bu)
{
    if (m_options.stepSeconds < 1)
        m_options.stepSeconds = 1;
    // The first draws of the seed's main stream, as the meter with that seed draws them.
    std::mt19937 rng(options.seed);
    std::uniform_real_distribution<double> phase(0.0, TwoPi);
    for (double &p : m_phase)
        p = phase(rng);
    m_trueFlow = m_steadyFlow = setpointFlow(0.0);
    sample(0.0);
}

RigPhysics::~RigPhysics() = default;

void RigPhysics::attach(MeterModel *meter)
{
    m_meters.push_back(meter);
}

void RigPhysics::detach(MeterModel *meter)
{
    m_meters.erase(std::remove(m_meters.begin(), m_meters.end(), meter), m_meters.end());
}

void RigPhysics::setFlow(std::optional<double> flow)
{
    // The simulated rig holds a set flow at once.
    m_setpoint.reset();
    m_options.fixedFlow = flow;
    if (flow)
        m_trueFlow = m_steadyFlow = *flow;
}

bool RigPhysics::setSetpoint(double kgPerHour)
{
    if (!MeterModel::acceptsRigSetpoint(kgPerHour))
        return false;
    // The lag starts from wherever the rig runs now.
    m_setpoint = kgPerHour;
    return true;
}

double RigPhysics::fluidTemperature(double t) const
{
    // A thermostat holds a set fluid within a few hundredths; the room drifts more.
    if (m_fluidSet)
        return *m_fluidSet + 0.02 * std::sin(TwoPi * t / 170.0 + m_phase[1]);
    return 22.5 + 2.0 * std::sin(TwoPi * t / 900.0 + m_phase[0]) + 0.3 * std::sin(TwoPi * t / 170.0 + m_phase[1]);
}

double RigPhysics::setpointFlow(double t) const
{
    if (m_setpoint)
        return *m_setpoint;
    if (m_options.fixedFlow)
        return *m_options.fixedFlow;
    // Start at zero flow, walk up to +100 %, then on from -100 %.
    const long step = long(t / m_options.stepSeconds);
    return MeterModel::FlowPointsPercent[size_t((6 + step) % 13)] / 100.0 * MeterModel::RigMaxFlow;
}

void RigPhysics::advanceTo(double seconds)
{
    if (!(seconds > m_now))
        return;
    if (seconds - m_lastSampleAt > MaxCatchUpSeconds) {
        const double skipped = seconds - MaxCatchUpSeconds - m_lastSampleAt;
        for (MeterModel *meter : m_meters)
            meter->skip(skipped);
        m_lastSampleAt += skipped;
    }
    // Each cycle the rig first, then every meter on the flow it runs then.
    while (m_lastSampleAt + CyclePeriod <= seconds + 1e-9) {
        m_lastSampleAt += CyclePeriod;
        m_now = m_lastSampleAt;
        sample(m_lastSampleAt);
        for (MeterModel *meter : m_meters)
            meter->sample(m_lastSampleAt);
    }
    m_now = seconds;
}

void RigPhysics::sample(double t)
{
    const double target = setpointFlow(t);
    if (m_setpoint) {
        const double tau = m_options.rigLagSeconds;
        m_steadyFlow = tau > 0.0 ? m_steadyFlow + (target - m_steadyFlow) * (1.0 - std::exp(-CyclePeriod / tau)) : target;
        m_trueFlow = m_steadyFlow * (1.0 + m_options.rigNoisePercent / 100.0 * m_processGauss(m_processRng));
    } else {
        if (m_options.fixedFlow)
            m_trueFlow = target;
        else
            m_trueFlow += (target - m_trueFlow) * (1.0 - std::exp(-CyclePeriod / FlowLagSeconds));
        m_steadyFlow = m_trueFlow;
    }
    const double relative = m_options.referenceNoisePercent / 100.0 * std::abs(m_trueFlow);
    m_instantReference = m_trueFlow + relative * m_referenceGauss(m_referenceRng)
                         + m_options.referenceNoiseAbsolute * m_referenceGauss(m_referenceRng);
}

MeterPhysicsOptions meterInLine(const MeterPhysicsOptions &line, int k)
{
    MeterPhysicsOptions o = line;
    if (k > 0) {
        o.seed = line.seed + 1000u * quint32(k);
        o.works = WorksErrors::drawn(o.seed);
    }
    return o;
}
