// The rig and the meter's measurement cycle: true flow, temperatures, raw Δt,
// and what the meter makes of them with its coefficients.
#include "sim/meter_model.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double TwoPi = 6.283185307179586;

// Sensor: Δt (ns) = flow / Sensitivity · (1 + Asymmetry · q + Nonlinearity · q²), q = flow / Qmax.
constexpr double Sensitivity = 0.5; // kg/h per ns
constexpr double Asymmetry = 0.0015;
constexpr double Nonlinearity = 0.004;
// Zero offset of the raw Δt, drifting with the tube temperature.
constexpr double ZeroAt20 = 3.2;     // ns
constexpr double ZeroPerDegree = 0.045; // ns/°C
// Thermometer: ADC code = AdcAt0 + AdcPerDegree · T.
constexpr double AdcAt0 = 2500.0;
constexpr double AdcPerDegree = 25.0;
constexpr double FlowLagSeconds = 1.5;
// The tube takes the fluid's temperature with this time constant.
constexpr double TubeLagSeconds = 10.0;
// How the works left a meter that is not calibrated: every stored Δt of the flow
// table 4 % high with a bow of 1.5 ns towards full flow (the meter then reads
// about 4 % low), and both zero points 0.5 ns high.
constexpr double FlowTableGainError = 0.04;
constexpr double FlowTableBowNs = 1.5;
constexpr double ZeroPointErrorNs = 0.5;
// ... and the bath thermometer at the works read low when the thermometer points
// were taken: the meter reads 0.4 °C low at 20 °C and 0.7 °C low at 60 °C.
constexpr double ThermometerErrorAt20 = 0.4;
constexpr double ThermometerErrorAt60 = 0.7;
// Longest stretch simulated cycle by cycle; older time is skipped over.
constexpr double MaxCatchUpSeconds = 3600.0;

double sensorDt(double flow)
{
    const double q = flow / MeterModel::RigMaxFlow;
    return flow / Sensitivity * (1.0 + Asymmetry * q + Nonlinearity * q * q);
}

double zeroOffset(double temp)
{
    return ZeroAt20 + ZeroPerDegree * (temp - 20.0);
}

double adcCode(double temp)
{
    return AdcAt0 + AdcPerDegree * temp;
}

double waterDensity(double temp)
{
    return 998.2 - 0.21 * (temp - 20.0);
}
} // namespace

// The same defaults in every instance whatever the seed, so that a client can
// compare what it reads with a fresh model.
void MeterModel::seedParameters()
{
    setParamFloat(2, 998.2f);
    setParamWord(4, 0);

    const auto typed = [](double v) { return float(std::round(v * 100.0) / 100.0); };
    const bool off = !m_options.calibrated;

    // Thermometer points as a service engineer took them at the bath.
    const double t20 = 20.05, t60 = 59.87;
    setParamFloat(5, float(t20));
    setParamFloat(7, typed(adcCode(t20 + (off ? ThermometerErrorAt20 : 0.0))));
    setParamFloat(9, float(t60));
    setParamFloat(11, typed(adcCode(t60 + (off ? ThermometerErrorAt60 : 0.0))));

    // Zero points at no flow, rounded as typed.
    const double zeroError = off ? ZeroPointErrorNs : 0.0;
    setParamFloat(13, float(t20));
    setParamFloat(15, typed(zeroOffset(t20) + zeroError));
    setParamFloat(17, float(t60));
    setParamFloat(19, typed(zeroOffset(t60) + zeroError));

    setParamFloat(21, float(RigMaxFlow));
    for (int n = 0; n < 13; ++n) {
        const double flow = FlowPointsPercent[n] / 100.0 * RigMaxFlow;
        const double q = flow / RigMaxFlow;
        const double dt = off ? sensorDt(flow) * (1.0 + FlowTableGainError) + FlowTableBowNs * q * std::abs(q)
                              : sensorDt(flow);
        setParamFloat(23 + 2 * n, float(flow));
        setParamFloat(49 + 2 * n, typed(dt));
    }
}

double MeterModel::noise(double sigma)
{
    return sigma * m_gauss(m_rng);
}

void MeterModel::setRigFlow(std::optional<double> flow)
{
    // The simulated rig holds a set flow at once.
    m_rigSetpoint.reset();
    m_options.fixedFlow = flow;
    if (flow)
        m_trueFlow = m_steadyFlow = *flow;
}

bool MeterModel::acceptsRigSetpoint(double kgPerHour)
{
    return std::isfinite(kgPerHour) && std::abs(kgPerHour) <= RigSetpointLimit;
}

bool MeterModel::setRigSetpoint(double kgPerHour)
{
    if (!acceptsRigSetpoint(kgPerHour))
        return false;
    // The lag starts from wherever the rig runs now.
    m_rigSetpoint = kgPerHour;
    return true;
}

double MeterModel::referenceFlow() const
{
    return m_avg.samples > 0 ? m_avg.sumTrueFlow / double(m_avg.samples) : m_trueFlow;
}

