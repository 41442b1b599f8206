#include "sim/meter_model.h"

#include <gtest/gtest.h>
#include <cmath>
#include <vector>

namespace {
MeterPhysicsOptions rig(double lag, double noisePercent, quint32 seed = 11)
{
    MeterPhysicsOptions o;
    o.seed = seed;
    o.fixedFlow = 0.0;
    o.rigLagSeconds = lag;
    o.rigNoisePercent = noisePercent;
    return o;
}

struct Stats
{
    double mean = 0.0, sigma = 0.0;
};

Stats stats(const std::vector<double> &xs)
{
    Stats s;
    for (double x : xs)
        s.mean += x / double(xs.size());
    for (double x : xs)
        s.sigma += (x - s.mean) * (x - s.mean) / double(xs.size() - 1);
    s.sigma = std::sqrt(s.sigma);
    return s;
}

struct StepCase
{
    double lag, from, to;
};

class RigStep : public ::testing::TestWithParam<StepCase>
{
};
} // namespace

TEST_P(RigStep, FollowsTheSetPointWithAFirstOrderLag)
{
    const StepCase c = GetParam();
    MeterModel m(rig(c.lag, 0.0));
    m.setRigFlow(c.from);
    m.advanceTo(10.0);
    ASSERT_TRUE(m.setRigSetpoint(c.to));
    EXPECT_EQ(m.rigSetpoint(), c.to);
    const double span = c.to - c.from;
    m.advanceTo(10.0 + c.lag);
    EXPECT_NEAR((m.trueFlow() - c.from) / span, 1.0 - std::exp(-1.0), 0.02);
    m.advanceTo(10.0 + 4.0 * c.lag);
    EXPECT_GT(std::abs(m.trueFlow() - c.to), 0.01 * std::abs(span)); // not there early
    m.advanceTo(10.0 + 5.0 * c.lag);
    EXPECT_LT(std::abs(m.trueFlow() - c.to), 0.01 * std::abs(span));
}

INSTANTIATE_TEST_SUITE_P(Steps, RigStep,
                         ::testing::Values(StepCase{3.0, 0.0, 500.0}, StepCase{1.5, 800.0, -200.0},
                                           StepCase{8.0, -1000.0, 1000.0}));

// The process noise as asked for, and the reference's own scatter on top, independent of it.
TEST(RigNoise, ProcessAndReferenceScatterAsSetAndIndependently)
{
    for (const double percent : {0.0, 0.2, 0.5}) {
        SCOPED_TRACE(percent);
        // Without noise, and without lag, the rig runs the set point exactly.
        MeterModel m(rig(percent == 0.0 ? 0.0 : 3.0, percent));
        m.setRigSetpoint(600.0);
        m.advanceTo(60.0); // twenty time constants: settled
        std::vector<double> process, reference, product;
        for (int i = 1; i <= 4000; ++i) {
            m.advanceTo(60.0 + i * MeterModel::CyclePeriod);
            process.push_back(m.trueFlow() - 600.0);
            reference.push_back(m.instantReference() - m.trueFlow());
            product.push_back(process.back() * reference.back());
        }
        const Stats p = stats(process), r = stats(reference);
        if (percent == 0.0) {
            EXPECT_EQ(p.sigma, 0.0);
            EXPECT_EQ(p.mean, 0.0);
        } else {
            EXPECT_NEAR(p.sigma / (percent / 100.0 * 600.0), 1.0, 0.1);
            EXPECT_NEAR(p.mean, 0.0, 4.0 * p.sigma / std::sqrt(4000.0));
            // Correlation of the two scatters: none beyond chance.
            EXPECT_LT(std::abs(stats(product).mean / (p.sigma * r.sigma)), 0.08);
        }
        EXPECT_NEAR(r.sigma / (0.05 / 100.0 * 600.0), 1.0, 0.1);
    }
}

TEST(RigNoise, ReferenceIsNotAnExactZeroAtNoFlow)
{
    MeterModel m(rig(3.0, 0.2));
    m.setRigSetpoint(0.0);
    m.advanceTo(5.0);
    EXPECT_EQ(m.trueFlow(), 0.0);
    EXPECT_NE(m.instantReference(), 0.0);
    EXPECT_LT(std::abs(m.instantReference()), 0.1);
}

// A calibration run on the works' meter finds it reading about 4 % low against the reference.
TEST(RigSetpoint, MiscalibratedMeterReadsAboutFourPerCentLowAgainstTheReference)
{
    for (const double flow : {300.0, 800.0, -600.0}) {
        SCOPED_TRACE(flow);
        MeterModel m(rig(3.0, 0.2));
        m.setRigSetpoint(flow);
        m.advanceTo(20.0);
        double meter = 0.0, reference = 0.0;
        for (int i = 1; i <= 200; ++i) {
            m.advanceTo(20.0 + i * MeterModel::CyclePeriod);
            meter += m.dataFloat(2);
            reference += m.instantReference();
        }
        EXPECT_NEAR(meter / reference - 1.0, -0.04, 0.008);
    }
}
