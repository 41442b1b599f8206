// Calibration runs in the store: every field back exactly, a run cut short still
// readable, older stores brought up, and the JSON others read.
#include "records/record_store.h"
#include "unit/records/snapshot_samples.h"
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cmath>

namespace {

const QDateTime T0(QDate(2026, 12, 10), QTime(8, 30, 0, 125), Qt::UTC);

RunPoint fullPoint(RunPhase phase, int index)
{
    RunPoint p;
    p.phase = phase;
    p.index = index;
    p.targetPercent = -45.0;
    p.targetFlow = -1234.5678901234567;
    p.referenceFlow = 0.1 + 0.2;                // not 0.3: every bit must come back
    p.meterFlow = std::nextafter(1000.0, 2000.0);
    p.deltaT = 1e-300;
    p.averagingSeconds = 30.0;
    p.referenceSamples = 61;
    p.absoluteError = -2.5e-7;
    p.relativeError = 0.123456789012345;
    p.reducedError = -0.0625;
    p.fits = false;
    p.settleSeconds = 17.25;
    p.meterSigma = 0.3;
    p.meterDrift = -0.01;
    p.referenceSigma = 0.7;
    p.referenceDrift = 1.0 / 3;
    p.attempts = 2;
    p.settled = false;
    p.startedUtc = T0.addSecs(index * 60);
    p.takenUtc = T0.addSecs(index * 60 + 47).addMSecs(3);
    p.tubeTemperature = 21.0625 + index;
    return p;
}

RunPoint barePoint(RunPhase phase, int index)
{
    RunPoint p;
    p.phase = phase;
    p.index = index;
    p.targetPercent = 10;
    return p; // every optional none, times invalid
}

RunRecord header(const QString &serial, const QDateTime &started)
{
    RunRecord r;
    r.meterSerial = serial;
    r.operatorName = QStringLiteral("Иванова А. П.");
    r.rigKind = QStringLiteral("modbus-tcp");
    r.rigSettings = QJsonObject{{"host", "127.0.0.1"}, {"port", 1502}};
    r.plan = QJsonObject{{"name", "По умолчанию"}, {"tolerance_percent", 0.2}};
    r.startedUtc = started;
    r.qMax = 12345.678f;
    r.tolerancePercent = 0.2;
    return r;
}

void expectSame(const RunPoint &a, const RunPoint &b)
{
    EXPECT_EQ(a.phase, b.phase);
    EXPECT_EQ(a.index, b.index);
    for (auto field : {&RunPoint::targetPercent, &RunPoint::targetFlow, &RunPoint::referenceFlow, &RunPoint::meterFlow,
                       &RunPoint::deltaT, &RunPoint::averagingSeconds, &RunPoint::absoluteError, &RunPoint::settleSeconds,
                       &RunPoint::meterSigma, &RunPoint::meterDrift, &RunPoint::referenceSigma, &RunPoint::referenceDrift})
        EXPECT_EQ(a.*field, b.*field);
    EXPECT_EQ(a.referenceSamples, b.referenceSamples);
    EXPECT_EQ(a.relativeError, b.relativeError);
    EXPECT_EQ(a.reducedError, b.reducedError);
    EXPECT_EQ(a.fits, b.fits);
    EXPECT_EQ(a.attempts, b.attempts);
    EXPECT_EQ(a.settled, b.settled);
    EXPECT_EQ(a.startedUtc, b.startedUtc);
    EXPECT_EQ(a.takenUtc, b.takenUtc);
    EXPECT_EQ(a.tubeTemperature, b.tubeTemperature);
}

void expectSameHeader(const RunRecord &a, const RunRecord &b)
{
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.uuid, b.uuid);
    EXPECT_EQ(a.meterSerial, b.meterSerial);
    EXPECT_EQ(a.operatorName, b.operatorName);
    EXPECT_EQ(a.workstation, b.workstation);
    EXPECT_EQ(a.programVersion, b.programVersion);
    EXPECT_EQ(a.rigKind, b.rigKind);
    EXPECT_EQ(a.rigSettings, b.rigSettings);
    EXPECT_EQ(a.plan, b.plan);
    EXPECT_EQ(a.startedUtc, b.startedUtc);
    EXPECT_EQ(a.endedUtc, b.endedUtc);
    EXPECT_EQ(a.end, b.end);
    EXPECT_EQ(a.endReason, b.endReason);
    EXPECT_EQ(std::bit_cast<quint32>(a.qMax), std::bit_cast<quint32>(b.qMax));
    EXPECT_EQ(a.tolerancePercent, b.tolerancePercent);
    EXPECT_EQ(a.coefficientsBefore, b.coefficientsBefore);
    EXPECT_EQ(a.coefficientsAfter, b.coefficientsAfter);
    EXPECT_EQ(a.writtenTable, b.writtenTable);
    EXPECT_EQ(a.tableWrite, b.tableWrite);
    EXPECT_EQ(a.portSerial, b.portSerial);
    EXPECT_EQ(a.snapshotBeforeId, b.snapshotBeforeId);
    EXPECT_EQ(a.snapshotAfterId, b.snapshotAfterId);
    EXPECT_EQ(a.asFoundFit, b.asFoundFit);
    EXPECT_EQ(a.asLeftFit, b.asLeftFit);
    EXPECT_EQ(a.asFoundMaxError, b.asFoundMaxError);
    EXPECT_EQ(a.asLeftMaxError, b.asLeftMaxError);
}

} // namespace

