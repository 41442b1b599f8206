// The link against the simulated meter on a real pseudo-terminal, through QSerialPort.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "protocol/number_text.h"
#include "protocol/protokol_usb.h"
#include "sim/meter_server.h"
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include "wait_for.h"
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString openedText(const QString &path)
{
    return QLatin1Char(' ') + path + QStringLiteral(" открыт и доступен");
}

class Dm1SimTest : public ::testing::Test
{
protected:
    // Starts the simulator behind a stable link and a data module that knows only that link.
    void start(SimOptions options = {})
    {
        ASSERT_TRUE(dir.isValid());
        linkPath = dir.filePath(QStringLiteral("meter"));
        options.linkPath = linkPath;
        server = std::make_unique<MeterServer>(options);
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
        dm = std::make_unique<TDM_1>(
            std::make_unique<CandidatePorts>(QList<VirtualPort>{{linkPath, QString()}}, nullptr));
        dm->OnMainTextChange = [this](QObject *, const TQ_main &q) { live.append(q); };
    }
    void sendLiveRead()
    {
        SendReadData(*dm, 1, 24);
    }

    QTemporaryDir dir;
    QString linkPath;
    std::unique_ptr<MeterServer> server;
    std::unique_ptr<TDM_1> dm;
    QList<TQ_main> live;
};

TEST_F(Dm1SimTest, LiveRequestIsAnsweredDecodedAndCounted)
{
    start();
    EXPECT_EQ(dm->findDevicePort(), openedText(linkPath));
    ASSERT_TRUE(dm->isPortOpen());

    sendLiveRead();
    WAIT_ASSERT_EQ(live.size(), 1, 2000);
    // The texts are the meter's registers at the time of the answer.
    const MeterModel &m = server->model();
    EXPECT_EQ(live[0].Status, FormatWord(m.dataWord(1)));
    EXPECT_EQ(live[0].Rashod_M, FormatFloatPattern(m.dataFloat(2), NumPattern::P0_000));
    EXPECT_EQ(live[0].Plotnost, FormatFloatPattern(m.dataFloat(6), NumPattern::P0_0hh));
    EXPECT_EQ(dm->USBWork().CntRxTx.GetString(), QStringLiteral("Tx:1  Rx:1  "));
}

TEST_F(Dm1SimTest, MeterSeesExactFramesSpacedByTheirPauses)
{
    start();
    ASSERT_EQ(dm->findDevicePort(), openedText(linkPath));

    const float density = 998.2f;
    SendReadData(*dm, 1, 24);
    SendReadParams(*dm, 2, 3);
    SendWriteFloat(*dm, 2, density, 100);
    SendReadData(*dm, 28, 2);
    SendWriteWord(*dm, Proto::CommandRegister, Proto::CmdRecalculate);
    const QList<QByteArray> expected{
        Proto::readFrame(Proto::FnReadData, 1, 24), Proto::readFrame(Proto::FnReadParams, 2, 3),
        Proto::writeFloatsFrame(2, &density, 1), Proto::readFrame(Proto::FnReadData, 28, 2),
        Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdRecalculate)};
    const qint64 pausesMs[] = {50, 50, 150, 50};

    WAIT_ASSERT_EQ(server->received().size(), expected.size(), 3000);
    const QList<ReceivedRequest> got = server->received();
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(got[i].frame.toHex(' '), expected[i].toHex(' ')) << "frame " << i;
    // Millisecond stamps: allow one for truncation.
    for (int i = 1; i < got.size(); ++i)
        EXPECT_GE(got[i].atMs - got[i - 1].atMs, pausesMs[i - 1] - 1) << "gap before frame " << i;
    EXPECT_FLOAT_EQ(server->model().paramFloat(2), density);
}

TEST_F(Dm1SimTest, SplitGluedAndNoisyAnswersAreEachDecodedOnce)
{
    const struct
    {
        const char *name;
        int chunkBytes;
        bool glue;
        int noiseBytes;
        bool byteTiming;
    } cases[] = {
        {"chunks of 7 bytes", 7, false, 0, false},
        {"answers glued in pairs", 0, true, 0, false},
        {"noise before answers", 0, false, 5, false},
        {"19200-baud byte timing", 0, false, 0, true},
    };
    for (const auto &c : cases) {
        live.clear();
        dm.reset();
        server.reset();
        SimOptions options;
        options.chunkBytes = c.chunkBytes;
        options.chunkGapMs = 4;
        options.glue = c.glue;
        options.noiseBytes = c.noiseBytes;
        options.byteTiming = c.byteTiming;
        start(options);
        ASSERT_EQ(dm->findDevicePort(), openedText(linkPath)) << c.name;
        // One at a time: the pacer would fold identical reads still waiting into one.
        for (int i = 1; i <= 4; ++i) {
            sendLiveRead();
            WAIT_ASSERT_EQ(server->received().size(), i, 1000);
        }
        WAIT_ASSERT_EQ(live.size(), 4, 2000);
        QTest::qWait(60);
        EXPECT_EQ(live.size(), 4) << c.name;
        EXPECT_EQ(dm->USBWork().CntRxTx.rx(), 4) << c.name;
    }
}

