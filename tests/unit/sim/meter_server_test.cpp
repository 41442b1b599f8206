#include "request_bytes.h"
#include "sim/meter_server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMetaObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace simtest;

namespace {
struct Arrival
{
    qint64 atMs;
    QByteArray bytes;
};

// A client on the terminal's slave side, reading while the server's event loop runs.
class Client
{
public:
    explicit Client(const QString &path) : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        if (m_fd >= 0) {
            termios tio{};
            tcgetattr(m_fd, &tio);
            cfmakeraw(&tio);
            tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~Client() { close(); }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    bool isOpen() const { return m_fd >= 0; }
    void send(const QByteArray &b) { ASSERT_EQ(::write(m_fd, b.constData(), size_t(b.size())), b.size()); }

    // Collects arrivals until `want` bytes came or timeoutMs passed; a read error ends it.
    QList<Arrival> collect(int want, int timeoutMs)
    {
        QList<Arrival> got;
        int total = 0;
        QElapsedTimer t;
        t.start();
        while (total < want && t.elapsed() < timeoutMs) {
            QCoreApplication::processEvents();
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 1) <= 0)
                continue;
            char buf[512];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0) {
                failed = true;
                break;
            }
            got.append({t.elapsed(), QByteArray(buf, int(n))});
            total += int(n);
        }
        return got;
    }
    QByteArray readAll(int want, int timeoutMs)
    {
        QByteArray all;
        for (const Arrival &a : collect(want, timeoutMs))
            all += a.bytes;
        return all;
    }
    bool failed = false;

private:
    int m_fd = -1;
};

const QByteArray LiveReq = readReq(0, 1, 24);
const QByteArray AvgReq = readReq(0, 44, 6);

SimOptions options()
{
    SimOptions o;
    o.physics.fixedFlow = 250.0;
    return o;
}
} // namespace

TEST(MeterServer, AnswersARequestSentInPiecesAndRecordsIt)
{
    MeterServer server(options());
    ASSERT_TRUE(server.start());
    QSignalSpy spy(&server, &MeterServer::requestReceived);
    Client c(server.devicePath());
    ASSERT_TRUE(c.isOpen());
    c.send(LiveReq.left(3));
    c.collect(1, 20);
    c.send(LiveReq.mid(3));
    const QByteArray answer = c.readAll(55, 1000);
    ASSERT_EQ(answer.size(), 55);
    EXPECT_EQ(answer.left(6), LiveReq.left(6));
    ASSERT_EQ(server.received().size(), 1);
    EXPECT_EQ(server.received().first().frame, LiveReq);
    EXPECT_EQ(spy.size(), 1);

    // A client closing does not end the service for the next one.
    c.close();
    QTest::qWait(50);
    Client again(server.devicePath());
    again.send(AvgReq);
    EXPECT_EQ(again.readAll(19, 1000).size(), 19);
}

TEST(MeterServer, DeliveryOptionsShapeTheAnswerOnTheWire)
{
    {
        SimOptions o = options();
        o.chunkBytes = 10;
        o.chunkGapMs = 15;
        MeterServer server(o);
        ASSERT_TRUE(server.start());
        Client c(server.devicePath());
        c.send(LiveReq);
        const QList<Arrival> got = c.collect(55, 2000);
        ASSERT_GE(got.size(), 6);
        for (const Arrival &a : got)
            EXPECT_LE(a.bytes.size(), 10);
        EXPECT_GE(got.back().atMs - got.front().atMs, 5 * 15 - 5);
    }
    {
        SimOptions o = options();
        o.byteTiming = true;
        MeterServer server(o);
        ASSERT_TRUE(server.start());
        Client c(server.devicePath());
        QElapsedTimer t;
        t.start();
        c.send(LiveReq);
        const QList<Arrival> got = c.collect(55, 2000);
        // 55 bytes at 19200 baud take 28.6 ms; never faster than the wire.
        EXPECT_GE(t.elapsed(), 28);
        EXPECT_GT(got.size(), 3);
    }
    {
        SimOptions o = options();
        o.noiseBytes = 40;
        MeterServer server(o);
        ASSERT_TRUE(server.start());
        Client c(server.devicePath());
        c.send(AvgReq);
        const QByteArray got = c.readAll(59, 1000);
        ASSERT_EQ(got.size(), 59);
        EXPECT_FALSE(got.left(40).contains(char(0x1F)));
        EXPECT_EQ(got.mid(40, 6), AvgReq.left(6));
    }
}