TEST(RunStore, VersionThreeStoreKeepsItsSnapshotsAndGainsRuns)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("v3.sqlite");
    QString error;
    ASSERT_TRUE(TRecordStore::migrateTo(path, 3, &error)) << error.toStdString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "v3");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("INSERT INTO snapshot(taken_utc, port, reason, note, program_version, meter_serial) VALUES("
                           "'2026-11-01T00:00:00.000Z', 'COM3', 'manual-backup', 'v3', '1.0.0', 'KST-1')"));
        ASSERT_TRUE(q.exec("INSERT INTO area VALUES(1, 'zero', x'00010002000300040005000600070008')"));
        db.close();
    }
    QSqlDatabase::removeDatabase("v3");

    TRecordStore store(path);
    ASSERT_TRUE(store.open()) << store.lastError().toStdString();
    const QList<Snapshot> all = store.list();
    ASSERT_EQ(all.size(), 1) << store.lastError().toStdString();
    EXPECT_EQ(all[0].meterSerial, "KST-1");
    EXPECT_EQ(all[0].areas.value(CalibrationArea::Zero), (QVector<quint16>{1, 2, 3, 4, 5, 6, 7, 8}));
    RunRecord run = header("KST-1", T0);
    run.snapshotBeforeId = all[0].id;
    ASSERT_TRUE(store.beginRun(run)) << store.lastError().toStdString();
    EXPECT_TRUE(store.addRunPoint(run.id, fullPoint(RunPhase::AsFound, 1))) << store.lastError().toStdString();
    EXPECT_FALSE(store.addRunPoint(run.id + 1, fullPoint(RunPhase::AsFound, 1))) << "no such run";
}

TEST(RunStore, EveryFieldComesBackExactly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("runs.sqlite");
    RunRecord full = header("KST-00417", T0);
    RunRecord bare = header("KST-00417", T0.addDays(1)); // every optional none, nothing ended
    {
        TRecordStore store(path);
        ASSERT_TRUE(store.beginRun(full)) << store.lastError().toStdString();
        ASSERT_TRUE(store.beginRun(bare)) << store.lastError().toStdString();
        EXPECT_FALSE(full.uuid.isEmpty());
        EXPECT_NE(full.uuid, bare.uuid);
        EXPECT_FALSE(full.workstation.isEmpty());
        EXPECT_EQ(full.programVersion, KESTRO_VERSION);
        full.points = {fullPoint(RunPhase::AsFound, 1), barePoint(RunPhase::AsFound, 2),
                       fullPoint(RunPhase::Calibration, 1), fullPoint(RunPhase::AsLeft, 1)};
        for (const RunPoint &p : full.points)
            ASSERT_TRUE(store.addRunPoint(full.id, p)) << store.lastError().toStdString();
        full.end = RunEnd::Aborted;
        full.endReason = QStringLiteral("остановлена оператором");
        full.endedUtc = T0.addSecs(3600);
        full.coefficientsBefore = std::array<float, 4>{1.0f / 3, -0.0f, 1e-38f, 3.4e38f};
        full.coefficientsAfter = std::array<float, 4>{0.1f, 0.2f, 0.3f, std::nextafter(1.0f, 2.0f)};
        std::array<float, 27> table{};
        for (int i = 0; i < 27; ++i)
            table[i] = float(i) * 0.1f - 1.3f;
        full.writtenTable = table;
        full.tableWrite = TableWrite::Begun;
        full.portSerial = QStringLiteral("USB-0042");
        full.snapshotBeforeId = 7;
        full.snapshotAfterId = 9;
        full.asFoundFit = false;
        full.asLeftFit = true;
        full.asFoundMaxError = 0.41;
        full.asLeftMaxError = 0.07;
        ASSERT_TRUE(store.updateRun(full)) << store.lastError().toStdString();
    }
    TRecordStore reopened(path);
    for (const RunRecord *r : {&full, &bare}) {
        const auto back = reopened.run(QString::number(r->id));
        ASSERT_TRUE(back) << reopened.lastError().toStdString();
        expectSameHeader(*back, *r);
        ASSERT_EQ(back->points.size(), r->points.size());
        for (qsizetype i = 0; i < r->points.size(); ++i)
            expectSame(back->points[i], r->points[i]);
    }
}

