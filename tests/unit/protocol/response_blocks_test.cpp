#include "protocol/response_blocks.h"
#include "protocol/stream_decoder.h"

#include "answer_builder.h"
#include "support/locale_guard.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

AnyRecord decodeOne(const QByteArray &bytes)
{
    StreamDecoder decoder;
    std::optional<AnyRecord> record;
    decoder.feed(bytes, 0, [&](const AnyRecord &r) { record = r; });
    if (!record || decoder.acceptedFrames() != 1)
        throw std::runtime_error("not exactly one frame");
    return *record;
}

using Getter = std::function<QString(const AnyRecord &)>;

template <class R, class M>
Getter get(M R::*member, int index = -1)
{
    return [member, index](const AnyRecord &r) -> QString {
        const auto &value = std::get<R>(r).*member;
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, QString>)
            return value;
        else if constexpr (std::is_same_v<std::decay_t<decltype(value)>, float>)
            return QString::number(value);
        else
            return value[size_t(index)];
    };
}

struct FieldCase
{
    int block;
    int pos;
    float value;
    const char *text; // under a comma locale
    Getter field;
};

void PrintTo(const FieldCase &c, std::ostream *os)
{
    *os << "block " << c.block << " pos " << c.pos << " -> " << c.text;
}

using M = TQ_main;
using T = TQ_kalibr_Termo;
using Z = TQ_kalibr_0_Termo;
using N = TQ_kalibr_Termo_ns;
using K = TQ_Rashod_Kf;
using Q = TQ_kalibr_Rashod;

const FieldCase fieldCases[] = {
    {1, 9, 998.2f, "998,200", get(&M::Rashod_M)},
    {1, 13, -1.5f, "-1,500", get(&M::Rashod_O)},
    {1, 17, 997.25f, "997,25", get(&M::Plotnost)},
    {1, 21, 36.6f, "36,60", get(&M::TempMCU)},
    {1, 25, 20.5f, "20,50", get(&M::TempTube)},
    {1, 29, 150.123456f, "150,1235", get(&M::FRQ)},
    {1, 33, -12.5f, "-12,5000", get(&M::TimePostCer0)},
    {2, 7, 998.2f, "998,20", get(&TQ_settings::Plotnost_FIX)},
    {3, 7, 20.5f, "20,50", get(&T::Temp_20)},
    {3, 11, 1234.5f, "1234,50", get(&T::ADC_20)},
    {3, 15, 60.25f, "60,25", get(&T::Temp_60)},
    {3, 19, 2345.75f, "2345,75", get(&T::ADC_60)},
    {4, 7, 0.1f, "0,100000001490116", get(&T::A)},
    {4, 11, 1.0f, "1", get(&T::B)},
    {5, 7, 1234.567f, "1234,57", get(&TQ_kalibr_Termo_ADC::ADC_str)},
    {5, 7, 1234.5f, "1234.5", get(&TQ_kalibr_Termo_ADC::ADC_float)},
    {6, 7, 20.0f, "20,00", get(&Z::Temp_20)},
    {6, 11, -3.5f, "-3,50", get(&Z::t_20)},
    {6, 15, 60.0f, "60,00", get(&Z::Temp_60)},
    {6, 19, 4.25f, "4,25", get(&Z::t_60)},
    {7, 7, 2.5f, "2,5", get(&Z::A)},
    {7, 11, -0x1p-15f, "-3,0517578125E-5", get(&Z::B)},
    {8, 7, 21.5f, "21,50", get(&N::T_str)},
    {8, 7, 21.5f, "21.5", get(&N::T_float)},
    {8, 47, -123.456f, "-123,46", get(&N::ns_str)},
    {8, 47, -123.5f, "-123.5", get(&N::ns_float)},
    {9, 7, 1.5f, "1,5", get(&K::A)},
    {9, 11, 2.0f, "2", get(&K::B)},
    {9, 15, -0.25f, "-0,25", get(&K::C)},
    {9, 19, 1e-7f, "1,0000000116861E-7", get(&K::D)},
    {10, 7, 100.0f, "100", get(&K::Q_Max)},
    {10, 7, 99.5f, "99.5", get(&K::Q_Max_Float)},
    {10, 11, 1.125f, "1,125", get(&K::Etalon, 0)},
    {10, 59, -13.0f, "-13", get(&K::Etalon, 12)},
    {10, 63, 0.0626f, "0,063", get(&K::Pribor, 0)},
    {10, 111, 12.5f, "12,5", get(&K::Pribor, 12)},
    {11, 7, 12.3456f, "12,346", get(&Q::Q_Qm_str)},
    {11, 7, 12.25f, "12.25", get(&Q::Q_Qm_float)},
    {11, 31, -0.0004f, "-0,000", get(&Q::Q_Ns_str)},
    {11, 31, -0.75f, "-0.75", get(&Q::Q_Ns_float)},
    {12, 7, 1.5f, "1,5", get(&Q::sred_times_val)},
    {12, 11, 15000.0f, "15000", get(&Q::Time_ms)},
    {12, 15, 2.0626f, "2,063", get(&Q::sred_Qm_val)},
};

