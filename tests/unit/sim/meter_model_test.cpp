#include "request_bytes.h"
#include "sim/meter_model.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>

using namespace simtest;

namespace {
struct BlockCase
{
    quint8 fn;
    quint16 addr;
    quint16 count;
};

class EveryBlockTheProgramReads : public ::testing::TestWithParam<BlockCase>
{
};

// Registers as they go out: each word most significant byte first.
quint16 wordAt(const QByteArray &answer, int reg0, int reg)
{
    const int pos = 6 + 2 * (reg - reg0);
    return quint16(quint8(answer.at(pos)) << 8 | quint8(answer.at(pos + 1)));
}

double cubicAt(const MeterModel &m, double dt)
{
    return m.dataFloat(36) + m.dataFloat(38) * dt + m.dataFloat(40) * dt * dt + m.dataFloat(42) * dt * dt * dt;
}
} // namespace

TEST_P(EveryBlockTheProgramReads, AnswersWithEchoedHeaderAndTheRegisters)
{
    const BlockCase c = GetParam();
    MeterModel m;
    m.advanceTo(0.35);
    const QByteArray req = readReq(c.fn, c.addr, c.count);
    const QByteArray answer = m.handleRequest(req);
    ASSERT_EQ(answer.size(), 7 + 2 * c.count);
    EXPECT_EQ(answer.left(6), req.left(6));
    EXPECT_EQ(quint8(answer.back()), 0x55);
    for (int r = c.addr; r < c.addr + c.count; ++r)
        EXPECT_EQ(wordAt(answer, c.addr, r), c.fn == 0 ? m.dataWord(r) : m.paramWord(r)) << "register " << r;
}

INSTANTIATE_TEST_SUITE_P(Blocks, EveryBlockTheProgramReads,
                         ::testing::Values(BlockCase{0, 1, 24}, BlockCase{1, 2, 3}, BlockCase{1, 5, 8},
                                           BlockCase{0, 16, 4}, BlockCase{0, 28, 2}, BlockCase{1, 13, 8},
                                           BlockCase{0, 32, 4}, BlockCase{0, 10, 22}, BlockCase{0, 36, 8},
                                           BlockCase{1, 21, 54}, BlockCase{0, 2, 14}, BlockCase{0, 44, 6}));

TEST(MeterModel, FloatsGoOutLowRegisterFirstAndComeInAsMemoryImages)
{
    MeterModel m;
    // Seeded fixed density 998.2: IEEE 44 79 8C CD answers as 8C CD 44 79.
    EXPECT_EQ(m.handleRequest(readReq(1, 2, 2)), hex("1F 01 00 02 00 02 8C CD 44 79 55"));

    EXPECT_TRUE(m.handleRequest(hex("1F 02 00 02 00 02 00 00 7A 44 55")).isEmpty());
    EXPECT_EQ(m.paramFloat(2), 1000.0f);
    EXPECT_EQ(m.handleRequest(readReq(1, 2, 2)), hex("1F 01 00 02 00 02 00 00 44 7A 55"));

    m.handleRequest(hex("1F 02 00 04 00 01 01 02 55"));
    EXPECT_EQ(m.paramWord(4), 0x0201);
}

TEST(MeterModel, WritesLandBitExact)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    MeterModel m;
    m.handleRequest(writeFloats(5, {1.0f, -2.5f, 3.0e-7f, nan}));
    EXPECT_EQ(m.paramFloat(5), 1.0f);
    EXPECT_EQ(m.paramFloat(7), -2.5f);
    EXPECT_EQ(m.paramFloat(9), 3.0e-7f);
    EXPECT_TRUE(std::isnan(m.paramFloat(11)));
    // The flow save's overlapping last write (67..74) leaves the rest alone.
    const float before = m.paramFloat(65);
    m.handleRequest(writeFloats(67, {11.0f, 12.0f, 13.0f, 14.0f}));
    EXPECT_EQ(m.paramFloat(65), before);
    EXPECT_EQ(m.paramFloat(73), 14.0f);
}

