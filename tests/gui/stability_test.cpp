// The stable mark over the moving average's own ring: synthetic series against
// the thresholds, and thresholds that outlive the window.
#include "ui/calibration/stability_indicator.h"
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

TEST(Stability, SeriesAgainstTheThresholds)
{
    const StabilityThresholds limits{0.05, 0.05};
    const struct
    {
        const char *name;
        int count;
        std::function<float(int)> value;
        bool stable;
    } cases[] = {
        {"constant, full", 30, [](int) { return 12.5f; }, true},
        {"constant, not yet full", 29, [](int) { return 12.5f; }, false},
        {"small noise", 30, [](int i) { return 12.5f + (i % 2 ? 0.02f : -0.02f); }, true},
        {"noisy", 30, [](int i) { return 12.5f + (i % 2 ? 0.2f : -0.2f); }, false},
        {"slow drift under σ, over the drift limit", 30, [](int i) { return 12.5f + 0.003f * float(i); }, false},
        {"a settled tail after a step (old values left the ring)", 45,
         [](int i) { return i < 15 ? 20.0f : 12.5f; }, true},
        {"a step still in the ring", 40, [](int i) { return i < 15 ? 20.0f : 12.5f; }, false},
        {"falling drift under σ, over the drift limit", 30, [](int i) { return 12.5f - 0.003f * float(i); }, false},
        // ±0.0499: the population σ is 0.0499, the sample σ (n−1) 0.0508, over the limit.
        {"alternating just under σ by n, over it by n−1", 30, [](int i) { return 12.5f + (i % 2 ? 0.0499f : -0.0499f); },
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TSredSdvig ring;
        for (int i = 0; i < c.count; ++i)
            ring.AddValue(c.value(i));
        const StabilityState s = AssessStability(ring, limits);
        EXPECT_EQ(s.stable, c.stable) << "σ " << s.sigma << " drift " << s.drift;
        EXPECT_EQ(s.filled, std::min(c.count, 30));
    }
    // The drift is the change across the window: 29 steps of 0.003.
    TSredSdvig ramp;
    for (int i = 0; i < 30; ++i)
        ramp.AddValue(0.003f * float(i));
    EXPECT_NEAR(AssessStability(ramp, limits).drift, 0.087, 1e-5);
    TSredSdvig fall;
    for (int i = 0; i < 30; ++i)
        fall.AddValue(-0.003f * float(i));
    EXPECT_NEAR(AssessStability(fall, limits).drift, -0.087, 1e-5);
    // σ is the sample's: 30 values of ±1 spread sqrt(30/29), not 1.
    TSredSdvig alternating;
    for (int i = 0; i < 30; ++i)
        alternating.AddValue(i % 2 ? 1.0f : -1.0f);
    EXPECT_NEAR(AssessStability(alternating, limits).sigma, std::sqrt(30.0 / 29.0), 1e-6);
}

TEST(Stability, IndicatorSaysItInWordsAndRemembersItsThresholds)
{
    TStabilityIndicator mark(ZeroDeltaTStability());
    TSredSdvig ring;
    for (int i = 0; i < 10; ++i)
        ring.AddValue(1.0f);
    mark.showState(ring);
    EXPECT_EQ(mark.text(), "… 10 из 30");
    for (int i = 0; i < 20; ++i)
        ring.AddValue(1.0f);
    mark.showState(ring);
    EXPECT_EQ(mark.text(), "✓ стабильно");
    EXPECT_TRUE(mark.isStable());

    for (int i = 0; i < 30; ++i)
        ring.AddValue(i % 2 ? 0.0f : 2.0f);
    mark.showState(ring);
    EXPECT_EQ(mark.text(), "~ нестабильно");
    mark.setThresholds({0.5, 0.25});
    const TStabilityIndicator again(ZeroDeltaTStability());
    EXPECT_EQ(again.thresholds().sigma, 0.5);
    EXPECT_EQ(again.thresholds().drift, 0.25);
    const TStabilityIndicator other(ZeroTemperatureStability());
    EXPECT_EQ(other.thresholds().sigma, ZeroTemperatureStability().defaults.sigma);
}
