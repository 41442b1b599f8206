#include "link/transmit_pacer.h"
#include <QElapsedTimer>
#include <QSignalSpy>
#include "wait_for.h"
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Records what reaches the port and when; refuses frames listed in refuse.
struct RecordingWriter
{
    RecordingWriter() { clock.start(); }
    TransmitPacer::Writer writer()
    {
        return [this](const QByteArray &frame) {
            ++attempts;
            if (refuse.contains(frame))
                return false;
            frames.append(frame);
            atNs.append(clock.nsecsElapsed());
            return true;
        };
    }
    QElapsedTimer clock;
    QList<QByteArray> frames;
    QList<qint64> atNs;
    QList<QByteArray> refuse;
    int attempts = 0;
};

QByteArray frame(int n)
{
    return QByteArray("F") + QByteArray::number(n);
}

TEST(TransmitPacer, FramesLeaveInOrderNeverCloserThanThePauseBeforeThem)
{
    RecordingWriter rec;
    TransmitPacer pacer(rec.writer());
    const int pauses[] = {30, 5, 20, 0, 15, 10};
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(pacer.enqueue(frame(i), pauses[i], i % 2 == 1));

    // The line was quiet: the first frame went out during enqueue.
    ASSERT_EQ(rec.frames.size(), 1);
    WAIT_ASSERT_EQ(rec.frames.size(), 6, 2000);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(rec.frames[i], frame(i));
    for (int i = 1; i < 6; ++i)
        EXPECT_GE(rec.atNs[i] - rec.atNs[i - 1], qint64(pauses[i - 1]) * 1000000) << "frame " << i;
    EXPECT_EQ(pacer.waiting(), 0);
}

TEST(TransmitPacer, FrameAfterQuietTimeIsWrittenAtOnce)
{
    RecordingWriter rec;
    TransmitPacer pacer(rec.writer());
    pacer.enqueue(frame(0), 10, true);
    QTest::qWait(25);
    pacer.enqueue(frame(1), 10, true);
    EXPECT_EQ(rec.frames.size(), 2);
    EXPECT_EQ(pacer.waiting(), 0);
}

TEST(TransmitPacer, ReadStillWaitingIsNotQueuedAgainButWritesAre)
{
    RecordingWriter rec;
    TransmitPacer pacer(rec.writer());
    pacer.enqueue(frame(0), 40, true); // written, line busy for 40 ms
    EXPECT_TRUE(pacer.enqueue(frame(1), 0, true));
    EXPECT_TRUE(pacer.enqueue(frame(1), 0, true));
    EXPECT_TRUE(pacer.enqueue(frame(2), 0, false));
    EXPECT_TRUE(pacer.enqueue(frame(2), 0, false));
    // After a write the same read asks a new question (save, then read back).
    EXPECT_TRUE(pacer.enqueue(frame(1), 0, true));
    EXPECT_TRUE(pacer.enqueue(frame(1), 0, true));
    EXPECT_EQ(pacer.waiting(), 4);

    WAIT_ASSERT_EQ(pacer.waiting(), 0, 1000);
    EXPECT_EQ(rec.frames, (QList<QByteArray>{frame(0), frame(1), frame(2), frame(2), frame(1)}));
}

TEST(TransmitPacer, BoundedQueueDropsOldestReadsNeverWrites)
{
    RecordingWriter rec;
    TransmitPacer pacer(rec.writer());
    pacer.enqueue(frame(-1), 30, true);
    pacer.enqueue(frame(1000), 0, false);
    pacer.enqueue(frame(1001), 0, false);
    const int reads = TransmitPacer::MaxWaiting + 10;
    for (int i = 0; i < reads; ++i)
        pacer.enqueue(frame(i), 0, true);
    EXPECT_EQ(pacer.waiting(), TransmitPacer::MaxWaiting);

    WAIT_ASSERT_EQ(pacer.waiting(), 0, 2000);
    QList<QByteArray> expected{frame(-1), frame(1000), frame(1001)};
    for (int i = reads - (TransmitPacer::MaxWaiting - 2); i < reads; ++i)
        expected.append(frame(i));
    EXPECT_EQ(rec.frames, expected);
}

TEST(TransmitPacer, QueuedWriteFailureDropsTheQueueAndSignalsOnce)
{
    RecordingWriter rec;
    rec.refuse.append(frame(1));
    TransmitPacer pacer(rec.writer());
    QSignalSpy failed(&pacer, &TransmitPacer::writeFailed);
    for (int i = 0; i < 4; ++i)
        pacer.enqueue(frame(i), 10, true);

    WAIT_ASSERT_EQ(failed.count(), 1, 1000);
    QTest::qWait(40);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(pacer.waiting(), 0);
    EXPECT_EQ(rec.frames, QList<QByteArray>{frame(0)});
    EXPECT_EQ(rec.attempts, 2);
}

TEST(TransmitPacer, ImmediateWriteFailureIsReturnedNotSignalled)
{
    RecordingWriter rec;
    rec.refuse.append(frame(0));
    TransmitPacer pacer(rec.writer());
    QSignalSpy failed(&pacer, &TransmitPacer::writeFailed);

    EXPECT_FALSE(pacer.enqueue(frame(0), 10, false));
    EXPECT_EQ(pacer.waiting(), 0);
    QTest::qWait(20);
    EXPECT_EQ(failed.count(), 0);
    // A refused frame leaves no quiet time behind.
    EXPECT_TRUE(pacer.enqueue(frame(1), 10, false));
    EXPECT_EQ(rec.frames, QList<QByteArray>{frame(1)});
}

TEST(TransmitPacer, ClearDropsWaitingFramesButKeepsTheQuietTime)
{
    RecordingWriter rec;
    TransmitPacer pacer(rec.writer());
    QSignalSpy written(&pacer, &TransmitPacer::frameWritten);
    pacer.enqueue(frame(0), 30, true);
    pacer.enqueue(frame(1), 0, true);
    pacer.enqueue(frame(2), 0, false);
    pacer.clear();
    EXPECT_EQ(pacer.waiting(), 0);

    // The frame already on the line still owns its quiet time.
    pacer.enqueue(frame(3), 0, true);
    EXPECT_EQ(pacer.waiting(), 1);
    WAIT_ASSERT_EQ(pacer.waiting(), 0, 1000);
    EXPECT_EQ(rec.frames, (QList<QByteArray>{frame(0), frame(3)}));
    EXPECT_GE(rec.atNs[1] - rec.atNs[0], 30 * 1000000LL);
    EXPECT_EQ(written.count(), 2);
}

} // namespace
