#include "procedure/stability.h"
#include <algorithm>
#include <cmath>

namespace {
// σ and the least-squares slope carried across the window, values oldest first.
void Spread(const QList<double> &values, StabilityState &s)
{
    const qsizetype n = values.size();
    s.filled = int(n);
    if (n < 2)
        return;
    const double meanX = double(n - 1) / 2.0;
    double meanY = 0.0;
    for (double v : values)
        meanY += v;
    meanY /= double(n);
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (qsizetype i = 0; i < n; ++i) {
        const double dx = double(i) - meanX;
        const double dy = values[i] - meanY;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    s.sigma = std::sqrt(syy / double(n - 1));
    s.drift = sxy / sxx * double(n - 1);
}
} // namespace

StabilityState AssessStability(const TMovingAverage &ring, const StabilityThresholds &limits)
{
    QList<double> values;
    for (int age = ring.filled() - 1; age >= 0; --age)
        values << double(ring.newest(age));
    StabilityState s;
    Spread(values, s);
    s.stable = s.filled == TMovingAverage::Size && s.sigma < limits.sigma && std::abs(s.drift) < limits.drift;
    return s;
}

StabilityState AssessStability(const QList<double> &values, int window, const StabilityThresholds &limits)
{
    StabilityState s;
    window = std::max(window, 2);
    Spread(values.mid(std::max<qsizetype>(0, values.size() - window)), s);
    s.stable = s.filled == window && s.sigma < limits.sigma && std::abs(s.drift) < limits.drift;
    return s;
}

// Defaults: a little above the spread and drift of a settled meter at a rig;
// the engineer tightens them for his own.
const StabilityQuantity &ThermometerAdcStability()
{
    static const StabilityQuantity q{"thermometer-adc", "АЦП термометра", {3.0, 4.0}};
    return q;
}

const StabilityQuantity &ZeroDeltaTStability()
{
    static const StabilityQuantity q{"zero-delta-t", "Δt (нс)", {0.5, 0.2}};
    return q;
}

const StabilityQuantity &ZeroTemperatureStability()
{
    static const StabilityQuantity q{"zero-temperature", "T (°C)", {0.1, 0.15}};
    return q;
}

const StabilityQuantity &FlowDeltaTStability()
{
    static const StabilityQuantity q{"flow-delta-t", "Δt (нс), расход", {0.5, 0.2}};
    return q;
}

const StabilityQuantity &FlowMassStability()
{
    static const StabilityQuantity q{"flow-mass", "Q (кг/ч)", {2.0, 2.0}};
    return q;
}
