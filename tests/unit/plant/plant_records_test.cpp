// Plant records against a real PostgreSQL: the schema's steps on both engines, uploads
// that survive retries, a server killed midway and two workstations at once, and what
// a workstation says when the server will not have it.
#include "pg_cluster.h"
#include "records/plant_sync.h"
#include "records/snapshot_file.h"
#include "unit/records/snapshot_samples.h"
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

namespace {

constexpr int Deadline = 30000;

RunPoint point(int index)
{
    RunPoint p;
    p.phase = index <= 3 ? RunPhase::AsFound : RunPhase::Calibration;
    p.index = index;
    p.targetPercent = 10.0 * index;
    p.referenceFlow = 0.1 + 0.2 + index; // every bit must come back, on either engine
    p.meterFlow = std::nextafter(1000.0 * index, 1e9);
    p.deltaT = 1e-300;
    p.relativeError = 1.0 / 3;
    p.fits = index % 2 == 0;
    p.takenUtc = QDateTime(QDate(2026, 12, 10), QTime(8, 0), Qt::UTC).addSecs(index);
    return p;
}

// One calibration as a workstation writes it: a snapshot before, the run point by
// point, a snapshot after, the header at its end. Its uuid.
QString writeRun(TRecordStore &store, const QString &serial, int points)
{
    Snapshot before = MeterSample();
    before.meterSerial = serial;
    before.reason = SnapshotReason::BeforeRun;
    RunRecord r;
    r.meterSerial = serial;
    r.operatorName = QStringLiteral("Иванова");
    r.rigKind = QStringLiteral("sim");
    r.qMax = 1000.0f;
    r.coefficientsBefore = std::array<float, 4>{-62.5f, 0.04f, NAN, 1e-7f};
    r.snapshotBeforeId = store.add(before);
    EXPECT_NE(r.snapshotBeforeId, 0) << store.lastError().toStdString();
    EXPECT_TRUE(store.beginRun(r)) << store.lastError().toStdString();
    for (int i = 1; i <= points; ++i)
        EXPECT_TRUE(store.addRunPoint(r.id, point(i))) << store.lastError().toStdString();
    Snapshot after = before;
    after.reason = SnapshotReason::AfterRun;
    r.snapshotAfterId = store.add(after);
    r.end = RunEnd::Completed;
    r.endedUtc = QDateTime::currentDateTimeUtc();
    r.asLeftFit = true;
    EXPECT_TRUE(store.updateRun(r)) << store.lastError().toStdString();
    return r.uuid;
}

struct Counts
{
    long long snapshots, runs, points, areas;
    bool operator==(const Counts &) const = default;
};

Counts plantCounts(PgCluster &pg, const QString &url)
{
    return {pg.count(url, QStringLiteral("SELECT count(*) FROM snapshot")), pg.count(url, QStringLiteral("SELECT count(*) FROM run")),
            pg.count(url, QStringLiteral("SELECT count(*) FROM run_point")), pg.count(url, QStringLiteral("SELECT count(*) FROM area"))};
}

std::ostream &operator<<(std::ostream &os, const Counts &c)
{
    return os << c.snapshots << " snapshots, " << c.runs << " runs, " << c.points << " points, " << c.areas << " areas";
}

// One pass of a sync: whether it sent everything.
bool syncOnce(TPlantSync &sync)
{
    QSignalSpy finished(&sync, &TPlantSync::passFinished);
    sync.syncNow();
    if (!QTest::qWaitFor([&] { return !finished.isEmpty(); }, Deadline))
        return false;
    return finished.first().first().toBool();
}

class PlantRecords : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(pg.url().isEmpty()) << pg.error().toStdString();
        ASSERT_TRUE(dir.isValid());
    }
    PgCluster &pg = PgCluster::Shared();
    QTemporaryDir dir;
};

// --- the schema's steps --------------------------------------------------------------

struct MigrationCase
{
    const char *name;
    bool server;
    int from; // 0: an empty database
};

class Migration : public PlantRecords, public ::testing::WithParamInterface<MigrationCase>
{
};

