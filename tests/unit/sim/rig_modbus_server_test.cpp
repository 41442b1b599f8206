#include "rig/sim_rig_map.h"
#include "sim/meter_server.h"
#include "sim/rig_modbus_server.h"
#include "support/modbus_requests.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <cmath>

using namespace modbustest;

namespace {
// A meter on its terminal with its rig on a free port, and a client connected to the rig.
class RigOverModbus : public ::testing::Test
{
protected:
    static SimOptions options()
    {
        SimOptions o;
        o.physics.fixedFlow = 100.0;
        o.physics.rigNoisePercent = 0.0;
        o.timeScale = 20.0; // a three-second lag passes in a fraction of a second
        return o;
    }

    void SetUp() override
    {
        ASSERT_TRUE(meter.start());
        QString error;
        ASSERT_TRUE(rig.listen(0, &error)) << error.toStdString();
        ASSERT_GT(rig.port(), 0);
        ASSERT_TRUE(connectTo(client, rig.port()));
    }

    // The server frees a connection's state only when it sees the client go.
    void TearDown() override
    {
        QSignalSpy gone(&rig, &QModbusTcpServer::modbusClientDisconnected);
        client.disconnectDevice();
        EXPECT_TRUE(gone.count() > 0 || gone.wait(20000));
    }

    float inputFloat(quint16 reg)
    {
        const Answer a = read(client, QModbusDataUnit::InputRegisters, reg, 2);
        EXPECT_TRUE(a.done && a.error == QModbusDevice::NoError) << int(a.error);
        return wordsFloat(a.values);
    }

    MeterServer meter{options()};
    RigModbusServer rig{&meter};
    QModbusTcpClient client;
};
} // namespace

TEST_F(RigOverModbus, SetPointWrittenHighWordFirstIsRunAndReadBack)
{
    // 400.0f is 0x43C80000: the high word goes first.
    const Answer w = writeHolding(client, SimRigMap::FlowSetpoint, {0x43C8, 0x0000});
    ASSERT_TRUE(w.done);
    ASSERT_EQ(w.error, QModbusDevice::NoError);
    EXPECT_EQ(meter.model().rigSetpoint(), 400.0);
    EXPECT_EQ(read(client, QModbusDataUnit::HoldingRegisters, SimRigMap::FlowSetpoint, 2).values,
              QList<quint16>({0x43C8, 0x0000}));

    // The rig gets there, and the reference reads along.
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(inputFloat(SimRigMap::RigFlow) - 400.0) < 1.0; }, DeadlineMs));
    EXPECT_NEAR(inputFloat(SimRigMap::ReferenceFlow), 400.0, 2.0);
    const Answer both = read(client, QModbusDataUnit::InputRegisters, 0, 4);
    ASSERT_EQ(both.values.size(), 4);
    EXPECT_NEAR(wordsFloat(both.values, SimRigMap::ReferenceFlow), 400.0, 2.0);
    EXPECT_NEAR(wordsFloat(both.values, SimRigMap::RigFlow), 400.0, 1.0);
}

TEST_F(RigOverModbus, RefusedSetPointIsIllegalDataValueAndChangesNothing)
{
    const float refused[] = {NAN, INFINITY, -INFINITY, 1200.5f, -1500.0f, 3.0e38f};
    for (const float edge : {-1200.0f, 1200.0f, 250.0f})
        ASSERT_EQ(writeHolding(client, SimRigMap::FlowSetpoint, floatWords(edge)).error, QModbusDevice::NoError) << edge;
    for (const float v : refused) {
        SCOPED_TRACE(v);
        const Answer w = writeHolding(client, SimRigMap::FlowSetpoint, floatWords(v));
        ASSERT_TRUE(w.done);
        EXPECT_EQ(w.error, QModbusDevice::ProtocolError);
        EXPECT_EQ(w.exception, QModbusPdu::IllegalDataValue);
        EXPECT_EQ(meter.model().rigSetpoint(), 250.0);
        EXPECT_EQ(wordsFloat(read(client, QModbusDataUnit::HoldingRegisters, SimRigMap::FlowSetpoint, 2).values), 250.0f);
    }
    // Half a float that would make an unacceptable value is refused the same way.
    const Answer half = writeHolding(client, SimRigMap::FlowSetpoint, {0x7FC0});
    EXPECT_EQ(half.exception, QModbusPdu::IllegalDataValue);
    EXPECT_EQ(meter.model().rigSetpoint(), 250.0);
}