class FieldDecodeTest : public ::testing::TestWithParam<FieldCase>
{
};

TEST_P(FieldDecodeTest, ValueAtItsPositionFillsItsField)
{
    const FieldCase &c = GetParam();
    LocaleGuard guard(LocaleGuard::comma());
    EXPECT_EQ(c.field(decodeOne(Answer(c.block).floatAt(c.pos, c.value))), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(Blocks, FieldDecodeTest, ::testing::ValuesIn(fieldCases));

TEST(BlockDecode, FlowTableKeepsEveryPointInItsSlot)
{
    LocaleGuard guard(LocaleGuard::point());
    Answer answer(10);
    for (int n = 1; n <= 13; ++n)
        answer.floatAt(7 + 4 * n, float(n) + 0.125f).floatAt(59 + 4 * n, -float(n));
    const auto flow = std::get<TQ_Rashod_Kf>(decodeOne(answer));
    for (int n = 1; n <= 13; ++n) {
        EXPECT_EQ(flow.Etalon[size_t(n - 1)], QStringLiteral("%1.125").arg(n));
        EXPECT_EQ(flow.Pribor[size_t(n - 1)], QStringLiteral("-%1").arg(n));
    }
}

// Records shared by two blocks say which half is filled.
TEST(BlockDecode, SharedRecordsTellWhichHalfIsFilled)
{
    const std::pair<int, bool> cases[] = {{3, false}, {4, true},  {6, false}, {7, true},
                                          {9, true},  {10, false}, {11, true}, {12, false}};
    for (const auto &[block, half] : cases) {
        const AnyRecord record = decodeOne(Answer(block));
        std::visit(
            [&](const auto &r) {
                if constexpr (requires { r.Kf; })
                    EXPECT_EQ(r.Kf, half) << block;
                else if constexpr (requires { r.type_Q_Ns; })
                    EXPECT_EQ(r.type_Q_Ns, half) << block;
                else
                    ADD_FAILURE() << "block " << block << " has no half flag";
            },
            record);
    }
}

TEST(BlockDecode, WordsOfTheLiveAndDensityBlocks)
{
    LocaleGuard guard(LocaleGuard::comma());
    EXPECT_EQ(std::get<TQ_main>(decodeOne(Answer(1).byteAt(7, 0x01).byteAt(8, 0x02))).Status, "258");
    for (const auto &[word, aru] : {std::pair<quint16, const char *>{25500, "100,00"}, {12750, "50,00"}, {0, "0,00"}})
        EXPECT_EQ(std::get<TQ_main>(decodeOne(Answer(1).wordAt(45, word))).ARU, QString::fromLatin1(aru));
    for (const auto &[word, enabled] : {std::pair<quint16, bool>{0, false}, {1, true}, {0x0100, true}, {0xFFFF, true}})
        EXPECT_EQ(std::get<TQ_settings>(decodeOne(Answer(2).wordAt(11, word))).Plotnost_FIX_En, enabled) << word;
}

TEST(BlockDecode, RawBytesOfMassFlowFollowTheLocale)
{
    // 998.2 arrives as 8C CD 44 79: low register first, each register MSB first.
    const QByteArray frame = Answer(1).byteAt(9, 0x8C).byteAt(10, 0xCD).byteAt(11, 0x44).byteAt(12, 0x79);
    LocaleGuard guard(LocaleGuard::point());
    EXPECT_EQ(std::get<TQ_main>(decodeOne(frame)).Rashod_M, QStringLiteral("998.200"));
}

TEST(BlockDecode, MalformedAnswersAreDroppedWithoutTrace)
{
    const QByteArray cases[] = {
        Answer(1).byteAt(6, 0x17),  // count differs
        Answer(0x00, 0x02, 0x03),   // density block asked in the data space
        Answer(0x00, 0x03, 0x18),   // unknown address
        Answer(1).byteAt(3, 0x01),  // address high byte set
        Answer(1).byteAt(5, 0x01),  // count high byte set
        Answer(1).byteAt(55, 0x54), // wrong end byte
        Answer(1).byteAt(1, 0x1E),  // wrong start byte
    };
    for (const QByteArray &bytes : cases) {
        StreamDecoder decoder;
        decoder.feed(bytes, 0, [](const AnyRecord &) { ADD_FAILURE() << "decoded"; });
        EXPECT_EQ(decoder.acceptedFrames(), 0);
        EXPECT_EQ(decoder.buffered(), 0);
        EXPECT_EQ(decoder.droppedBytes(), bytes.size());
    }
}

TEST(BlockDecode, HeaderLookupTakesBareOrFramedHeader)
{
    for (const BlockHeader &h : blockHeaders) {
        const QByteArray frame = Answer(h);
        const BlockSpec *block = FindBlockByHeader(frame.mid(1, 5));
        ASSERT_NE(block, nullptr) << h.number;
        EXPECT_EQ(block->number, h.number);
        EXPECT_EQ(block->length(), h.length());
        EXPECT_EQ(FindBlockByHeader(frame), block);
        EXPECT_EQ(FindBlockByHeader(Answer(h.function, h.addr, quint8(h.count + 1)).bytes().left(6)), nullptr);
    }
}

} // namespace
