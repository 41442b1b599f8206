#include "request_bytes.h"
#include "sim/rig_physics.h"

#include <gtest/gtest.h>
#include <cmath>
#include <memory>
#include <ostream>
#include <vector>

using namespace simtest;

namespace {
// The meters of a line on one rig, in position order.
struct Line
{
    explicit Line(const MeterPhysicsOptions &o, int count) : rig(o)
    {
        for (int k = 0; k < count; ++k)
            meters.push_back(std::make_unique<MeterModel>(meterInLine(o, k), rig));
    }
    RigPhysics rig;
    std::vector<std::unique_ptr<MeterModel>> meters;
};

struct TraceCase
{
    quint32 seed;
    bool calibrated;
    int meters;
};

void PrintTo(const TraceCase &c, std::ostream *os)
{
    *os << "seed " << c.seed << (c.calibrated ? ", calibrated, " : ", off, ") << c.meters << " meters";
}

class FirstMeterOfALine : public ::testing::TestWithParam<TraceCase>
{
};

struct SeriesCase
{
    double setpoint;
};

void PrintTo(const SeriesCase &c, std::ostream *os)
{
    *os << c.setpoint << " kg/h";
}

class MetersInSeries : public ::testing::TestWithParam<SeriesCase>
{
};
} // namespace

// The first meter of a line, however long, reads as a meter on a rig of its own with
// the line's seed: the same numbers, cycle by cycle, through set points, a fluid
// temperature and an averaging.
TEST_P(FirstMeterOfALine, ReadsAsAMeterOnARigOfItsOwn)
{
    const TraceCase c = GetParam();
    MeterPhysicsOptions o;
    o.seed = c.seed;
    o.calibrated = c.calibrated;
    MeterModel alone(o);
    Line line(o, c.meters);
    MeterModel &first = *line.meters.front();
    for (int i = 1; i <= 900; ++i) {
        const double t = i * 0.137; // off the cycle on purpose
        for (MeterModel *m : {&alone, &first}) {
            if (i == 100)
                m->setRigSetpoint(600.0);
            if (i == 250)
                m->setFluidTemperature(45.0);
            if (i == 300)
                m->handleRequest(writeWord(1, 38));
            if (i == 500)
                m->setRigSetpoint(-300.0);
            if (i == 700)
                m->setRigFlow(250.0);
            m->advanceTo(t);
        }
        ASSERT_EQ(first.handleRequest(readReq(0, 1, MeterModel::DataRegisters)),
                  alone.handleRequest(readReq(0, 1, MeterModel::DataRegisters)))
            << "at " << t << " s";
        ASSERT_EQ(first.instantReference(), alone.instantReference()) << "at " << t << " s";
        ASSERT_EQ(first.referenceFlow(), alone.referenceFlow()) << "at " << t << " s";
        ASSERT_EQ(first.referenceTemperature(), alone.referenceTemperature()) << "at " << t << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, FirstMeterOfALine,
                         ::testing::Values(TraceCase{1, false, 1}, TraceCase{1, false, 3}, TraceCase{42, true, 8}));

// Three meters in series: every cycle each takes the rig's one flow into its average,
// and each reads it off by its own works errors.
TEST_P(MetersInSeries, SeeOneFlowAndReadItEachOffInItsOwnWay)
{
    const double setpoint = GetParam().setpoint;
    MeterPhysicsOptions o;
    o.seed = 5;
    Line line(o, 3);
    line.rig.setSetpoint(setpoint);
    line.rig.advanceTo(20.0); // settled
    for (auto &m : line.meters)
        m->handleRequest(writeWord(1, 38));
    std::vector<double> reading(3, 0.0), rawDtSpread(3, 0.0);
    double reference = 0.0;
    const int cycles = 300;
    for (int i = 1; i <= cycles; ++i) {
        // Any meter's clock moves the whole line.
        line.meters[size_t(i % 3)]->advanceTo(20.0 + i * MeterModel::CyclePeriod);
        reference += line.rig.instantReference() / cycles;
        for (size_t k = 0; k < 3; ++k) {
            reading[k] += line.meters[k]->dataFloat(2) / cycles;
            const double d = line.meters[k]->dataFloat(30) - line.meters[0]->dataFloat(30);
            rawDtSpread[k] += d * d / cycles;
        }
    }
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const MeterModel &m = *line.meters[k];
        EXPECT_EQ(m.now(), line.meters[0]->now());
        // The same true flow summed over the same cycles, to the last bit.
        EXPECT_EQ(m.referenceFlow(), line.meters[0]->referenceFlow());
        EXPECT_EQ(m.dataFloat(46), line.meters[0]->dataFloat(46));
        // Raw Δt apart by the meters' own noise only (0.25 ns each), not by the
        // process noise (0.2 % of the flow is several ns) of rigs of their own.
        EXPECT_LT(std::sqrt(rawDtSpread[k]), 0.6);
        // A flow table g high reads about g / (1 + g) low.
        const double g = m.options().works.flowGain;
        EXPECT_NEAR(reading[k] / reference - 1.0, -g / (1.0 + g), 0.005);
    }
}

INSTANTIATE_TEST_SUITE_P(Setpoints, MetersInSeries,
                         ::testing::Values(SeriesCase{300.0}, SeriesCase{800.0}, SeriesCase{-600.0}));

TEST(MeterLine, EachMeterAfterTheFirstHasItsOwnSeedAndWorksErrors)
{
    MeterPhysicsOptions o;
    o.seed = 7;
    const MeterPhysicsOptions first = meterInLine(o, 0);
    EXPECT_EQ(first.seed, 7u);
    EXPECT_EQ(first.works.flowGain, WorksErrors{}.flowGain);
    std::vector<double> gains{first.works.flowGain};
    for (int k = 1; k < 8; ++k) {
        SCOPED_TRACE(k);
        const MeterPhysicsOptions m = meterInLine(o, k);
        EXPECT_EQ(m.seed, 7u + 1000u * quint32(k));
        EXPECT_GE(std::abs(m.works.flowGain), 0.01);
        EXPECT_LE(std::abs(m.works.flowGain), 0.06);
        EXPECT_LE(std::abs(m.works.zeroNs), 0.8);
        EXPECT_LE(std::abs(m.works.thermometerAt60 - m.works.thermometerAt20), 0.4);
        for (double g : gains)
            EXPECT_NE(m.works.flowGain, g);
        gains.push_back(m.works.flowGain);
    }
}

TEST(MeterLine, AMeterLeavesTheLineWhenItGoes)
{
    RigPhysics rig;
    MeterModel stays({}, rig);
    {
        MeterModel goes(meterInLine({}, 1), rig);
        EXPECT_EQ(rig.meters().size(), 2u);
    }
    ASSERT_EQ(rig.meters().size(), 1u);
    EXPECT_EQ(rig.meters().front(), &stays);
    stays.advanceTo(2.0); // would touch the gone meter
    EXPECT_EQ(stays.now(), 2.0);
}
