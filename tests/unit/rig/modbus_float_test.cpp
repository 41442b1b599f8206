#include "rig/modbus_float.h"

#include <gtest/gtest.h>

namespace {

struct FloatCase
{
    float value;
    quint16 high, low; // IEEE 754 single precision, worked out by hand
};

class FloatWords : public ::testing::TestWithParam<FloatCase>
{
};

TEST_P(FloatWords, EachOrderPutsTheHalvesInItsPlaceAndReadsThemBack)
{
    const FloatCase c = GetParam();
    const auto abcd = FloatToRegisters(c.value, WordOrder::HighFirst);
    EXPECT_EQ(abcd[0], c.high);
    EXPECT_EQ(abcd[1], c.low);
    const auto cdab = FloatToRegisters(c.value, WordOrder::LowFirst);
    EXPECT_EQ(cdab[0], c.low);
    EXPECT_EQ(cdab[1], c.high);
    EXPECT_EQ(RegistersToFloat(c.high, c.low, WordOrder::HighFirst), c.value);
    EXPECT_EQ(RegistersToFloat(c.low, c.high, WordOrder::LowFirst), c.value);
}

INSTANTIATE_TEST_SUITE_P(KnownPatterns, FloatWords,
                         ::testing::Values(FloatCase{1000.0f, 0x447A, 0x0000}, FloatCase{-1.5f, 0xBFC0, 0x0000},
                                           FloatCase{0.1f, 0x3DCC, 0xCCCD}, FloatCase{12345.678f, 0x4640, 0xE6B6},
                                           FloatCase{0.001f, 0x3A83, 0x126F}));

} // namespace