TEST_P(Migration, BringsTheStoreUpKeepingOldRowsAndEveryBit)
{
    const MigrationCase c = GetParam();
    const QString location = c.server ? pg.createDatabase() : dir.filePath(QStringLiteral("m.sqlite"));
    ASSERT_FALSE(location.isEmpty()) << pg.error().toStdString();
    if (c.from > 0) {
        QString error;
        ASSERT_TRUE(TRecordStore::migrateTo(location, c.from, &error)) << error.toStdString();
        // Two snapshots as the first version kept them: no uuid yet.
        const StoreLocation where = StoreLocation::Parse(location);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(where.dialect->driver), QStringLiteral("raw"));
            where.apply(db);
            db.setUserName(QStringLiteral("postgres"));
            ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
            for (int i = 0; i < 2; ++i) {
                QSqlQuery q(db);
                q.prepare(QStringLiteral("INSERT INTO snapshot(taken_utc, port, reason, note, program_version)"
                                         " VALUES(?, '/dev/ttyACM0', ?, '', '0.9') RETURNING id"));
                q.addBindValue(QStringLiteral("2026-01-0%1T00:00:00.000Z").arg(i + 1));
                q.addBindValue(ReasonKey(SnapshotReason::ManualBackup));
                ASSERT_TRUE(q.exec() && q.next()) << q.lastError().text().toStdString();
                const qint64 id = q.value(0).toLongLong();
                q.finish();
                q.prepare(QStringLiteral("INSERT INTO area(snapshot_id, area, registers) VALUES(?, 'density', ?)"));
                q.addBindValue(id);
                q.addBindValue(QByteArray::fromHex("8ccd44790001"));
                ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    }
    TRecordStore store(location);
    ASSERT_TRUE(store.open()) << store.lastError().toStdString();
    const QList<Snapshot> old = store.list();
    ASSERT_EQ(old.size(), c.from > 0 ? 2 : 0) << store.lastError().toStdString();
    if (c.from > 0) {
        EXPECT_EQ(old[0].uuid.size(), 36);
        EXPECT_FALSE(QUuid::fromString(old[0].uuid).isNull()) << old[0].uuid.toStdString();
        EXPECT_NE(old[0].uuid, old[1].uuid);
        EXPECT_EQ(old[0].areas.value(CalibrationArea::Density), (QVector<quint16>{0x8ccd, 0x4479, 0x0001}));
    }
    const QString uuid = writeRun(store, QStringLiteral("K-1"), 4);
    const std::optional<RunRecord> back = store.run(uuid);
    ASSERT_TRUE(back) << store.lastError().toStdString();
    ASSERT_EQ(back->points.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(back->points[i].referenceFlow, point(i + 1).referenceFlow);
        EXPECT_EQ(back->points[i].meterFlow, point(i + 1).meterFlow);
        EXPECT_EQ(back->points[i].deltaT, 1e-300);
    }
    ASSERT_TRUE(back->coefficientsBefore);
    EXPECT_TRUE(std::isnan((*back->coefficientsBefore)[2]));
    const QList<MeterSummary> meters = store.meters();
    ASSERT_EQ(meters.size(), 1);
    EXPECT_EQ(meters[0].serial, QStringLiteral("K-1"));
    EXPECT_EQ(meters[0].lastRunEnd, RunEnd::Completed);
    EXPECT_EQ(meters[0].lastAsLeftFit, true);
    // A second program opening it finds it up to date.
    TRecordStore again(location);
    EXPECT_TRUE(again.open()) << again.lastError().toStdString();
    EXPECT_EQ(again.runs().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(BothEngines, Migration,
                         ::testing::Values(MigrationCase{"SqliteEmpty", false, 0}, MigrationCase{"SqliteFromVersion1", false, 1},
                                           MigrationCase{"PostgresEmpty", true, 0}, MigrationCase{"PostgresFromVersion1", true, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

// --- uploads -------------------------------------------------------------------------

TEST_F(PlantRecords, UploadFollowsARunAsItGoesAndARetryAddsNothing)
{
    const QString url = pg.createDatabase();
    const QString localPath = dir.filePath(QStringLiteral("ws.sqlite"));
    TRecordStore local(localPath);
    ASSERT_TRUE(local.open()) << local.lastError().toStdString();
    TPlantSync sync(localPath, url);

    // A run under way: its snapshot before and two points.
    Snapshot before = MeterSample();
    before.meterSerial = QStringLiteral("K-7");
    RunRecord r;
    r.meterSerial = before.meterSerial;
    r.snapshotBeforeId = local.add(before);
    ASSERT_TRUE(local.beginRun(r));
    ASSERT_TRUE(local.addRunPoint(r.id, point(1)));
    ASSERT_TRUE(local.addRunPoint(r.id, point(2)));
    ASSERT_TRUE(syncOnce(sync)) << sync.lastError().toStdString();
    EXPECT_EQ(plantCounts(pg, url), (Counts{1, 1, 2, 5}));
    EXPECT_EQ(sync.waitingCount(), 0);

    // It goes on and ends: a point more, the snapshot after, the header changed.
    ASSERT_TRUE(local.addRunPoint(r.id, point(3)));
    Snapshot after = before;
    after.reason = SnapshotReason::AfterRun;
    r.snapshotAfterId = local.add(after);
    ASSERT_TRUE(local.addRefused(r.snapshotAfterId, CalibrationArea::Zero, {1, 2, 3, 4, 5, 6, 7, 8}));
    r.end = RunEnd::Completed;
    r.asLeftFit = false;
    ASSERT_TRUE(local.updateRun(r));
    EXPECT_EQ(local.waitingCount(), 2);
    ASSERT_TRUE(syncOnce(sync)) << sync.lastError().toStdString();
    EXPECT_EQ(plantCounts(pg, url), (Counts{2, 1, 3, 10}));

    // As the plant has it: the same points, and its own ids for the snapshots around it.
    TRecordStore plant(url);
    const std::optional<RunRecord> there = plant.run(r.uuid);
    ASSERT_TRUE(there) << plant.lastError().toStdString();
    EXPECT_EQ(there->end, RunEnd::Completed);
    EXPECT_EQ(there->asLeftFit, false);
    ASSERT_EQ(there->points.size(), 3);
    EXPECT_EQ(there->points[2].referenceFlow, point(3).referenceFlow);
    const std::optional<Snapshot> afterThere = plant.get(there->snapshotAfterId);
    ASSERT_TRUE(afterThere) << plant.lastError().toStdString();
    EXPECT_EQ(afterThere->uuid, local.get(r.snapshotAfterId)->uuid);
    EXPECT_EQ(afterThere->refused.value(CalibrationArea::Zero).size(), 8);
    EXPECT_FALSE(afterThere->workstation.isEmpty());

    // Everything again (a workstation that lost what it had sent): nothing doubles.
    ASSERT_TRUE(sync.pushAll());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sync.isSyncing(); }, Deadline));
    EXPECT_EQ(sync.lastError(), QString());
    EXPECT_EQ(plantCounts(pg, url), (Counts{2, 1, 3, 10}));
    EXPECT_EQ(plant.meters(QStringLiteral("K-7")).size(), 1);
}

TEST_F(PlantRecords, ServerKilledMidUploadLosesAndDoublesNothing)
{
    QTemporaryDir own;
    PgCluster server(own.path());
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    const QString url = server.createDatabase();
    const QString localPath = dir.filePath(QStringLiteral("ws.sqlite"));
    constexpr int Runs = 40, Points = 12;
    {
        TRecordStore local(localPath);
        for (int i = 0; i < Runs; ++i)
            writeRun(local, QStringLiteral("K-%1").arg(i % 5), Points);
    }
    TPlantSync sync(localPath, url);
    sync.setIntervals(300, 100);
    QSignalSpy finished(&sync, &TPlantSync::passFinished);
    sync.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sync.uploadedCount() >= 15; }, Deadline));
    ASSERT_TRUE(server.kill()) << server.error().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !finished.isEmpty() && !finished.last().first().toBool(); }, Deadline));
    EXPECT_FALSE(sync.lastError().isEmpty());
    // The workstation goes on writing while the server is away.
    TRecordStore local(localPath);
    EXPECT_NE(local.add(MeterSample()), 0) << local.lastError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sync.waitingCount() > 0; }, Deadline));

    ASSERT_TRUE(server.restart()) << server.error().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sync.waitingCount() == 0 && sync.lastError().isEmpty(); }, Deadline))
        << sync.lastError().toStdString() << " waiting " << sync.waitingCount();
    EXPECT_EQ(plantCounts(server, url), (Counts{2 * Runs + 1, Runs, Runs * Points, (2 * Runs + 1) * 5}));
}