TEST(RunStore, RunCutShortShowsRunningWithThePointsTaken)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("runs.sqlite");
    RunRecord run = header("KST-2", T0);
    {
        TRecordStore store(path);
        ASSERT_TRUE(store.beginRun(run)) << store.lastError().toStdString();
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(store.addRunPoint(run.id, fullPoint(RunPhase::AsFound, i)));
    } // the program is gone before the run's end was written
    TRecordStore store(path);
    const auto back = store.run(run.uuid);
    ASSERT_TRUE(back) << store.lastError().toStdString();
    EXPECT_EQ(back->end, RunEnd::Running);
    EXPECT_FALSE(back->endedUtc.isValid());
    ASSERT_EQ(back->points.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(back->points[i].index, i + 1);
    ASSERT_EQ(store.runs().size(), 1);
    EXPECT_EQ(store.runs()[0].end, RunEnd::Running);
}

// Runs are given a serial by hand and snapshots take the port's: where the run saw
// its port's serial, the meter is one, listed once and found by either.
TEST(RunStore, AMeterIsListedOnceUnderItsPortSerial)
{
    QTemporaryDir dir;
    TRecordStore store(dir.filePath("runs.sqlite"));
    Snapshot s = MeterSample();
    s.meterSerial = QStringLiteral("USB-7");
    ASSERT_NE(store.add(s), 0) << store.lastError().toStdString();
    RunRecord r = header(QStringLiteral("KM-0042"), T0);
    r.portSerial = QStringLiteral("USB-7");
    ASSERT_TRUE(store.beginRun(r)) << store.lastError().toStdString();
    RunRecord noPort = header(QStringLiteral("KM-0099"), T0.addDays(1));
    ASSERT_TRUE(store.beginRun(noPort));
    const QList<MeterSummary> meters = store.meters();
    ASSERT_EQ(meters.size(), 2) << store.lastError().toStdString();
    EXPECT_EQ(meters[0].serial, QStringLiteral("KM-0099"));
    EXPECT_EQ(meters[1].serial, QStringLiteral("USB-7"));
    EXPECT_EQ(meters[1].lastRunUtc, T0);
    for (const char *serial : {"KM-0042", "USB-7"}) {
        const QList<RunRecord> found = store.runs(QString::fromLatin1(serial));
        ASSERT_EQ(found.size(), 1) << serial;
        EXPECT_EQ(found.first().uuid, r.uuid);
    }
}

