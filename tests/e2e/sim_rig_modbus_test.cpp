#include "e2e/sim_process.h"
#include "rig/sim_rig_map.h"
#include "support/modbus_requests.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace modbustest;

TEST(MeterSimRig, PrintsTheRigAddressAfterTheDeviceAndAnswersModbus)
{
    SimProcess sim({QStringLiteral("--rig-modbus"), QStringLiteral("0"), QStringLiteral("--flow"), QStringLiteral("300"),
                    QStringLiteral("--rig-noise"), QStringLiteral("0")});
    ASSERT_TRUE(sim.ok()) << sim.startError().toStdString();
    EXPECT_TRUE(QFileInfo::exists(sim.devicePath())) << sim.devicePath().toStdString();
    ASSERT_GT(sim.rigPort(), 0);

    QModbusTcpClient client;
    ASSERT_TRUE(connectTo(client, sim.rigPort()));
    const Answer a = read(client, QModbusDataUnit::InputRegisters, 0, 4, SimRigMap::UnitId);
    ASSERT_TRUE(a.done);
    ASSERT_EQ(a.error, QModbusDevice::NoError);
    EXPECT_EQ(wordsFloat(a.values, SimRigMap::RigFlow), 300.0f);
    EXPECT_NEAR(wordsFloat(a.values, SimRigMap::ReferenceFlow), 300.0, 1.5);
}

TEST(MeterSimRig, RefusesBadRigOptions)
{
    const QStringList cases[] = {
        {QStringLiteral("--rig-modbus"), QStringLiteral("70000")},
        {QStringLiteral("--rig-modbus"), QStringLiteral("-1")},
        {QStringLiteral("--rig-lag"), QStringLiteral("-1")},
        {QStringLiteral("--rig-noise"), QStringLiteral("nan")},
    };
    for (const QStringList &args : cases) {
        const ProgramRun run = RunProgram(QStringLiteral(KESTRO_SIM_PATH), args);
        EXPECT_EQ(run.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(args.first())) << run.err.toStdString();
    }
}
