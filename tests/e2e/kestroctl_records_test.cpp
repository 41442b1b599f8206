// kestroctl's calibration records against the simulator executable: a backup, a
// ruined table restored from it, and what each step exits with.
#include "e2e/sim_process.h"
#include "records/record_store.h"
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <bit>
#include <gtest/gtest.h>

namespace {

const QString Ctl = QStringLiteral(KESTROCTL_PATH);

class KestroctlRecords : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.startError().toStdString(); }
    ProgramRun ctl(const QStringList &args)
    {
        return RunProgram(Ctl, QStringList{QStringLiteral("--virtual-port"), sim.devicePath()} + args,
                          {QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("KESTRO_SNAPSHOT_DB=") + dir.filePath("s.sqlite")});
    }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
    SimProcess sim;
};

// The exported file with the flow table's Q Max replaced, registers and number alike.
QByteArray withQMax(const QByteArray &file, float qMax)
{
    QJsonObject o = QJsonDocument::fromJson(file).object();
    QJsonArray areas = o.value("areas").toArray();
    for (qsizetype i = 0; i < areas.size(); ++i) {
        QJsonObject a = areas[i].toObject();
        if (a.value("area").toString() != "flow-table")
            continue;
        const quint32 bits = std::bit_cast<quint32>(qMax);
        QJsonArray regs = a.value("registers").toArray(), values = a.value("values").toArray();
        regs[0] = QString::asprintf("%04x", bits & 0xFFFF);
        regs[1] = QString::asprintf("%04x", bits >> 16);
        values[0] = double(qMax);
        a["registers"] = regs;
        a["values"] = values;
        areas[i] = a;
    }
    o["areas"] = areas;
    return QJsonDocument(o).toJson();
}

} // namespace

