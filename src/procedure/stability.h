#pragma once
// Whether a reading has settled, from the moving average's own ring of 30 values:
// its spread (σ) and its drift (the least-squares slope carried across the window)
// must both stay under the engineer's thresholds, and the ring must be full.
#include "procedure/moving_average.h"
#include <QList>
#include <QString>

struct StabilityThresholds
{
    double sigma;
    double drift;
};

struct StabilityState
{
    int filled = 0;
    double sigma = 0.0;
    double drift = 0.0; // change over the window, in the reading's units
    bool stable = false;
};

StabilityState AssessStability(const TMovingAverage &ring, const StabilityThresholds &limits);
// The same judgement over a reading's own values, oldest first: the last `window`
// of them count, and there must be that many.
StabilityState AssessStability(const QList<double> &values, int window, const StabilityThresholds &limits);

// The quantities with a stability mark, their names in the settings and defaults.
struct StabilityQuantity
{
    const char *key;
    const char *title;
    StabilityThresholds defaults;
};
const StabilityQuantity &ThermometerAdcStability();
const StabilityQuantity &ZeroDeltaTStability();
const StabilityQuantity &ZeroTemperatureStability();
// The flow tabs judge the live reading over the last 15 s, the meter's own
// average running beside it.
const StabilityQuantity &FlowDeltaTStability();
const StabilityQuantity &FlowMassStability();