TEST(MeterModel, MalformedAndOutOfSpaceRequestsGetNoAnswerAndChangeNothing)
{
    const QByteArray good = readReq(0, 1, 24);
    const QByteArray cases[] = {
        QByteArray(good).replace(0, 1, "\x1E"),   // start byte
        QByteArray(good).replace(6, 1, "\x54"),   // end byte
        QByteArray(good).append(char(0x55)),      // read with a data byte
        good.left(6),                             // short
        readReq(0x03, 1, 2),                      // unknown function
        readReq(0, 0, 2),                         // register 0
        readReq(0, 1, 0),                         // no registers
        readReq(0, MeterModel::DataRegisters, 2), // past the data space
        readReq(1, MeterModel::ParamRegisters - 1, 3),
        writeFloats(MeterModel::ParamRegisters, {1.0f}),
        writeFloats(2, {1.0f}).remove(8, 1),      // length disagrees with count
    };
    MeterModel m;
    for (const QByteArray &req : cases) {
        EXPECT_TRUE(m.handleRequest(req).isEmpty()) << req.toHex(' ').toStdString();
        EXPECT_EQ(m.paramFloat(2), 998.2f);
    }
    EXPECT_EQ(m.handleRequest(readReq(0, MeterModel::DataRegisters, 1)).size(), 9);
}

TEST(MeterModel, LiveReadingsArePlausibleForAFixedFlow)
{
    MeterModel m({7, 500.0, 20, true});
    m.advanceTo(5.0);
    EXPECT_NEAR(m.dataFloat(2), 500.0, 2.0);
    EXPECT_NEAR(m.dataFloat(6), 998.0, 2.0);
    EXPECT_NEAR(m.dataFloat(4), m.dataFloat(2) / m.dataFloat(6), 1e-4);
    EXPECT_GT(m.dataFloat(10), 18.0);
    EXPECT_LT(m.dataFloat(10), 27.0);
    EXPECT_GT(m.dataFloat(8), m.dataFloat(10));
    EXPECT_GT(m.dataFloat(12), 200.0);
    EXPECT_LT(m.dataFloat(12), 500.0);
    EXPECT_NEAR(m.dataWord(20), 12750, 300);
    // Reported temperature is the thermometer line applied to the live code.
    EXPECT_NEAR(m.dataFloat(10), m.dataFloat(16) + m.dataFloat(18) * m.dataFloat(28), 1e-3);
    // The zero calibration's Δt is raw: it still holds the zero offset.
    EXPECT_NEAR(m.dataFloat(30) - m.dataFloat(14), m.dataFloat(32) + m.dataFloat(34) * m.dataFloat(10), 1e-2);

    m.handleRequest(writeWord(4, 1));
    m.handleRequest(writeFloats(2, {1000.0f}));
    m.advanceTo(5.2);
    EXPECT_EQ(m.dataFloat(6), 1000.0f);
}

TEST(MeterModel, SameSeedSameReadingsOtherSeedOthers)
{
    MeterModel a({3, std::nullopt, 20}), b({3, std::nullopt, 20}), c({4, std::nullopt, 20});
    for (MeterModel *m : {&a, &b, &c})
        m->advanceTo(12.3);
    EXPECT_EQ(a.handleRequest(readReq(0, 1, 24)), b.handleRequest(readReq(0, 1, 24)));
    EXPECT_NE(a.handleRequest(readReq(0, 1, 24)), c.handleRequest(readReq(0, 1, 24)));
}

TEST(MeterModel, RigStepsThroughTheCalibrationFlows)
{
    MeterModel m({1, std::nullopt, 10, true});
    const double expected[] = {0.0, 50.0, 100.0, 250.0, 450.0, 750.0, 1000.0, -1000.0};
    for (int step = 0; step < 8; ++step) {
        m.advanceTo(step * 10.0 + 9.9);
        EXPECT_NEAR(m.trueFlow(), expected[step], 0.01 * MeterModel::RigMaxFlow) << "step " << step;
        EXPECT_NEAR(m.dataFloat(2), expected[step], 0.015 * MeterModel::RigMaxFlow) << "step " << step;
    }
}

