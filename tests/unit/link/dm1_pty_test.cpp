#include "fake_ports.h"
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "protocol/protokol_usb.h"
#include "pty_pair.h"
#include <QSignalSpy>
#include <QThread>
#include "wait_for.h"
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Answer of the live block (1F 00 00 01 00 18, 48 data bytes, 55) with a status word.
QByteArray liveAnswer(quint16 status)
{
    QByteArray a = QByteArray::fromHex("1f0000010018");
    a.append(char(status >> 8)).append(char(status & 0xff));
    a.append(QByteArray(46, '\0'));
    a.append(char(0x55));
    return a;
}

std::unique_ptr<CandidatePorts> virtualOnly(const QString &path)
{
    return std::make_unique<CandidatePorts>(QList<VirtualPort>{{path, QString()}}, nullptr);
}

class Dm1PtyTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()); }
    PtyPair pty;
};

TEST_F(Dm1PtyTest, ExclusiveOpenTellsFreeFromHeldAndMissing)
{
    EXPECT_TRUE(TryExclusiveOpen(pty.slavePath()));
    QSerialPort holder;
    holder.setPortName(pty.slavePath());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    EXPECT_FALSE(TryExclusiveOpen(pty.slavePath()));
    holder.close();
    EXPECT_TRUE(TryExclusiveOpen(pty.slavePath()));
    EXPECT_FALSE(TryExclusiveOpen(QStringLiteral("/dev/kestro-no-such-port")));
}

TEST_F(Dm1PtyTest, DiscoveryOpensTheVirtualPortAndFramesReachTheWire)
{
    TDM_1 dm(virtualOnly(pty.slavePath()));
    QSignalSpy opened(&dm, &TDM_1::portOpened);
    EXPECT_THROW(dm.sendFrame(Proto::readFrame(0, 1, 24), FrameKind::CountedRead), LinkError);

    EXPECT_EQ(dm.findDevicePort(), QLatin1Char(' ') + pty.slavePath() + " открыт и доступен");
    ASSERT_TRUE(dm.isPortOpen());
    EXPECT_EQ(dm.portName(), pty.slavePath());
    EXPECT_EQ(opened.count(), 1);
    // Held by us now: a second discovery finds it busy and leaves it open.
    EXPECT_EQ(dm.findDevicePort(), QLatin1Char(' ') + pty.slavePath() + " занят или недоступен");
    EXPECT_TRUE(dm.isPortOpen());

    SendReadData(dm, 1, 24);
    SendWriteWord(dm, Proto::CommandRegister, Proto::CmdRecalculate);
    const QByteArray expected = Proto::readFrame(0, 1, 24) + Proto::writeWordFrame(1, 24);
    QByteArray seen;
    (void)QTest::qWaitFor([&] { return (seen += pty.readAvailable()).size() >= expected.size(); }, 1000);
    EXPECT_EQ(seen, expected);

    QSignalSpy closed(&dm, &TDM_1::portClosedSignal);
    dm.closePort();
    dm.closePort();
    EXPECT_FALSE(dm.isPortOpen());
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(Dm1PtyTest, HandlerErrorCostsOnlyItsOwnFrame)
{
    TDM_1 dm(virtualOnly(pty.slavePath()));
    dm.openPort(pty.slavePath());
    QSignalSpy errors(&dm, &TDM_1::handlerError);
    QList<QString> statuses;
    dm.OnMainTextChange = [&](QObject *sender, const TQ_main &q) {
        EXPECT_EQ(sender, &dm);
        statuses.append(q.Status);
        if (statuses.size() == 1)
            throw std::runtime_error("handler failed");
    };

    ASSERT_TRUE(pty.write(liveAnswer(258) + liveAnswer(7) + liveAnswer(9)));
    WAIT_ASSERT_EQ(statuses.size(), 3, 1000);
    EXPECT_EQ(statuses, (QList<QString>{"258", "7", "9"}));
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).toString(), QStringLiteral("handler failed"));
    EXPECT_EQ(dm.USBWork().CntRxTx.rx(), 3);
}

TEST_F(Dm1PtyTest, CloseInsideAHandlerDropsTheRestOfTheDelivery)
{
    TDM_1 dm(virtualOnly(pty.slavePath()));
    dm.openPort(pty.slavePath());
    int calls = 0;
    dm.OnMainTextChange = [&](QObject *, const TQ_main &) {
        ++calls;
        dm.closePort();
    };
    ASSERT_TRUE(pty.write(liveAnswer(1) + liveAnswer(2)));
    WAIT_ASSERT_EQ(calls, 1, 1000);
    QTest::qWait(30);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(dm.decoder().buffered(), 0);
    EXPECT_FALSE(dm.isPortOpen());
}

TEST_F(Dm1PtyTest, BurstOfFailuresRecoversOnceAndReopensAPortStillThere)
{
    TDM_1 dm(virtualOnly(pty.slavePath()));
    dm.openPort(pty.slavePath());
    QSignalSpy recovered(&dm, &TDM_1::linkRecovered);

    for (int i = 0; i < 50; ++i)
        emit dm.pacer().writeFailed();
    EXPECT_EQ(recovered.count(), 0); // never inside the failing call itself
    WAIT_ASSERT_EQ(recovered.count(), 1, 1000);
    QTest::qWait(30);
    EXPECT_EQ(recovered.count(), 1);
    EXPECT_TRUE(dm.isPortOpen());
    EXPECT_EQ(dm.USBWork().FStatusString, QLatin1Char(' ') + pty.slavePath() + " открыт и доступен");
}

