// The main window against the simulated meter on a pseudo-terminal.
#include "gui/gui_support.h"
#include "protocol/protokol_usb.h"
#include "sim/meter_server.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/panel_status_bar.h"
#include "ui/common/tool_bar.h"
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const QByteArray LiveRequest = QByteArray::fromHex("1f000001001855");

class FormMainWithMeter : public testing::Test
{
protected:
    void startMeter(SimOptions options = {})
    {
        server = std::make_unique<MeterServer>(options);
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
        rig = std::make_unique<MainWindowRig>(
            QList<VirtualPort>{{server->devicePath(), QStringLiteral("KESTRO SIM")}});
    }

    QString openedText() const { return QStringLiteral(" %1 открыт и доступен").arg(server->devicePath()); }

    QStringList readings() const
    {
        QStringList texts;
        for (TLabeledEdit *edit : rig->form.findChildren<TLabeledEdit *>())
            texts << edit->text();
        return texts;
    }

    bool allReadingsFilled() const
    {
        const QStringList texts = readings();
        return texts.size() == 9 && std::none_of(texts.begin(), texts.end(), [](const QString &t) { return t.isEmpty(); });
    }

    void connectAndWaitForReadings()
    {
        rig->form.ToolButton_Port->click();
        ASSERT_EQ(rig->form.ToolButton_Port->caption(), "Отключить");
        ASSERT_TRUE(EventuallyTrue([&] { return allReadingsFilled(); }, 3000));
    }

    std::unique_ptr<MeterServer> server;
    std::unique_ptr<MainWindowRig> rig;
};

} // namespace

TEST_F(FormMainWithMeter, NothingIsSentBeforeConnect)
{
    startMeter();
    QTest::qWait(750); // two ticks
    EXPECT_TRUE(server->received().isEmpty());
    EXPECT_EQ(rig->panel(0), QString());
    EXPECT_EQ(rig->panel(1), ZeroCounters);
    EXPECT_FALSE(rig->dm.isPortOpen());
}

TEST_F(FormMainWithMeter, ConnectPollsEveryTickAndFillsTheReadings)
{
    startMeter();
    rig->form.ToolButton_Port->click();
    EXPECT_EQ(rig->form.ToolButton_Port->caption(), "Отключить");
    EXPECT_EQ(rig->form.ToolButton_Port->hint(), "Отключить");
    EXPECT_EQ(rig->form.ToolButton_Port->imageIndex(), 1);
    EXPECT_TRUE(rig->dm.USBWork().FBtnConnectOn);
    EXPECT_TRUE(rig->dm.isPortOpen());
    EXPECT_TRUE(Eventually([&] { return rig->panel(0); }, openedText(), 2000));
    EXPECT_TRUE(EventuallyTrue([&] { return allReadingsFilled(); }, 3000));

    // One counted live request per 333 ms tick, and answers counted as they come.
    const int tx0 = rig->counters().tx();
    QTest::qWait(1000);
    const int sent = rig->counters().tx() - tx0;
    EXPECT_GE(sent, 2);
    EXPECT_LE(sent, 4);
    EXPECT_GT(rig->counters().rx(), 0);
    EXPECT_LE(rig->counters().rx(), rig->counters().tx());
    EXPECT_TRUE(EventuallyTrue([&] { return rig->panel(1) == rig->counters().GetString(); }));
    for (const ReceivedRequest &request : server->received())
        EXPECT_EQ(request.frame.toHex(), LiveRequest.toHex());
    EXPECT_TRUE(rig->boxes.requests.isEmpty());
}

TEST_F(FormMainWithMeter, DisconnectClosesPortKeepsReadingsAndStopsPolling)
{
    startMeter();
    connectAndWaitForReadings();
    rig->form.ToolButton_Port->click();
    EXPECT_FALSE(rig->dm.isPortOpen());
    EXPECT_FALSE(rig->dm.USBWork().FBtnConnectOn);
    EXPECT_EQ(rig->form.ToolButton_Port->caption(), "Подключить");
    EXPECT_EQ(rig->form.ToolButton_Port->imageIndex(), 0);
    EXPECT_TRUE(Eventually([&] { return rig->panel(0); }, QString(), 1000));
    const QStringList kept = readings();
    const int tx = rig->counters().tx();
    QTest::qWait(700);
    EXPECT_EQ(rig->counters().tx(), tx);
    EXPECT_EQ(readings(), kept);
    EXPECT_TRUE(allReadingsFilled());
}

TEST_F(FormMainWithMeter, UnplugShowsNotFoundAndPollingResumesWhenMeterReturns)
{
    QTemporaryDir dir;
    SimOptions options;
    options.linkPath = dir.filePath(QStringLiteral("meter"));
    options.returnAfterMs = 1200;
    startMeter(options);
    connectAndWaitForReadings();

    server->hangUp();
    EXPECT_TRUE(Eventually([&] { return rig->panel(0); }, NotFoundText, 2000));
    // The button stays connected and the boxes keep their last texts.
    EXPECT_EQ(rig->form.ToolButton_Port->caption(), "Отключить");
    EXPECT_TRUE(allReadingsFilled());
    const QStringList kept = readings();
    QTest::qWait(350);
    EXPECT_EQ(readings(), kept);

    // Every tick rediscovers; once the meter is back the port opens without a click.
    EXPECT_TRUE(Eventually([&] { return rig->panel(0); }, openedText(), 4000));
    const int rx = rig->counters().rx();
    EXPECT_TRUE(EventuallyTrue([&] { return rig->counters().rx() > rx; }, 2000));
    EXPECT_TRUE(rig->boxes.requests.isEmpty());
}