TEST(MeterModel, LeavesTheWorksReadingAFewPerCentLowUntilCalibrated)
{
    for (const bool calibrated : {false, true}) {
        MeterModel m({2, 800.0, 20, calibrated});
        m.advanceTo(3.0);
        const double error = (m.dataFloat(2) - m.trueFlow()) / m.trueFlow();
        EXPECT_NEAR(error, calibrated ? 0.0 : -0.04, 0.006) << calibrated;
        m.setRigFlow(-200.0);
        m.advanceTo(4.0);
        EXPECT_EQ(m.trueFlow(), -200.0);
    }
}

TEST(MeterModel, SeededCoefficientsMatchTheSeededPoints)
{
    MeterModel m;
    const double t20 = m.paramFloat(5), adc20 = m.paramFloat(7);
    EXPECT_NEAR(m.dataFloat(16) + m.dataFloat(18) * adc20, t20, 1e-3);
    for (int n = 0; n < 13; ++n)
        EXPECT_NEAR(cubicAt(m, m.paramFloat(49 + 2 * n)), m.paramFloat(23 + 2 * n), 1.0) << "point " << n + 1;
}

TEST(MeterModel, RecalculateFitsLinesAndTheCubicThroughStoredPoints)
{
    MeterModel m;
    const float seededA = m.dataFloat(16);
    m.handleRequest(writeFloats(5, {20.0f, 3000.0f, 60.0f, 3800.0f}));
    m.handleRequest(writeFloats(13, {20.0f, 5.0f, 60.0f, 7.0f}));
    const auto truth = [](double dt) { return 2.0 + 0.5 * dt + 1e-5 * dt * dt - 2e-9 * dt * dt * dt; };
    const float dts[13] = {-2100, -1600, -950, -520, -210, -104, 1, 98, 205, 510, 940, 1580, 2050};
    for (int n = 0; n < 13; ++n) {
        m.handleRequest(writeFloats(quint16(23 + 2 * n), {float(truth(dts[n]))}));
        m.handleRequest(writeFloats(quint16(49 + 2 * n), {dts[n]}));
    }
    EXPECT_EQ(m.dataFloat(16), seededA); // only command 24 applies new points
    m.handleRequest(writeWord(1, 24));
    EXPECT_EQ(m.lastCommand(), 24);
    EXPECT_NEAR(m.dataFloat(16), -130.0, 1e-4);
    EXPECT_NEAR(m.dataFloat(18), 0.05, 1e-7);
    EXPECT_NEAR(m.dataFloat(32), 4.0, 1e-5);
    EXPECT_NEAR(m.dataFloat(34), 0.05, 1e-7);
    for (float dt : dts)
        EXPECT_NEAR(cubicAt(m, dt), truth(dt), 0.05) << "dt " << dt;
    EXPECT_NEAR(m.dataFloat(42), -2e-9, 1e-11);
}

TEST(MeterModel, RecalculateKeepsCoefficientsWhenPointsCannotDefineThem)
{
    MeterModel m;
    const float a = m.dataFloat(16), b = m.dataFloat(18), flowB = m.dataFloat(38);
    m.handleRequest(writeFloats(5, {20.0f, 3000.0f, 60.0f, 3000.0f}));  // same code twice
    for (int n = 0; n < 13; ++n)
        m.handleRequest(writeFloats(quint16(49 + 2 * n), {float(n % 3)})); // three distinct Δt
    m.handleRequest(writeWord(1, 24));
    EXPECT_EQ(m.dataFloat(16), a);
    EXPECT_EQ(m.dataFloat(18), b);
    EXPECT_EQ(m.dataFloat(38), flowB);
    EXPECT_TRUE(std::isfinite(m.dataFloat(2)));
}