double MeterModel::fluidTemperature(double t) const
{
    // A thermostat holds a set fluid within a few hundredths; the room drifts more.
    if (m_fluidSet)
        return *m_fluidSet + 0.02 * std::sin(TwoPi * t / 170.0 + m_phase[1]);
    return 22.5 + 2.0 * std::sin(TwoPi * t / 900.0 + m_phase[0]) + 0.3 * std::sin(TwoPi * t / 170.0 + m_phase[1]);
}

double MeterModel::setpointFlow(double t) const
{
    if (m_rigSetpoint)
        return *m_rigSetpoint;
    if (m_options.fixedFlow)
        return *m_options.fixedFlow;
    // Start at zero flow, walk up to +100 %, then on from -100 %.
    const long step = long(t / m_options.stepSeconds);
    return FlowPointsPercent[size_t((6 + step) % 13)] / 100.0 * RigMaxFlow;
}

void MeterModel::advanceTo(double seconds)
{
    if (!(seconds > m_now))
        return;
    if (seconds - m_lastSampleAt > MaxCatchUpSeconds) {
        const double skipped = seconds - MaxCatchUpSeconds - m_lastSampleAt;
        if (m_avg.running)
            m_avg.seconds += skipped;
        m_lastSampleAt += skipped;
    }
    while (m_lastSampleAt + CyclePeriod <= seconds + 1e-9) {
        m_lastSampleAt += CyclePeriod;
        m_now = m_lastSampleAt;
        sample(m_lastSampleAt);
    }
    m_now = seconds;
}

void MeterModel::sampleRig(double t)
{
    const double target = setpointFlow(t);
    if (m_rigSetpoint) {
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

void MeterModel::sample(double t)
{
    sampleRig(t);

    m_tubeTemp += (fluidTemperature(t) - m_tubeTemp) * (1.0 - std::exp(-CyclePeriod / TubeLagSeconds));
    const double tube = m_tubeTemp;
    Reading &r = m_reading;
    r.tubeTemp = tube;
    r.mcuTemp = tube + 9.0 + 1.5 * std::sin(TwoPi * t / 1300.0 + m_phase[2]) + noise(0.05);
    r.adcCode = adcCode(tube) + noise(0.4);
    r.rawDt = sensorDt(m_trueFlow) + zeroOffset(tube) + noise(0.25);
    const double density = waterDensity(tube);
    r.frequency = 450.0 / std::sqrt(1.0 + density / 1000.0) * (1.0 - 1.5e-4 * (tube - 20.0)) + noise(0.002);
    r.density = density + noise(0.02);
    r.gain = 12750.0 + 40.0 * std::sin(t / 37.0) + noise(8.0);

    refreshDataRegisters();
    if (m_avg.running) {
        m_avg.seconds += CyclePeriod;
        m_avg.sumDt += r.dt;
        m_avg.sumFlow += r.massFlow;
        m_avg.sumTrueFlow += m_trueFlow;
        ++m_avg.samples;
        refreshDataRegisters();
    }
}

// Turns the last raw measurement into the registers with the current
// coefficients, so a recalculation shows at once.
void MeterModel::refreshDataRegisters()
{
    Reading &r = m_reading;
    r.reportedTemp = dataFloat(16) + dataFloat(18) * r.adcCode;
    r.dt = r.rawDt - (dataFloat(32) + dataFloat(34) * r.reportedTemp);
    const double dt = r.dt;
    r.massFlow = dataFloat(36) + dataFloat(38) * dt + dataFloat(40) * dt * dt + dataFloat(42) * dt * dt * dt;
    const bool fixedDensity = paramWord(4) != 0;
    const double density = fixedDensity ? paramFloat(2) : r.density;

    quint16 status = 0;
    if (m_avg.running)
        status |= 0x0001;
    if (fixedDensity)
        status |= 0x0002;
    if (std::abs(r.massFlow) > std::abs(paramFloat(21)))
        status |= 0x0004;
    setDataWord(1, status);
    setDataFloat(2, float(r.massFlow));
    setDataFloat(4, float(density > 0.0 ? r.massFlow / density : 0.0)); // m³/h
    setDataFloat(6, float(density));
    setDataFloat(8, float(r.mcuTemp));
    setDataFloat(10, float(r.reportedTemp));
    setDataFloat(12, float(r.frequency));
    setDataFloat(14, float(r.dt));
    setDataWord(20, quint16(std::clamp(std::lround(r.gain), 0L, 25500L)));
    setDataFloat(28, float(r.adcCode));
    setDataFloat(30, float(r.rawDt));

    // Averaging time in seconds, as the calibration window labels it.
    const double n = double(std::max(1L, m_avg.samples));
    setDataFloat(44, float(m_avg.samples ? m_avg.sumDt / n : 0.0));
    setDataFloat(46, float(m_avg.seconds));
    setDataFloat(48, float(m_avg.samples ? m_avg.sumFlow / n : 0.0));
}