// Workstations are separate programs with files of their own; one of them syncs twice at once.
TEST_F(PlantRecords, WorkstationsSyncingAtOnceLeaveEachRecordOnce)
{
    const QString url = pg.createDatabase();
    const QStringList files{dir.filePath(QStringLiteral("a.sqlite")), dir.filePath(QStringLiteral("b.sqlite"))};
    for (const QString &file : files) {
        TRecordStore local(file);
        for (int i = 0; i < 15; ++i)
            writeRun(local, QStringLiteral("K-%1").arg(i), 6);
    }
    std::vector<std::unique_ptr<QProcess>> ctl;
    for (const QString &file : {files[0], files[1], files[0]}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTRO_SNAPSHOT_DB"), file);
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(KESTROCTL_PATH), {QStringLiteral("--records"), url, QStringLiteral("records"), QStringLiteral("sync")});
        ctl.push_back(std::move(p));
    }
    for (auto &p : ctl) {
        ASSERT_TRUE(p->waitForFinished(60000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    EXPECT_EQ(plantCounts(pg, url), (Counts{60, 30, 180, 300}));
    EXPECT_EQ(pg.count(url, QStringLiteral("SELECT count(DISTINCT workstation) FROM run")), 1);
    EXPECT_EQ(pg.count(url, QStringLiteral("SELECT count(*) FROM meters")), 15);
}

// --- a server that will not have us ----------------------------------------------------

struct RefusalCase
{
    const char *name;
    bool wrongPassword; // else a port nobody listens on
    const char *says;
};

class Refusal : public PlantRecords, public ::testing::WithParamInterface<RefusalCase>
{
};

TEST_P(Refusal, IsSaidClearlyAndTheWorkstationGoesOn)
{
    QString url = QStringLiteral("postgresql://postgres@127.0.0.1:1/plant");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTRO_SNAPSHOT_DB"), dir.filePath(QStringLiteral("ws.sqlite")));
    if (GetParam().wrongPassword) {
        ASSERT_TRUE(pg.admin(QStringLiteral("DO $$ BEGIN CREATE ROLE kestro_pw LOGIN PASSWORD 'right'; "
                                            "EXCEPTION WHEN duplicate_object THEN NULL; END $$")))
            << pg.error().toStdString();
        url = pg.createDatabase(QStringLiteral("kestro_pw"));
        QFile pgpass(dir.filePath(QStringLiteral("pgpass")));
        ASSERT_TRUE(pgpass.open(QIODevice::WriteOnly));
        pgpass.write(QStringLiteral("*:*:*:kestro_pw:wrong\n").toUtf8());
        pgpass.close();
        pgpass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        env.insert(QStringLiteral("PGPASSFILE"), pgpass.fileName());
    }
    const QString file = dir.filePath(QStringLiteral("s.json"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(SnapshotFile::Export(MeterSample()));
    f.close();
    const auto ctl = [&](const QStringList &args, QString *err) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KESTROCTL_PATH), QStringList{QStringLiteral("--records"), url} + args);
        p.waitForFinished(60000);
        *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    QString err;
    // The record is kept locally and waits.
    EXPECT_EQ(ctl({QStringLiteral("import"), file}, &err), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QString::fromUtf8(GetParam().says))) << err.toStdString();
    EXPECT_EQ(ctl({QStringLiteral("records"), QStringLiteral("sync")}, &err), 10) << err.toStdString();
    EXPECT_TRUE(err.contains(QString::fromUtf8(GetParam().says))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("записей ждут отправки: 1"))) << err.toStdString();
    EXPECT_EQ(ctl({QStringLiteral("meters")}, &err), 10) << err.toStdString();
    TRecordStore local(env.value(QStringLiteral("KESTRO_SNAPSHOT_DB")));
    EXPECT_EQ(local.list().size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Plant, Refusal,
                         ::testing::Values(RefusalCase{"WrongPassword", true, "не принял пароль пользователя kestro_pw"},
                                           RefusalCase{"ClosedPort", false, "недоступен"}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

// --- what the plant will not take ----------------------------------------------------

// An older copy of a record (a workstation's store put back from a backup) reaching the
// plant after the newer one: the plant keeps the newer header.
TEST_F(PlantRecords, AnOlderRevisionNeverReplacesANewerOne)
{
    const QString url = pg.createDatabase();
    const QString path = dir.filePath(QStringLiteral("ws.sqlite"));
    const QString older = dir.filePath(QStringLiteral("older.sqlite"));
    RunRecord r;
    {
        TRecordStore local(path);
        r.meterSerial = QStringLiteral("K-9");
        ASSERT_TRUE(local.beginRun(r)) << local.lastError().toStdString();
        ASSERT_TRUE(local.addRunPoint(r.id, point(1)));
        ASSERT_TRUE(local.addRunPoint(r.id, point(2)));
    }
    ASSERT_TRUE(QFile::copy(path, older)); // the store is closed: no journal beside it
    {
        TRecordStore local(path);
        r.end = RunEnd::Completed;
        r.asLeftFit = true;
        ASSERT_TRUE(local.updateRun(r)) << local.lastError().toStdString();
    }
    TPlantSync newer(path, url), old(older, url);
    ASSERT_TRUE(syncOnce(newer)) << newer.lastError().toStdString();
    ASSERT_TRUE(syncOnce(old)) << old.lastError().toStdString();
    TRecordStore plant(url);
    const std::optional<RunRecord> there = plant.run(r.uuid);
    ASSERT_TRUE(there) << plant.lastError().toStdString();
    EXPECT_EQ(there->end, RunEnd::Completed) << "a completed run went back to running";
    EXPECT_EQ(there->asLeftFit, true);
    EXPECT_EQ(there->points.size(), 2);
}

struct PlantRefusalCase
{
    const char *name;
    const char *user;        // the plant's role for the workstation
    const char *nulField;    // a second run carries a NUL in this text; null: none
    bool lockSnapshots;      // another session holds the plant's snapshot table
    bool passes;             // the pass sends all it may
    int waitingAfter;        // records still waiting after the pass
    int refusedAfter;        // records marked refused
    const char *says;        // in the pass's error or a refusal's reason
};

class PlantRefusal : public PlantRecords, public ::testing::WithParamInterface<PlantRefusalCase>
{
};

TEST_P(PlantRefusal, IsMarkedOnlyForTheRecordItIsAbout)
{
    const PlantRefusalCase &c = GetParam();
    const QString url = pg.createDatabase();
    {
        TRecordStore schema(url);
        ASSERT_TRUE(schema.open()) << schema.lastError().toStdString();
    }
    QUrl plantUrl(url);
    const QString database = plantUrl.path().mid(1);
    if (QLatin1String(c.user) != QLatin1String("postgres")) {
        ASSERT_TRUE(pg.admin(QStringLiteral("DO $$ BEGIN CREATE ROLE %1 LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; "
                                            "END $$").arg(QLatin1String(c.user))))
            << pg.error().toStdString();
        // Reading, but no INSERT: the server stays open and refuses each statement.
        ASSERT_TRUE(pg.admin(QStringLiteral("GRANT USAGE ON SCHEMA public TO %1; GRANT SELECT ON ALL TABLES IN SCHEMA "
                                            "public TO %1").arg(QLatin1String(c.user)),
                             database))
            << pg.error().toStdString();
        plantUrl.setUserName(QLatin1String(c.user));
    }
    const QString localPath = dir.filePath(QStringLiteral("ws.sqlite"));
    TRecordStore local(localPath);
    writeRun(local, QStringLiteral("K-1"), 3);
    if (c.nulField) {
        RunRecord bad;
        bad.meterSerial = QStringLiteral("K-2");
        bad.operatorName = QStringLiteral("Петров");
        if (QLatin1String(c.nulField) == QLatin1String("operator"))
            bad.operatorName += QChar(0);
        ASSERT_TRUE(local.beginRun(bad)) << local.lastError().toStdString();
    }
    const int waitingBefore = local.waitingCount();

    // Another session's lock on the plant's snapshots, held over the pass.
    const QString holder = QUuid::createUuid().toString();
    if (c.lockSnapshots) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), holder);
        db.setHostName(plantUrl.host());
        db.setPort(plantUrl.port());
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(database);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("BEGIN")));
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("LOCK TABLE snapshot IN EXCLUSIVE MODE")));
    }
    TPlantSync sync(localPath, plantUrl.toString());
    const bool passed = syncOnce(sync);
    if (c.lockSnapshots) {
        QSqlDatabase::database(holder, false).close();
        QSqlDatabase::removeDatabase(holder);
    }
    EXPECT_EQ(passed, c.passes) << sync.lastError().toStdString();
    EXPECT_EQ(local.waitingCount(), c.waitingAfter == -1 ? waitingBefore : c.waitingAfter);
    const QList<RefusedUpload> refused = local.refusedUploads();
    EXPECT_EQ(refused.size(), c.refusedAfter);
    const QString said = sync.lastError() + (refused.isEmpty() ? QString() : refused.first().reason);
    EXPECT_TRUE(said.contains(QString::fromUtf8(c.says))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("недоступен"))) << "the server answered: " << said.toStdString();
    // What was refused for its own data does not hold up the next pass.
    if (c.refusedAfter > 0) {
        EXPECT_TRUE(syncOnce(sync)) << sync.lastError().toStdString();
        EXPECT_EQ(pg.count(url, QStringLiteral("SELECT count(*) FROM run")), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Plant, PlantRefusal,
    ::testing::Values(PlantRefusalCase{"NoInsertRight", "kestro_ro", nullptr, false, false, -1, 0, "нет права"},
                      PlantRefusalCase{"NulInOperator", "postgres", "operator", false, true, 0, 1, "operator"},
                      PlantRefusalCase{"LockedTable", "postgres", nullptr, true, false, 2, 0,
                                       "занята другой программой дольше 5 с"}),
    [](const auto &info) { return std::string(info.param.name); });
