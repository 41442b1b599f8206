// A window's own reads against the simulated meter, kept silent: the test plays the
// data handler and asks take() itself, so the order of events is the test's.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "link/own_reads.h"
#include "protocol/protokol_usb.h"
#include "sim/meter_server.h"
#include "wait_for.h"
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const QByteArray Points = Proto::readFrame(Proto::FnReadParams, 5, 8);

class OwnReadsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SimOptions options;
        options.silent = true;
        server = std::make_unique<MeterServer>(options);
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
        dm = std::make_unique<TDM_1>(
            std::make_unique<CandidatePorts>(QList<VirtualPort>{{server->devicePath(), QString()}}, nullptr));
        dm->findDevicePort();
        ASSERT_TRUE(dm->isPortOpen());
        reads = std::make_unique<TOwnReads>(*dm);
    }
    // A write keeps the line busy for its pause, so what follows waits in the queue.
    void busyLine() { SendWriteWord(*dm, Proto::CommandRegister, Proto::CmdAverageReset); }
    void drain() { WAIT_ASSERT_EQ(dm->pacer().waiting(), 0, 10000); }

    std::unique_ptr<MeterServer> server;
    std::unique_ptr<TDM_1> dm;
    std::unique_ptr<TOwnReads> reads;
};

} // namespace

TEST_F(OwnReadsTest, AnAnswerCountsOnlyOnceAndOnlyAfterTheReadLeft)
{
    QSignalSpy taken(reads.get(), &TOwnReads::taken);
    EXPECT_FALSE(reads->take(Points)) << "nothing was asked";

    busyLine();
    EXPECT_EQ(reads->send(Proto::FnReadParams, 5, 8), Points);
    EXPECT_EQ(dm->pacer().waiting(), 1);
    EXPECT_FALSE(reads->take(Points)) << "an answer before the read left answers an earlier one";
    drain();
    EXPECT_TRUE(reads->take(Points));
    EXPECT_FALSE(reads->take(Points)) << "a second answer is someone else's";
    ASSERT_EQ(taken.size(), 1);
    EXPECT_EQ(taken.first().first().toByteArray(), Points);

    // On a quiet line the read leaves inside send(): it is out at once.
    QTest::qWait(2 * TransmitPacer::PauseAfterReadMs);
    reads->send(Proto::FnReadParams, 5, 8);
    EXPECT_TRUE(reads->take(Points));
}

TEST_F(OwnReadsTest, AnIdenticalQueuedReadStandsInForOurs)
{
    busyLine();
    SendReadParams(*dm, 5, 8); // a backup's read, still waiting
    reads->send(Proto::FnReadParams, 5, 8);
    EXPECT_EQ(dm->pacer().waiting(), 1) << "the queue sends the read once";
    EXPECT_FALSE(reads->take(Points));
    drain();
    EXPECT_TRUE(reads->take(Points));
}

// A save reads back after its write; an earlier read of ours still queued before
// that write answers with the old values.
TEST_F(OwnReadsTest, ReadAgainBehindAWriteOnlyTheLastReadCounts)
{
    QSignalSpy written(&dm->pacer(), &TransmitPacer::frameWritten);
    busyLine();
    reads->send(Proto::FnReadParams, 5, 8);
    busyLine();
    reads->send(Proto::FnReadParams, 5, 8);
    EXPECT_EQ(dm->pacer().waiting(Points), 2);
    const auto pointsLeft = [&] {
        int n = 0;
        for (const QList<QVariant> &w : written)
            n += w.first().toByteArray() == Points ? 1 : 0;
        return n;
    };
    WAIT_ASSERT_EQ(pointsLeft(), 1, 10000);
    EXPECT_FALSE(reads->take(Points)) << "the first read's answer holds what the write replaces";
    drain();
    EXPECT_TRUE(reads->take(Points));
}

TEST_F(OwnReadsTest, TypingOverTheBoxesOrALostPortCancelsTheRead)
{
    const struct
    {
        const char *what;
        std::function<void()> cancel;
    } cases[] = {
        {"typed over", [&] { reads->forget(Points); }},
        {"port closed", [&] { dm->closePort(); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (!dm->isPortOpen())
            dm->findDevicePort();
        ASSERT_TRUE(dm->isPortOpen());
        reads->send(Proto::FnReadParams, 5, 8);
        drain();
        ASSERT_TRUE(reads->isWaiting(Points));
        c.cancel();
        EXPECT_FALSE(reads->isWaiting(Points));
        EXPECT_FALSE(reads->take(Points));
    }
    // A read that cannot be sent is not waited for.
    dm->closePort();
    EXPECT_THROW(reads->send(Proto::FnReadParams, 5, 8), LinkError);
    EXPECT_FALSE(reads->isWaiting(Points));
}