TEST(MeterModel, AveragingStartsStopsAndResets)
{
    MeterModel m({1, 400.0, 20, true});
    m.advanceTo(1.0);
    m.handleRequest(writeWord(1, 38));
    m.advanceTo(3.0);
    m.handleRequest(writeWord(1, 39));
    EXPECT_NEAR(m.dataFloat(46), 2.0, 0.11); // seconds
    EXPECT_NEAR(m.dataFloat(48), 400.0, 2.0);
    EXPECT_DOUBLE_EQ(m.referenceFlow(), 400.0); // the rig's reference meter
    EXPECT_NEAR(m.dataFloat(44), m.dataFloat(14), 3.0);
    const float stoppedAt = m.dataFloat(46);
    m.advanceTo(6.0);
    EXPECT_EQ(m.dataFloat(46), stoppedAt);
    EXPECT_EQ(m.dataWord(1) & 1, 0);

    m.handleRequest(writeWord(1, 37));
    EXPECT_EQ(m.dataFloat(44), 0.0f);
    EXPECT_EQ(m.dataFloat(46), 0.0f);
    EXPECT_EQ(m.dataFloat(48), 0.0f);
    m.handleRequest(writeWord(1, 38));
    m.advanceTo(6.5);
    EXPECT_NEAR(m.dataFloat(46), 0.5, 0.11);
    EXPECT_EQ(m.dataWord(1) & 1, 1);
}

TEST(MeterModel, RestartIsSilentForASecondAndClearsAverages)
{
    MeterModel m({1, 400.0, 20});
    m.handleRequest(writeWord(1, 38));
    m.advanceTo(2.0);
    m.handleRequest(writeWord(1, 11));
    EXPECT_TRUE(m.isRestarting());
    m.advanceTo(2.8);
    EXPECT_TRUE(m.handleRequest(readReq(0, 1, 24)).isEmpty());
    m.handleRequest(writeFloats(2, {5.0f})); // not taken while restarting
    m.advanceTo(3.1);
    EXPECT_FALSE(m.isRestarting());
    EXPECT_EQ(m.handleRequest(readReq(0, 44, 6)).size(), 19);
    EXPECT_EQ(m.dataFloat(46), 0.0f);
    EXPECT_EQ(m.paramFloat(2), 998.2f);
}

TEST(MeterModel, FluidTemperatureIsFollowedByTheTubeWithALag)
{
    MeterModel m({5, 0.0, 20, true});
    m.advanceTo(1.0);
    const double room = m.tubeTemperature();
    m.setFluidTemperature(60.0);
    m.advanceTo(2.0);
    EXPECT_NEAR(m.referenceTemperature(), 60.0, 0.05); // the reference is in the fluid
    // One second into a ten-second lag: a tenth of the way, not all of it.
    EXPECT_GT(m.tubeTemperature(), room + 0.05 * (60.0 - room));
    EXPECT_LT(m.tubeTemperature(), room + 0.15 * (60.0 - room));
    m.advanceTo(120.0);
    EXPECT_NEAR(m.tubeTemperature(), 60.0, 0.05);
    // A calibrated meter then reads the fluid's temperature, and its zero follows it.
    EXPECT_NEAR(m.dataFloat(10), 60.0, 0.1);
    m.setFluidTemperature(std::nullopt);
    m.advanceTo(400.0);
    EXPECT_LT(m.tubeTemperature(), 30.0); // back to the room's
}

TEST(MeterModel, LeavesTheWorksWithTheThermometerReadingLowUntilCalibrated)
{
    for (const double fluid : {20.0, 60.0}) {
        SCOPED_TRACE(fluid);
        MeterModel off({5, 0.0, 20, false}), on({5, 0.0, 20, true});
        for (MeterModel *m : {&off, &on}) {
            m->setFluidTemperature(fluid);
            m->advanceTo(200.0);
        }
        EXPECT_NEAR(on.dataFloat(10), fluid, 0.1);
        EXPECT_NEAR(off.dataFloat(10), fluid - (fluid < 40 ? 0.4 : 0.7), 0.1);
    }
}