TEST(RunStore, FindsRunsBySerialNewestFirstAndByIdOrUuid)
{
    QTemporaryDir dir;
    TRecordStore store(dir.filePath("runs.sqlite"));
    // Stored out of time order: the list follows the start, not the row.
    const struct
    {
        const char *serial;
        int day;
    } stored[] = {{"A", 2}, {"B", 1}, {"A", 3}, {"A", 1}};
    QList<RunRecord> made;
    for (const auto &s : stored) {
        RunRecord r = header(QString::fromLatin1(s.serial), T0.addDays(s.day));
        ASSERT_TRUE(store.beginRun(r)) << store.lastError().toStdString();
        made << r;
    }
    const struct
    {
        const char *serial;
        QList<int> expected; // indices into made, newest first
    } cases[] = {{"A", {2, 0, 3}}, {"B", {1}}, {"", {2, 0, 3, 1}} /* same start: the later row first */, {"C", {}}};
    for (const auto &c : cases) {
        const QList<RunRecord> found = store.runs(QString::fromLatin1(c.serial));
        QList<qint64> ids, expected;
        for (const RunRecord &r : found)
            ids << r.id;
        for (int i : c.expected)
            expected << made[i].id;
        EXPECT_EQ(ids, expected) << c.serial;
        EXPECT_TRUE(store.lastError().isEmpty());
    }
    const QString uuid = made[1].uuid;
    for (const QString &key : {QString::number(made[1].id), uuid, uuid.toUpper(), QStringLiteral(" ") + uuid}) {
        const auto r = store.run(key);
        ASSERT_TRUE(r) << key.toStdString();
        EXPECT_EQ(r->uuid, uuid);
    }
    for (const QString &key : {QStringLiteral("999"), QStringLiteral("no-such-uuid")}) {
        EXPECT_FALSE(store.run(key));
        EXPECT_TRUE(store.lastError().isEmpty()) << "absent is not damage";
    }
    RunRecord ghost = made[0];
    ghost.id = 999;
    EXPECT_FALSE(store.updateRun(ghost));
    EXPECT_FALSE(store.lastError().isEmpty());
}

TEST(RunJson, PhasesPercentsAndFloatsAsDocumented)
{
    RunRecord run = header("KST-3", T0);
    run.coefficientsAfter = std::array<float, 4>{0.1f, 1.0f / 3, -7.25f, 1e-30f};
    const struct
    {
        RunPhase phase;
        const char *key;
        std::optional<double> relative;
    } points[] = {{RunPhase::AsFound, "as_found", 0.15},
                  {RunPhase::Calibration, "calibration", std::nullopt},
                  {RunPhase::AsLeft, "as_left", -0.02}};
    for (const auto &p : points) {
        RunPoint point = barePoint(p.phase, 1);
        point.relativeError = p.relative;
        run.points << point;
    }
    // Through text, as a reader of kestroctl's output gets it.
    const QJsonObject json = QJsonDocument::fromJson(QJsonDocument(RunToJson(run)).toJson()).object();
    const QJsonArray out = json["points"].toArray();
    ASSERT_EQ(out.size(), std::size(points));
    for (qsizetype i = 0; i < out.size(); ++i) {
        const QJsonObject p = out[i].toObject();
        EXPECT_EQ(p["phase"].toString(), points[i].key);
        if (points[i].relative)
            EXPECT_EQ(p["relative_error"].toDouble(), *points[i].relative) << "in percent, as stored";
        else
            EXPECT_TRUE(p["relative_error"].isNull());
    }
    EXPECT_EQ(float(json["q_max"].toDouble()), run.qMax);
    const QJsonObject after = json["coefficients_after"].toObject();
    const char *names[] = {"a", "b", "c", "d"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(float(after[names[i]].toDouble()), (*run.coefficientsAfter)[i]) << names[i];
    EXPECT_TRUE(json["coefficients_before"].isNull());
    EXPECT_TRUE(json["written_table"].isNull());
    std::array<float, 27> table{};
    for (int i = 0; i < 27; ++i)
        table[i] = float(i) + 0.5f;
    run.writtenTable = table;
    const QJsonObject written = RunToJson(run)["written_table"].toObject();
    EXPECT_EQ(written["q_max"].toDouble(), table[0]);
    for (int n = 0; n < 13; ++n) {
        EXPECT_EQ(written["reference"][n].toDouble(), table[1 + n]) << n;
        EXPECT_EQ(written["delta_t"][n].toDouble(), table[14 + n]) << n;
    }
    EXPECT_EQ(written["delta_t"].toArray().size(), 13);
    EXPECT_EQ(json["started_utc"].toString(), "2026-12-10T08:30:00.125Z");
    EXPECT_EQ(json["end"].toString(), "running");
}