// The senders' rule over a port that is open or closed, with a send that works or fails.
TEST_F(Dm1PtyTest, RecoveryRuleOfTheSenders)
{
    const struct
    {
        const char *name;
        bool open;
        bool sendThrows;
        bool recoverWhenClosed;
        bool expectResult;
        bool expectDiscovery;
    } cases[] = {
        {"open, send works", true, false, true, true, false},
        {"open, send fails", true, true, true, false, true},
        {"closed, recovers", false, false, true, false, true},
        {"closed, main window disconnected", false, false, false, false, false},
    };
    for (const auto &c : cases) {
        auto fake = std::make_unique<FakeEnumerator>();
        FakeEnumerator *ports = fake.get();
        TDM_1 dm(std::move(fake));
        dm.USBWork().FStatusString = QStringLiteral("old");
        if (c.open)
            dm.openPort(pty.slavePath());
        bool sent = false;
        const bool result = dm.sendUnderRecoveryRule(
            [&] {
                if (c.sendThrows)
                    throw LinkError(QStringLiteral("write refused"));
                sent = true;
            },
            c.recoverWhenClosed);
        EXPECT_EQ(result, c.expectResult) << c.name;
        EXPECT_EQ(sent, c.expectResult) << c.name;
        EXPECT_EQ(ports->listedIds.size(), c.expectDiscovery ? 1 : 0) << c.name;
        EXPECT_EQ(dm.USBWork().FStatusString,
                  c.expectDiscovery ? QStringLiteral("  Порт не найден!") : QStringLiteral("old"))
            << c.name;
        EXPECT_EQ(dm.isPortOpen(), c.open && !c.expectDiscovery) << c.name;
    }
}

TEST(Dm1Recovery, OpenFailureBecomesTheStatusText)
{
    auto fake = std::make_unique<FakeEnumerator>(
        QList<FakePort>{{"/dev/kestro-no-such-port", "NOT_FOUND", true}});
    TDM_1 dm(std::move(fake));
    QSignalSpy recovered(&dm, &TDM_1::linkRecovered);

    EXPECT_THROW(dm.findDevicePort(), LinkError);
    EXPECT_NO_THROW(dm.applyRecoveryRule());
    // In the program's language, not the system's.
    EXPECT_EQ(dm.USBWork().FStatusString, " /dev/kestro-no-such-port не открывается: устройство не найдено");
    ASSERT_EQ(recovered.count(), 1);
    EXPECT_EQ(recovered.at(0).at(0).toString(), dm.USBWork().FStatusString);
}

} // namespace

// Tx counts reads that went out: not a duplicate the queue refused, not one a
// close dropped, and a write never.
TEST_F(Dm1PtyTest, SentCountFollowsTheWireNotTheCallers)
{
    TDM_1 dm(virtualOnly(pty.slavePath()));
    dm.openPort(pty.slavePath());
    const TRxTxCnt &cnt = dm.USBWork().CntRxTx;

    SendReadData(dm, 1, 24); // the line is quiet: out at once
    EXPECT_EQ(cnt.tx(), 1);
    SendReadData(dm, 28, 2);
    SendReadData(dm, 28, 2); // still waiting: refused as a duplicate
    SendWriteWord(dm, Proto::CommandRegister, Proto::CmdRecalculate);
    EXPECT_EQ(cnt.tx(), 1);
    WAIT_ASSERT_EQ(dm.pacer().waiting(), 0, 1000);
    EXPECT_EQ(cnt.tx(), 2);

    QTest::qWait(TransmitPacer::PauseAfterWriteMs + 10);
    SendReadData(dm, 10, 22);
    SendReadData(dm, 2, 14); // waits behind the quiet time, then the port closes
    EXPECT_EQ(cnt.tx(), 3);
    dm.closePort();
    QTest::qWait(120);
    EXPECT_EQ(cnt.tx(), 3);
}

// A busy moment of the event loop between two halves of one answer must not cost
// the answer; a line that stays quiet drops a truncated one, so it never joins the next.
TEST_F(Dm1PtyTest, OnlyAQuietLineDropsAPartialAnswer)
{
    TDM_1 dm(virtualOnly(pty.slavePath()));
    dm.openPort(pty.slavePath());
    QList<QString> statuses;
    dm.OnMainTextChange = [&](QObject *, const TQ_main &q) { statuses.append(q.Status); };

    const QByteArray stalled = liveAnswer(11);
    ASSERT_TRUE(pty.write(stalled.left(20)));
    WAIT_ASSERT_EQ(dm.decoder().buffered(), 20, 1000);
    QThread::msleep(5);
    ASSERT_TRUE(pty.write(stalled.mid(20)));
    QThread::msleep(2 * StreamDecoder::DefaultStaleMs); // the event loop is busy elsewhere
    WAIT_ASSERT_EQ(statuses.size(), 1, 1000);
    EXPECT_EQ(statuses.constLast(), QStringLiteral("11"));

    ASSERT_TRUE(pty.write(liveAnswer(12).left(30)));
    WAIT_ASSERT_EQ(dm.decoder().buffered(), 30, 1000);
    WAIT_ASSERT_EQ(dm.decoder().buffered(), 0, 1000); // the quiet line gives it up
    ASSERT_TRUE(pty.write(liveAnswer(13)));
    WAIT_ASSERT_EQ(statuses.size(), 2, 1000);
    EXPECT_EQ(statuses, (QList<QString>{"11", "13"}));
    EXPECT_EQ(dm.decoder().droppedBytes(), 30);
    EXPECT_TRUE(dm.isPortOpen());
}
