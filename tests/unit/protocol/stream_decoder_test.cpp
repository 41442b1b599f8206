#include "protocol/stream_decoder.h"

#include "answer_builder.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <stdexcept>
#include <vector>

namespace {

class Collector
{
public:
    StreamDecoder decoder;
    std::vector<AnyRecord> records;

    void feed(const QByteArray &bytes, qint64 nowMs)
    {
        decoder.feed(bytes, nowMs, [this](const AnyRecord &r) { records.push_back(r); });
    }
    // Live answers are told apart by the mass flow placed in them.
    std::vector<float> flows() const
    {
        std::vector<float> f;
        for (const AnyRecord &r : records)
            f.push_back(QLocale().toFloat(std::get<TQ_main>(r).Rashod_M));
        return f;
    }
};

QByteArray live(float massFlow)
{
    return Answer(1).floatAt(9, massFlow);
}

TEST(StreamDecoder, EveryBlockSplitAnywhereIsDecodedOnce)
{
    // Record kind (index into AnyRecord) of blocks 1..12.
    constexpr size_t kinds[] = {0, 1, 2, 2, 4, 3, 3, 5, 6, 6, 7, 7};
    for (const BlockHeader &h : blockHeaders) {
        const QByteArray frame = Answer(h).filled();
        for (int cut = 1; cut < frame.size(); ++cut) {
            SCOPED_TRACE(testing::Message() << "block " << h.number << " cut " << cut);
            Collector c;
            c.feed(frame.left(cut), 1000);
            EXPECT_TRUE(c.records.empty());
            c.feed(frame.mid(cut), 1001);
            ASSERT_EQ(c.records.size(), 1u);
            EXPECT_EQ(c.records[0].index(), kinds[h.number - 1]);
            EXPECT_EQ(c.decoder.droppedBytes(), 0);
            EXPECT_EQ(c.decoder.buffered(), 0);
        }
    }
}

TEST(StreamDecoder, SeveralAnswersInOneArrivalAreAllDecoded)
{
    Collector two;
    two.feed(live(1) + live(2), 0);
    EXPECT_EQ(two.flows(), (std::vector<float>{1, 2}));

    Collector three;
    three.feed(Answer(10) + live(1) + Answer(2).bytes(), 0);
    ASSERT_EQ(three.records.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<TQ_Rashod_Kf>(three.records[0]));
    EXPECT_TRUE(std::holds_alternative<TQ_main>(three.records[1]));
    EXPECT_TRUE(std::holds_alternative<TQ_settings>(three.records[2]));
}

TEST(StreamDecoder, NoiseBeforeAndBetweenAnswersIsSkipped)
{
    const char *noises[] = {"00ff55", "1f", "1f1f", "1f00", "1f000001", "1f0000010018", "551f0155"};
    for (const char *hex : noises) {
        SCOPED_TRACE(hex);
        const QByteArray noise = QByteArray::fromHex(hex);
        Collector c;
        c.feed(noise + live(1) + noise + live(2), 0);
        EXPECT_EQ(c.flows(), (std::vector<float>{1, 2}));
        EXPECT_EQ(c.decoder.droppedBytes(), 2 * noise.size());
    }
}

TEST(StreamDecoder, TruncatedAnswerDoesNotHideTheNextOne)
{
    const QByteArray good = live(3);
    ASSERT_EQ(good.indexOf(char(0x55)), good.size() - 1);
    for (int cut = 1; cut < good.size(); ++cut) {
        for (bool sameArrival : {true, false}) {
            SCOPED_TRACE(testing::Message() << "cut " << cut << " same arrival " << sameArrival);
            Collector c;
            if (sameArrival) {
                c.feed(good.left(cut) + good, 0);
            } else {
                c.feed(good.left(cut), 0);
                c.feed(good, 10);
            }
            EXPECT_EQ(c.flows(), std::vector<float>{3});
            EXPECT_EQ(c.decoder.droppedBytes(), cut);
        }
    }
}

TEST(StreamDecoder, PartialAnswerIsDroppedOnlyWhenTheLineWasSeenQuiet)
{
    const QByteArray frame = Answer(5).filled();
    struct
    {
        qint64 staleMs;
        qint64 checkAfterMs; // when the caller finds the port empty; < 0: never
        bool joined;
    } const cases[] = {{100, -1, true}, {100, 0, true}, {100, 99, true}, {100, 100, false},
                       {100, 5000, false}, {20, 19, true}, {20, 20, false}};
    for (const auto &t : cases) {
        SCOPED_TRACE(testing::Message() << "stale " << t.staleMs << " check after " << t.checkAfterMs);
        int records = 0;
        const auto count = [&](const AnyRecord &) { ++records; };
        StreamDecoder decoder(t.staleMs);
        decoder.feed(frame.left(4), 5000, count);
        decoder.feed(frame.mid(4, 4), 5010, count); // the quiet time counts from the last byte
        if (t.checkAfterMs >= 0) {
            EXPECT_EQ(decoder.expireStale(5010 + t.checkAfterMs, count), !t.joined);
        }
        // However late the rest is handed over: a busy event loop is not a quiet line.
        decoder.feed(frame.mid(8), 5010 + 10000, count);
        EXPECT_EQ(records, t.joined ? 1 : 0);
        EXPECT_EQ(decoder.droppedBytes(), t.joined ? 0 : frame.size());
        decoder.feed(frame, 20000, count);
        EXPECT_EQ(records, t.joined ? 2 : 1);
    }
}

TEST(StreamDecoder, LaterArrivalWithAnAnswerHeaderEndsATruncatedOne)
{
    // Cut so that the joined bytes would end on a valid end byte: only the header of
    // the later arrival tells that the two do not belong together.
    const QByteArray next = Answer(1).floatAt(9, 7).byteAt(20, 0x55);
    const QByteArray truncated = live(3).left(55 - 20);
    ASSERT_EQ(quint8(next.at(19)), 0x55);
    for (int split : {0, 3, 6, 30}) {
        SCOPED_TRACE(testing::Message() << "second arrival split at " << split);
        Collector c;
        c.feed(truncated, 0);
        if (split > 0) {
            c.feed(next.left(split), 10000);
            c.feed(next.mid(split), 10001);
        } else {
            c.feed(next, 10000);
        }
        EXPECT_EQ(c.flows(), std::vector<float>{7});
        EXPECT_EQ(c.decoder.droppedBytes(), truncated.size());
    }
}

TEST(StreamDecoder, AnswerQueuedBehindAStalePartialIsStillDecoded)
{
    // A stray header announcing the long flow table holds back the live answer behind it.
    const QByteArray strayHeader = QByteArray::fromHex("1f0100150036");
    for (bool laterAnswer : {false, true}) {
        SCOPED_TRACE(laterAnswer ? "released by the next answer" : "released by the quiet line");
        Collector c;
        c.feed(strayHeader + live(1), 0);
        EXPECT_TRUE(c.records.empty());
        if (laterAnswer) {
            c.feed(live(2).left(20), 333);
            c.feed(live(2).mid(20), 334);
        } else {
            EXPECT_TRUE(c.decoder.expireStale(100, [&](const AnyRecord &r) { c.records.push_back(r); }));
        }
        EXPECT_EQ(c.flows(), laterAnswer ? (std::vector<float>{1, 2}) : (std::vector<float>{1}));
        EXPECT_EQ(c.decoder.droppedBytes(), strayHeader.size());
        EXPECT_EQ(c.decoder.buffered(), 0);
    }
}

TEST(StreamDecoder, QuietGapHoldsEvenWhenAHandlerThrowsWhileExpiring)
{
    // A stray long header, a complete answer, then the head of a flow table: the line goes quiet.
    const QByteArray table = Answer(10).filled();
    const QByteArray arrival = QByteArray::fromHex("1f0100150036") + live(1) + table.left(20);
    ASSERT_EQ(table.indexOf(char(0x1F), 1), -1);
    StreamDecoder decoder;
    int tables = 0;
    const auto count = [&](const AnyRecord &r) { tables += std::holds_alternative<TQ_Rashod_Kf>(r) ? 1 : 0; };
    decoder.feed(arrival, 0, count);
    const auto throwing = [](const AnyRecord &) { throw std::runtime_error("handler failed"); };
    EXPECT_THROW(decoder.expireStale(500, throwing), std::runtime_error);
    decoder.drain(count);
    // The rest of the table, however it comes, cannot finish what began before the gap.
    decoder.feed(table.mid(20), 600, count);
    EXPECT_EQ(tables, 0);
    EXPECT_EQ(decoder.acceptedFrames(), 1);
    EXPECT_EQ(decoder.acceptedBytes() + decoder.droppedBytes() + decoder.buffered(), arrival.size() + table.size() - 20);
}

TEST(StreamDecoder, FloodsOfStartBytesAndNoiseLeaveOnlyAShortTail)
{
    for (const char fill : {'\x1f', '\x00', '\x55'}) {
        StreamDecoder decoder;
        const QByteArray flood(256 * 1024, fill);
        for (int i = 0; i < 4; ++i)
            decoder.feed(flood, i, {});
        EXPECT_LT(decoder.buffered(), 6) << int(fill);
        EXPECT_EQ(decoder.droppedBytes() + decoder.buffered(), 4 * flood.size());
        decoder.feed(live(5), 10, {});
        EXPECT_EQ(decoder.acceptedFrames(), 1) << int(fill);
    }
}

TEST(StreamDecoder, ThrowingHandlerLeavesTheDecoderReady)
{
    StreamDecoder decoder;
    std::vector<float> seen;
    const auto throwFirst = [&](const AnyRecord &r) {
        seen.push_back(QLocale().toFloat(std::get<TQ_main>(r).Rashod_M));
        if (seen.size() == 1)
            throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(decoder.feed(live(1) + live(2), 0, throwFirst), std::runtime_error);
    EXPECT_EQ(decoder.acceptedFrames(), 1);
    EXPECT_EQ(decoder.buffered(), live(2).size());
    decoder.drain(throwFirst);
    decoder.feed(live(3), 10, throwFirst);
    EXPECT_EQ(seen, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(decoder.acceptedFrames(), 3);
}

TEST(StreamDecoder, FramesAreCountedWithoutAHandler)
{
    StreamDecoder decoder;
    for (const BlockHeader &h : blockHeaders)
        decoder.feed(Answer(h), 0, {});
    EXPECT_EQ(decoder.acceptedFrames(), 12);
}

} // namespace
