// kestroctl calibrate's reference meter: a bad option is a usage error naming it, a
// lapsed reference refuses the run before the meter is touched, a near one is warned of.
#include "e2e/sim_process.h"
#include "procedure/reference_check.h"
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString Ctl = QStringLiteral(KESTROCTL_PATH);

QString dayFromToday(int days)
{
    return QDate::currentDate().addDays(days).toString(QStringLiteral("yyyy-MM-dd"));
}

QString dueMessage(int days)
{
    return ReferenceDueCheck(QDate::currentDate().addDays(days), QDate::currentDate()).message;
}

TEST(KestroctlReference, ALapsedReferenceOrABadOptionSendsNothing)
{
    SimProcess sim({"--rig-modbus", "0"});
    ASSERT_TRUE(sim.ok()) << sim.startError().toStdString();
    ASSERT_GT(sim.rigPort(), 0);
    QTemporaryDir dir;
    const auto ctl = [&](const QStringList &args) {
        return RunProgram(Ctl, QStringList{"--virtual-port", sim.devicePath()} + args,
                          {"LC_ALL=C.UTF-8", "KESTRO_SNAPSHOT_DB=" + dir.filePath("s.sqlite")}, 30000);
    };
    const QString rig = QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(sim.rigPort());
    // A rig nobody listens on: a run let through ends there, before anything is sent.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const QString closedRig = QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    ASSERT_EQ(ctl({"backup"}).exitCode, 0);

    struct Case
    {
        QStringList args;
        int exitCode;
        QString said;
    } cases[] = {
        {{"--rig", rig, "--reference-due", dayFromToday(-3)}, 5, dueMessage(-3) + "; ничего не отправлено"},
        {{"--rig", rig, "--reference-due", dayFromToday(-1), "--reference-u", "0,05"}, 5, dueMessage(-1)},
        {{"--rig", closedRig, "--reference-due", dayFromToday(10)}, 8, "внимание: " + dueMessage(10)},
        {{"--rig", closedRig, "--reference-due", dayFromToday(0)}, 8, "внимание: " + dueMessage(0)},
        {{"--rig", rig, "--reference-k", "11"}, 64, "--reference-k «11»"},
        {{"--rig", rig, "--reference-k", "0,9"}, 64, "--reference-k «0,9»"},
        {{"--rig", rig, "--reference-k", "2x"}, 64, "--reference-k «2x»"},
        {{"--rig", rig, "--reference-k", ""}, 64, "--reference-k «»"},
        {{"--rig", rig, "--reference-u", "1.2.3"}, 64, "--reference-u «1.2.3»"},
        {{"--rig", rig, "--reference-u", "-0.1"}, 64, "--reference-u «-0.1»"},
        {{"--rig", rig, "--reference-dof", "0"}, 64, "--reference-dof «0»"},
        {{"--rig", rig, "--reference-due", "2027-02-30"}, 64, "--reference-due «2027-02-30»"},
        {{"--rig", rig, "--reference-due", "31.12.2027"}, 64, "--reference-due «31.12.2027»"},
        {{"--rig", rig, "--reference-name", "ЭР\x01"}, 64, "--reference-name: управляющий символ U+0001"},
        {{"--rig", rig, "--signatory", "Иванов\x02"}, 64, "--signatory: управляющий символ U+0002"},
    };
    for (const Case &c : cases) {
        const ProgramRun run = ctl(QStringList{"calibrate", "--serial", "KM-1", "--operator", "Иванов", "--yes"} + c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString() << "\n" << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.said)) << c.args.join(' ').toStdString() << "\n" << run.err.toStdString();
        if (c.exitCode != 8) {
            EXPECT_FALSE(run.err.contains("внимание")) << run.err.toStdString();
        }
    }
    // No run begun, and the meter holds what the backup found.
    const ProgramRun runs = ctl({"runs"});
    EXPECT_EQ(runs.exitCode, 0) << runs.err.toStdString();
    EXPECT_TRUE(runs.out.isEmpty()) << runs.out.toStdString();
    const ProgramRun diff = ctl({"diff", "1"});
    EXPECT_EQ(diff.exitCode, 0) << diff.out.toStdString() << diff.err.toStdString();
}

} // namespace