TEST_F(KestroctlRecords, BackupRuinRestoreRoundTrip)
{
    ProgramRun run = ctl({"backup", "--note", "до калибровки", "--output", path("a.json")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith("snapshot 1\n")) << run.out.toStdString();

    QFile a(path("a.json"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    QFile b(path("b.json"));
    ASSERT_TRUE(b.open(QIODevice::WriteOnly));
    b.write(withQMax(a.readAll(), 1234.5f));
    b.close();
    run = ctl({"import", path("b.json")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, "snapshot 2\n");

    // Without --yes: the differences, nothing written.
    run = ctl({"restore", "2"});
    EXPECT_EQ(run.exitCode, 6);
    EXPECT_TRUE(run.out.contains("Калибровка расхода, Q Max (параметры 21–22): 1000 → 1234.5")) << run.out.toStdString();
    EXPECT_EQ(ctl({"diff", "1"}).exitCode, 0) << "the meter is unchanged";

    // The ruined table goes in, then the backup file puts everything back.
    run = ctl({"restore", "2", "--areas", "flow-table", "--yes"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("восстановлено"));
    run = ctl({"diff", path("a.json")});
    EXPECT_EQ(run.exitCode, 6);
    EXPECT_TRUE(run.out.contains("Калибровка расхода, Q Max (параметры 21–22): 1000 → 1234.5")) << "snapshot, then meter";
    run = ctl({"restore", path("a.json"), "--yes"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = ctl({"diff", "1"});
    for (const char *area : {"Фиксированная плотность", "Термометр", "Калибровка 0", "Калибровка расхода"})
        EXPECT_TRUE(run.out.contains(QStringLiteral("%1: без изменений").arg(QString::fromUtf8(area)))) << run.out.toStdString();

    run = ctl({"history"});
    ASSERT_EQ(run.exitCode, 0);
    const QStringList rows = run.out.split('\n', Qt::SkipEmptyParts);
    // The restored file is kept too (5), after the way back taken before writing it (4).
    ASSERT_EQ(rows.size(), 5) << run.out.toStdString();
    // number, time, reason, port, areas, note, meter serial
    const auto column = [&](int row, int c) { return rows[row].split('\t').value(c); };
    EXPECT_EQ(rows[0].split('\t').size(), 7) << rows[0].toStdString();
    EXPECT_TRUE(rows[0].startsWith("5\t") && column(0, 5) == "до калибровки") << rows[0].toStdString();
    EXPECT_TRUE(rows[1].startsWith("4\t") && column(1, 2) == "before-restore");
    EXPECT_TRUE(rows[4].startsWith("1\t") && column(4, 5) == "до калибровки");
    EXPECT_FALSE(run.err.contains("unfinished")) << run.err.toStdString();
}

TEST_F(KestroctlRecords, ASnapshotFromAnotherMeterIsRestoredOnlyWhenSaidSo)
{
    const auto as = [&](const char *serial, QStringList args) {
        return RunProgram(Ctl, QStringList{"--virtual-port", sim.devicePath() + "=KESTRO SIM@" + serial} + args,
                          {QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("KESTRO_SNAPSHOT_DB=") + path("s.sqlite")});
    };
    ASSERT_EQ(as("SN-A", {"backup"}).exitCode, 0);
    ProgramRun run = as("SN-B", {"restore", "1", "--areas", "thermometer", "--yes"});
    EXPECT_EQ(run.exitCode, 6);
    EXPECT_TRUE(run.err.contains("снят с другого прибора (серийный номер SN-A), подключён прибор с номером SN-B"))
        << run.err.toStdString();
    EXPECT_EQ(as("SN-B", {"history"}).out.count('\n'), 1) << "no way back taken: nothing was about to be written";
    run = as("SN-B", {"restore", "1"});
    EXPECT_TRUE(run.out.contains("снят с другого прибора")) << run.out.toStdString();

    // The same meter, or one whose serial is not known, needs nothing more.
    EXPECT_EQ(as("SN-A", {"restore", "1", "--areas", "thermometer", "--yes"}).exitCode, 0);
    run = as("SN-B", {"restore", "1", "--areas", "thermometer", "--yes", "--other-meter"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("восстановлено"));
}

TEST_F(KestroctlRecords, HistoryNamesARestoreCutShortWithItsWaysOut)
{
    ASSERT_EQ(ctl({"backup"}).exitCode, 0);
    ASSERT_EQ(ctl({"backup"}).exitCode, 0);
    {
        // As a restore of snapshot 1 over way back 2 leaves it when killed after its first write.
        TRecordStore store(path("s.sqlite"));
        ASSERT_NE(store.beginRestore(1, 2, {CalibrationArea::Thermometer, CalibrationArea::Zero}), 0) << store.lastError().toStdString();
    }
    ProgramRun run = ctl({"history"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("unfinished restore 1 of snapshot 1 (thermometer,zero)")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Finish: kestroctl restore 1 --areas thermometer,zero --yes")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("undo: kestroctl restore 2 --areas thermometer,zero --yes")) << run.err.toStdString();

    run = ctl({"restore", "1", "--areas", "thermometer,zero", "--yes"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    run = ctl({"history"});
    EXPECT_FALSE(run.err.contains("unfinished")) << run.err.toStdString();
}

TEST_F(KestroctlRecords, BadInputGetsItsOwnExitCode)
{
    QFile bad(path("bad.json"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("{\"format\": \"kestrolink-snapshot\", \"format_version\": 1, \"areas\": [");
    bad.close();
    const struct
    {
        QStringList args;
        int exitCode;
    } cases[] = {
        {{"import", path("bad.json")}, 5},
        {{"import", path("missing.json")}, 5},
        {{"diff", "99"}, 5},
        {{"export", "99", path("x.json")}, 5},
        {{"restore", "1", "--areas", "coefficients"}, 64},
        {{"restore"}, 64},
    };
    for (const auto &c : cases) {
        const ProgramRun run = ctl(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString() << ": " << run.err.toStdString();
        if (c.exitCode == 5) {
            EXPECT_FALSE(run.err.isEmpty());
        }
    }
}
