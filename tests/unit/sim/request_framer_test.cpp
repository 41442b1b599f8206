#include "request_bytes.h"
#include "sim/request_framer.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {
struct FramingCase
{
    const char *name;
    QList<QByteArray> pieces; // arriving 10 ms apart
    QList<QByteArray> expected;
};

void PrintTo(const FramingCase &c, std::ostream *os)
{
    *os << c.name;
}

class RequestFraming : public ::testing::TestWithParam<FramingCase>
{
};

const QByteArray Live = readReq(0, 1, 24);
// Data bytes that look like start and end bytes must not cut the frame.
const QByteArray Tricky = header(0x02, 13, 2).append("\x55\x1F\x55\x1F", 4).append(char(0x55));
} // namespace

TEST_P(RequestFraming, CutsCompleteFramesOutOfTheStream)
{
    RequestFramer f;
    QList<QByteArray> got;
    qint64 t = 0;
    for (const QByteArray &p : GetParam().pieces)
        got += f.feed(p, t += 10);
    EXPECT_EQ(got, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, RequestFraming,
    ::testing::Values(FramingCase{"Whole", {Live}, {Live}},
                      FramingCase{"ByteByByte", [] {
                                      QList<QByteArray> l;
                                      for (char c : Live)
                                          l << QByteArray(1, c);
                                      return l;
                                  }(), {Live}},
                      FramingCase{"TwoInOne", {Live + Tricky}, {Live, Tricky}},
                      FramingCase{"SplitWriteWithLookalikeData", {Tricky.left(8), Tricky.mid(8)}, {Tricky}},
                      FramingCase{"GarbageBefore", {hex("00 55 FF 1F 07") + Live}, {Live}},
                      FramingCase{"BadEndResyncsOnNextStart", {hex("1F 00 00 01 00 18 54") + Live}, {Live}},
                      FramingCase{"ZeroCountWriteIsNoFrame", {hex("1F 02 00 01 00 00 55") + Live}, {Live}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RequestFramer, StalePartialFrameIsDropped)
{
    RequestFramer f;
    EXPECT_TRUE(f.feed(Live.left(4), 0).isEmpty());
    // The rest arrives far too late: the half frame is gone, the next frame is whole.
    EXPECT_TRUE(f.feed(Live.mid(4), 1000).isEmpty());
    EXPECT_EQ(f.feed(Live, 1010), QList<QByteArray>{Live});
}