TEST_F(Dm1SimTest, HangUpRecoversOnceAndTheReturningMeterIsFoundAgain)
{
    SimOptions options;
    options.hangupAfterFrames = 2;
    options.returnAfterMs = 300;
    start(options);
    ASSERT_EQ(dm->findDevicePort(), openedText(linkPath));
    QSignalSpy recovered(dm.get(), &TDM_1::linkRecovered);
    QSignalSpy closed(dm.get(), &TDM_1::portClosedSignal);
    QSignalSpy back(server.get(), &MeterServer::servingAgain);

    sendLiveRead();
    sendLiveRead();
    WAIT_ASSERT_EQ(recovered.count(), 1, 2000);
    EXPECT_EQ(live.size(), 2);
    EXPECT_FALSE(dm->isPortOpen());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(dm->USBWork().FStatusString, QStringLiteral("  Порт не найден!"));
    EXPECT_EQ(recovered.at(0).at(0).toString(), QStringLiteral("  Порт не найден!"));
    // A sender on the closed port gets the error at once and recovers without sending.
    EXPECT_THROW(sendLiveRead(), LinkError);
    EXPECT_FALSE(dm->sendUnderRecoveryRule([this] { sendLiveRead(); }));
    EXPECT_EQ(dm->USBWork().FStatusString, QStringLiteral("  Порт не найден!"));

    WAIT_ASSERT_EQ(back.count(), 1, 2000);
    // The automatic recovery ran once; the errors that led to it are a handful.
    EXPECT_EQ(recovered.count(), 2); // the second is the sender's rule above
    EXPECT_GE(dm->portErrorCount(), 1);
    EXPECT_LE(dm->portErrorCount(), 3);

    EXPECT_EQ(dm->findDevicePort(), openedText(linkPath));
    server->clearReceived();
    sendLiveRead();
    WAIT_ASSERT_EQ(live.size(), 3, 2000);
    EXPECT_EQ(server->received().size(), 1);
}

} // namespace

TEST_F(Dm1SimTest, EveryAnswerLandsInTheRegisterImageAsRawValues)
{
    start();
    ASSERT_EQ(dm->findDevicePort(), openedText(linkPath));
    int answers = 0;
    dm->OnKalibrQKoeff = [&](QObject *, const TQ_Rashod_Kf &q) {
        // The handler already sees what the answer reported.
        if (!q.Kf) {
            EXPECT_TRUE(dm->registerImage().range(RegisterSpace::Params, 21, 54).has_value());
        }
        ++answers;
    };
    SendReadParams(*dm, 21, 54);
    SendReadData(*dm, 36, 8);
    WAIT_ASSERT_EQ(answers, 2, 2000);
    const auto table = dm->registerImage().range(RegisterSpace::Params, 21, 54);
    ASSERT_TRUE(table);
    for (int i = 0; i < 54; ++i)
        EXPECT_EQ((*table)[i], server->model().paramWord(21 + i)) << "parameter " << 21 + i;
    EXPECT_EQ(*dm->registerImage().range(RegisterSpace::Data, 36, 8),
              (QVector<quint16>{server->model().dataWord(36), server->model().dataWord(37), server->model().dataWord(38),
                                server->model().dataWord(39), server->model().dataWord(40), server->model().dataWord(41),
                                server->model().dataWord(42), server->model().dataWord(43)}));
    EXPECT_FALSE(dm->registerImage().range(RegisterSpace::Params, 20, 2)); // 20 was never read
    // The floats as the meter keeps them, halves in the meter's order: Q Max and the last point.
    for (int reg : {21, 73})
        EXPECT_EQ(dm->registerImage().floatAt(RegisterSpace::Params, reg), server->model().paramFloat(reg)) << reg;
    EXPECT_FALSE(dm->registerImage().floatAt(RegisterSpace::Params, 74)); // 75 was never read
    EXPECT_TRUE(dm->registerImage().reading(RegisterSpace::Data, 36)->receivedUtc.isValid());
    dm->closePort();
    EXPECT_EQ(dm->registerImage().size(), 0);
}

TEST_F(Dm1SimTest, HealthCountsFramesAnswersNoiseAndReconnects)
{
    SimOptions noisy;
    noisy.noiseBytes = 3;
    start(noisy);
    EXPECT_FALSE(dm->health().lastAnswerUtc.isValid());
    dm->openPort(linkPath);
    for (int i = 1; i <= 3; ++i) {
        sendLiveRead();
        WAIT_ASSERT_EQ(live.size(), i, 2000);
    }
    SendWriteWord(*dm, Proto::CommandRegister, Proto::CmdAverageReset);
    WAIT_ASSERT_EQ(dm->health().framesSent, 4, 2000);
    dm->closePort();
    dm->openPort(linkPath);
    const LinkHealth h = dm->health();
    EXPECT_EQ(h.answersAccepted, 3);
    EXPECT_EQ(h.droppedBytes, 9) << "three bytes of noise before each answer";
    EXPECT_EQ(h.reconnects, 1);
    EXPECT_LE(h.lastAnswerUtc.secsTo(QDateTime::currentDateTimeUtc()), 2);
}