// The fluid takes a set point at once (the tube follows it later); a write sets only
// the pairs it touches, and a refused pair leaves both as they were.
TEST_F(RigOverModbus, TemperatureSetPointMovesTheReferenceThermometer)
{
    const float thermometer0 = inputFloat(SimRigMap::ReferenceTemperature);
    EXPECT_NEAR(thermometer0, 22.5, 2.5); // the room's drift
    const struct
    {
        const char *name;
        int start;
        QList<quint16> words;
        bool taken;
        double flow, celsius; // what the rig holds afterwards
    } cases[] = {
        {"temperature alone", SimRigMap::TemperatureSetpoint, floatWords(60.0f), true, 100.0, 60.0},
        {"flow and temperature in one write", SimRigMap::FlowSetpoint, floatWords(300.0f) + floatWords(-20.5f), true,
         300.0, -20.5},
        {"flow alone keeps the temperature", SimRigMap::FlowSetpoint, floatWords(250.0f), true, 250.0, -20.5},
        {"too hot", SimRigMap::TemperatureSetpoint, floatWords(200.5f), false, 250.0, -20.5},
        {"too cold", SimRigMap::TemperatureSetpoint, floatWords(-50.5f), false, 250.0, -20.5},
        {"good flow with no temperature", SimRigMap::FlowSetpoint, floatWords(400.0f) + floatWords(NAN), false, 250.0,
         -20.5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Answer w = writeHolding(client, c.start, c.words);
        ASSERT_TRUE(w.done);
        EXPECT_EQ(w.error == QModbusDevice::NoError, c.taken) << int(w.error);
        if (!c.taken) {
            EXPECT_EQ(w.exception, QModbusPdu::IllegalDataValue);
        }
        EXPECT_EQ(meter.model().rigSetpoint(), c.flow);
        EXPECT_EQ(meter.model().fluidSetpoint(), c.celsius);
        EXPECT_EQ(wordsFloat(read(client, QModbusDataUnit::HoldingRegisters, SimRigMap::TemperatureSetpoint, 2).values),
                  float(c.celsius));
        EXPECT_NEAR(inputFloat(SimRigMap::ReferenceTemperature), c.celsius, 0.05);
    }
    // The tube is on its way there, not there.
    EXPECT_GT(meter.model().tubeTemperature(), -20.0);
}

// A thermometer stuck after its Nth read: the fluid moves, the reading does not; the
// rest of the rig reads on.
TEST_F(RigOverModbus, AStuckThermometerKeepsItsNthReading)
{
    rig.setFaults(RigModbusServer::Faults{0, 0, 300, 2});
    ASSERT_EQ(writeHolding(client, SimRigMap::TemperatureSetpoint, floatWords(40.0f)).error, QModbusDevice::NoError);
    EXPECT_NEAR(inputFloat(SimRigMap::ReferenceTemperature), 40.0, 0.05);
    // The second read, in one request with the flows, is the last live one.
    const Answer all = read(client, QModbusDataUnit::InputRegisters, 0, 6);
    ASSERT_EQ(all.values.size(), 6);
    const float stuck = wordsFloat(all.values, SimRigMap::ReferenceTemperature);
    EXPECT_NEAR(stuck, 40.0, 0.05);
    ASSERT_EQ(writeHolding(client, SimRigMap::TemperatureSetpoint, floatWords(80.0f)).error, QModbusDevice::NoError);
    ASSERT_EQ(writeHolding(client, SimRigMap::FlowSetpoint, floatWords(300.0f)).error, QModbusDevice::NoError);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(inputFloat(SimRigMap::ReferenceTemperature), stuck) << i;
    EXPECT_NEAR(meter.model().referenceTemperature(), 80.0, 0.05);
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::abs(inputFloat(SimRigMap::RigFlow) - 300.0) < 1.0; }, DeadlineMs));
    // Reads of the flows alone do not count, nor are they stuck.
    EXPECT_EQ(inputFloat(SimRigMap::ReferenceTemperature), stuck);
}
