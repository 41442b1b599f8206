#include "protocol/protokol_usb.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

struct SentFrame
{
    QByteArray bytes;
    FrameKind kind;
    int extraPauseMs;
};

class RecordingSink : public FrameSink
{
public:
    void sendFrame(const QByteArray &frame, FrameKind kind, int extraPauseMs) override
    {
        sent.push_back({frame, kind, extraPauseMs});
    }
    std::vector<SentFrame> sent;
};

class ClosedSink : public FrameSink
{
public:
    void sendFrame(const QByteArray &, FrameKind, int) override { throw LinkError(QStringLiteral("port not open")); }
};

struct FrameCase
{
    const char *name;
    std::function<void(FrameSink &)> send;
    const char *hex;
    FrameKind kind;
    int extraPauseMs;
};

void PrintTo(const FrameCase &c, std::ostream *os)
{
    *os << c.name;
}

const float QuietNaN = std::numeric_limits<float>::quiet_NaN();

const FrameCase frameCases[] = {
    {"ReadLiveBlock", [](FrameSink &s) { SendReadData(s, 1, 24); }, "1f0000010018" "55", FrameKind::CountedRead, 0},
    {"ReadFlowTable", [](FrameSink &s) { SendReadParams(s, 21, 54); }, "1f0100150036" "55", FrameKind::CountedRead, 0},
    {"ReadWideAddress", [](FrameSink &s) { SendReadData(s, 0x1234, 0xABCD); }, "1f001234abcd" "55", FrameKind::CountedRead, 0},
    {"CommandRecalculate", [](FrameSink &s) { SendWriteWord(s, 1, 24); }, "1f0200010001" "1800" "55", FrameKind::Write, 0},
    {"FixedDensityOff", [](FrameSink &s) { SendWriteWord(s, 4, 0); }, "1f0200040001" "0000" "55", FrameKind::Write, 0},
    {"FixedDensityOn", [](FrameSink &s) { SendWriteWord(s, 4, 1); }, "1f0200040001" "0100" "55", FrameKind::Write, 0},
    {"WordLowByteFirst", [](FrameSink &s) { SendWriteWord(s, 1, 0xBEEF); }, "1f0200010001" "efbe" "55", FrameKind::Write, 0},
    {"Float1000", [](FrameSink &s) { SendWriteFloat(s, 2, 1000.0f); }, "1f0200020002" "00007a44" "55", FrameKind::Write, 0},
    {"Float998_2", [](FrameSink &s) { SendWriteFloat(s, 2, 998.2f); }, "1f0200020002" "cd8c7944" "55", FrameKind::Write, 0},
    {"NegativeFloat", [](FrameSink &s) { SendWriteFloat(s, 2, -2.5f); }, "1f0200020002" "000020c0" "55", FrameKind::Write, 0},
    {"NegativeZero", [](FrameSink &s) { SendWriteFloat(s, 2, -0.0f); }, "1f0200020002" "00000080" "55", FrameKind::Write, 0},
    {"NaNBitForBit", [](FrameSink &s) { SendWriteFloat(s, 2, QuietNaN); }, "1f0200020002" "0000c07f" "55", FrameKind::Write, 0},
    {"FourFloatsInOrder", [](FrameSink &s) { SendWriteFloat4(s, 5, 1.0f, 2.0f, 3.0f, 4.0f); },
     "1f0200050008" "0000803f" "00000040" "00004040" "00008040" "55", FrameKind::Write, 0},
    {"FlowSaveExtraPause", [](FrameSink &s) { SendWriteFloat4(s, 67, -1.0f, 0.0f, 0.5f, 1e10f, 100); },
     "1f0200430008" "000080bf" "00000000" "0000003f" "f9021550" "55", FrameKind::Write, 100},
    {"WordExtraPause", [](FrameSink &s) { SendWriteWord(s, 1, 11, 30); }, "1f0200010001" "0b00" "55", FrameKind::Write, 30},
};

class FrameTest : public ::testing::TestWithParam<FrameCase>
{
};

TEST_P(FrameTest, EncoderHandsOverExactFrame)
{
    const FrameCase &c = GetParam();
    RecordingSink sink;
    c.send(sink);
    ASSERT_EQ(sink.sent.size(), 1u);
    EXPECT_EQ(sink.sent[0].bytes.toHex().toStdString(), c.hex);
    EXPECT_EQ(sink.sent[0].kind, c.kind);
    EXPECT_EQ(sink.sent[0].extraPauseMs, c.extraPauseMs);
}

INSTANTIATE_TEST_SUITE_P(Encoders, FrameTest, ::testing::ValuesIn(frameCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Frames, NaNPayloadKeepsItsBits)
{
    // A signalling NaN with payload must not be canonicalised on its way out.
    const float nan = std::bit_cast<float>(quint32(0xFF812345));
    RecordingSink sink;
    SendWriteFloat(sink, 2, nan);
    ASSERT_EQ(sink.sent.size(), 1u);
    EXPECT_EQ(sink.sent[0].bytes.mid(6, 4).toHex().toStdString(), "452381ff");
}

TEST(Frames, ClosedSinkErrorReachesTheCaller)
{
    ClosedSink sink;
    for (const FrameCase &c : frameCases) {
        SCOPED_TRACE(c.name);
        try {
            c.send(sink);
            ADD_FAILURE() << "no LinkError";
        } catch (const LinkError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("port not open"));
        }
    }
}

} // namespace
