#pragma once
// The calibration tabs' moving average under the names their handlers use.
#include "procedure/moving_average.h"

class TSredSdvig : public TMovingAverage
{
public:
    float AddValue(float val) { return add(val); }
    float Sred() const { return mean(); }
    int cnt() const { return next(); }
};
