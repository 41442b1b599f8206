#include "procedure/stability.h"
#include <cmath>

StabilityState AssessStability(const TSredSdvig &ring, const StabilityThresholds &limits)
{
    StabilityState s;
    s.filled = ring.filled();
    const int n = s.filled;
    if (n < 2)
        return s;
    // Oldest first: x = 0 .. n-1.
    double meanX = (n - 1) / 2.0, meanY = 0.0;
    for (int age = 0; age < n; ++age)
        meanY += double(ring.newest(age));
    meanY /= n;
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (int age = 0; age < n; ++age) {
        const double dx = double(n - 1 - age) - meanX;
        const double dy = double(ring.newest(age)) - meanY;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    s.sigma = std::sqrt(syy / (n - 1));
    s.drift = sxy / sxx * (n - 1);
    s.stable = n == TSredSdvig::Size && s.sigma < limits.sigma && std::abs(s.drift) < limits.drift;
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
