// The meter's measurement cycle: temperatures, raw Δt from the rig's true flow,
// and what the meter makes of them with its coefficients.
#include "sim/meter_model.h"

#include "sim/rig_physics.h"

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
// The tube takes the fluid's temperature with this time constant.
constexpr double TubeLagSeconds = 10.0;

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
    const WorksErrors &e = m_options.works;

    // Thermometer points as a service engineer took them at the bath.
    const double t20 = 20.05, t60 = 59.87;
    setParamFloat(5, float(t20));
    setParamFloat(7, typed(adcCode(t20 + (off ? e.thermometerAt20 : 0.0))));
    setParamFloat(9, float(t60));
    setParamFloat(11, typed(adcCode(t60 + (off ? e.thermometerAt60 : 0.0))));

    // Zero points at no flow, rounded as typed.
    const double zeroError = off ? e.zeroNs : 0.0;
    setParamFloat(13, float(t20));
    setParamFloat(15, typed(zeroOffset(t20) + zeroError));
    setParamFloat(17, float(t60));
    setParamFloat(19, typed(zeroOffset(t60) + zeroError));

    setParamFloat(21, float(RigMaxFlow));
    for (int n = 0; n < 13; ++n) {
        const double flow = FlowPointsPercent[n] / 100.0 * RigMaxFlow;
        const double q = flow / RigMaxFlow;
        const double dt = off ? sensorDt(flow) * (1.0 + e.flowGain) + e.flowBowNs * q * std::abs(q)
                              : sensorDt(flow);
        setParamFloat(23 + 2 * n, float(flow));
        setParamFloat(49 + 2 * n, typed(dt));
    }
}

double MeterModel::noise(double sigma)
{
    return sigma * m_gauss(m_rng);
}

WorksErrors WorksErrors::drawn(quint32 seed)
{
    // Off by one to six per cent either way, the rest within what a works leaves.
    std::mt19937 rng(seed ^ 0xC2B2AE35u);
    const auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    WorksErrors e;
    e.flowGain = uniform(0.01, 0.06) * (uniform(0.0, 1.0) < 0.5 ? -1.0 : 1.0);
    e.flowBowNs = uniform(-2.0, 2.0);
    e.zeroNs = uniform(-0.8, 0.8);
    e.thermometerAt20 = uniform(-0.8, 0.8);
    e.thermometerAt60 = e.thermometerAt20 + uniform(-0.4, 0.4);
    return e;
}

// The rig's part is the rig's; a meter passes it on.
void MeterModel::advanceTo(double seconds)
{
    m_rig->advanceTo(seconds);
}

double MeterModel::now() const
{
    return m_rig->now();
}

double MeterModel::trueFlow() const
{
    return m_rig->trueFlow();
}

void MeterModel::setRigFlow(std::optional<double> flow)
{
    m_rig->setFlow(flow);
}

bool MeterModel::acceptsRigSetpoint(double kgPerHour)
{
    return std::isfinite(kgPerHour) && std::abs(kgPerHour) <= RigSetpointLimit;
}

bool MeterModel::setRigSetpoint(double kgPerHour)
{
    return m_rig->setSetpoint(kgPerHour);
}

double MeterModel::rigSetpoint() const
{
    return m_rig->setpoint();
}

double MeterModel::instantReference() const
{
    return m_rig->instantReference();
}

double MeterModel::referenceFlow() const
{
    return m_avg.samples > 0 ? m_avg.sumTrueFlow / double(m_avg.samples) : m_rig->trueFlow();
}

void MeterModel::setFluidTemperature(std::optional<double> celsius)
{
    m_rig->setFluidTemperature(celsius);
}

std::optional<double> MeterModel::fluidSetpoint() const
{
    return m_rig->fluidSetpoint();
}

double MeterModel::referenceTemperature() const
{
    return m_rig->referenceTemperature();
}

void MeterModel::skip(double seconds)
{
    if (m_avg.running)
        m_avg.seconds += seconds;
}

void MeterModel::sample(double t)
{
    const double trueFlow = m_rig->trueFlow();
    m_tubeTemp += (m_rig->fluidTemperature(t) - m_tubeTemp) * (1.0 - std::exp(-CyclePeriod / TubeLagSeconds));
    const double tube = m_tubeTemp;
    Reading &r = m_reading;
    r.tubeTemp = tube;
    r.mcuTemp = tube + 9.0 + 1.5 * std::sin(TwoPi * t / 1300.0 + m_phase[2]) + noise(0.05);
    r.adcCode = adcCode(tube) + noise(0.4);
    r.rawDt = sensorDt(trueFlow) + zeroOffset(tube) + noise(0.25);
    const double density = waterDensity(tube);
    r.frequency = 450.0 / std::sqrt(1.0 + density / 1000.0) * (1.0 - 1.5e-4 * (tube - 20.0)) + noise(0.002);
    r.density = density + noise(0.02);
    r.gain = 12750.0 + 40.0 * std::sin(t / 37.0) + noise(8.0);

    refreshDataRegisters();
    if (m_avg.running) {
        m_avg.seconds += CyclePeriod;
        m_avg.sumDt += r.dt;
        m_avg.sumFlow += r.massFlow;
        m_avg.sumTrueFlow += trueFlow;
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