TEST(MeterServer, GlueHoldsAnAnswerUntilTheNextAndSilentAnswersNothing)
{
    SimOptions o = options();
    o.glue = true;
    MeterServer server(o);
    ASSERT_TRUE(server.start());
    Client c(server.devicePath());
    c.send(LiveReq);
    EXPECT_TRUE(c.readAll(1, 150).isEmpty());
    c.send(AvgReq);
    const QList<Arrival> got = c.collect(55 + 19, 1000);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got.first().bytes.size(), 55 + 19);
    EXPECT_EQ(got.first().bytes.mid(55, 6), AvgReq.left(6));

    server.options().glue = false;
    server.options().silent = true;
    c.send(LiveReq);
    EXPECT_TRUE(c.readAll(1, 150).isEmpty());
    EXPECT_EQ(server.received().size(), 3);
}

TEST(MeterServer, HangUpFailsTheClientAndTheLinkReturnsOnANewTerminal)
{
    QTemporaryDir dir;
    SimOptions o = options();
    o.hangupAfterFrames = 2;
    o.returnAfterMs = 150;
    o.linkPath = dir.filePath(QStringLiteral("meter"));
    MeterServer server(o);
    ASSERT_TRUE(server.start());
    EXPECT_EQ(server.devicePath(), o.linkPath);
    EXPECT_TRUE(QFileInfo(o.linkPath).symLinkTarget().startsWith(QStringLiteral("/dev/")));
    QSignalSpy hungUp(&server, &MeterServer::hungUpSignal);
    QSignalSpy back(&server, &MeterServer::servingAgain);

    Client c(o.linkPath);
    c.send(LiveReq);
    EXPECT_EQ(c.readAll(55, 1000).size(), 55);
    c.send(AvgReq);
    EXPECT_EQ(c.readAll(19, 1000).size(), 19); // the last answer still arrives
    c.collect(1, 1000);
    EXPECT_TRUE(c.failed);
    EXPECT_EQ(hungUp.size(), 1);
    EXPECT_FALSE(server.isServing());
    EXPECT_FALSE(QFileInfo(o.linkPath).isSymLink());
    c.close();

    ASSERT_TRUE(back.wait(2000));
    EXPECT_TRUE(server.isServing());
    ASSERT_TRUE(QFileInfo(o.linkPath).isSymLink());
    Client fresh(o.linkPath);
    ASSERT_TRUE(fresh.isOpen());
    fresh.send(LiveReq);
    EXPECT_EQ(fresh.readAll(55, 1000).size(), 55);
    fresh.send(LiveReq);
    fresh.send(LiveReq);
    EXPECT_EQ(fresh.readAll(110, 1000).size(), 110); // hangs up only once
    EXPECT_FALSE(fresh.failed);

    server.stop();
    EXPECT_FALSE(QFileInfo(o.linkPath).exists() || QFileInfo(o.linkPath).isSymLink());
}

TEST(MeterServer, ServesFromItsOwnThread)
{
    QThread thread;
    auto *server = new MeterServer(options());
    server->moveToThread(&thread);
    thread.start();
    bool started = false;
    QMetaObject::invokeMethod(server, [&] { started = server->start(); }, Qt::BlockingQueuedConnection);
    ASSERT_TRUE(started);
    Client c(server->devicePath());
    c.send(LiveReq);
    EXPECT_EQ(c.readAll(55, 1000).size(), 55);
    QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

TEST(MeterServer, KeepsOnlyTheLatestRequestsOfALongRun)
{
    MeterServer server;
    ASSERT_TRUE(server.start());
    Client client(server.devicePath());
    ASSERT_TRUE(client.isOpen());
    const QByteArray request = QByteArray::fromHex("1f000001001855");
    const int sent = int(MeterServer::MaxRecordedRequests) + 100;
    for (int i = 0; i < sent; i += 16) {
        client.send(request.repeated(std::min(16, sent - i)));
        client.collect(1 << 20, 1); // the answers are read away as they come
    }
    (void)QTest::qWaitFor([&] { return server.received().size() >= MeterServer::MaxRecordedRequests; }, 10000);
    QTest::qWait(100);
    EXPECT_EQ(server.received().size(), MeterServer::MaxRecordedRequests);
    EXPECT_EQ(server.received().constLast().frame, request);
}
