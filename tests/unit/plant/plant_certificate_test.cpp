// A certificate issued at one workstation reaches another through the plant alone:
// uploaded after its run, once whatever is sent again, every byte as it was issued.
#include "pg_cluster.h"
#include "records/certificate_issue.h"
#include "records/plant_sync.h"
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

namespace {

constexpr int Deadline = 30000;

bool syncOnce(TPlantSync &sync)
{
    QSignalSpy finished(&sync, &TPlantSync::passFinished);
    sync.syncNow();
    if (!QTest::qWaitFor([&] { return !finished.isEmpty(); }, Deadline))
        return false;
    return finished.first().first().toBool();
}

RunRecord completedRun(TRecordStore &store, const QString &serial)
{
    RunRecord r;
    r.meterSerial = serial;
    r.operatorName = QStringLiteral("Иванова");
    r.rigKind = QStringLiteral("sim");
    r.qMax = 1000.0f;
    EXPECT_TRUE(store.beginRun(r)) << store.lastError().toStdString();
    RunPoint p;
    p.phase = RunPhase::AsLeft;
    p.index = 1;
    p.referenceFlow = 0.1 + 0.2;
    p.meterFlow = std::nextafter(100.0, 1e9);
    p.relativeError = 1.0 / 3;
    p.fits = true;
    r.points << p;
    EXPECT_TRUE(store.addRunPoint(r.id, p)) << store.lastError().toStdString();
    r.end = RunEnd::Completed;
    r.endedUtc = QDateTime::currentDateTimeUtc();
    EXPECT_TRUE(store.updateRun(r)) << store.lastError().toStdString();
    return r;
}

QByteArray everyByte()
{
    QByteArray b("%PDF-1.7\n");
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b;
}

class PlantCertificate : public ::testing::Test
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

struct ShareCase
{
    const char *name;
    int issues; // the same run issued this many times at the first workstation
};

class PlantCertificateShare : public PlantCertificate, public ::testing::WithParamInterface<ShareCase>
{
};

TEST_P(PlantCertificateShare, TheSecondWorkstationGetsTheFirstOnesBytes)
{
    const QString url = pg.createDatabase();
    ASSERT_FALSE(url.isEmpty()) << pg.error().toStdString();
    const QString first = dir.filePath("ws1.sqlite"), second = dir.filePath("ws2.sqlite");
    TRecordStore ws1(first), ws2(second);
    ASSERT_TRUE(ws1.open()) << ws1.lastError().toStdString();
    ASSERT_TRUE(ws2.open()) << ws2.lastError().toStdString();

    const RunRecord run = completedRun(ws1, QStringLiteral("KM-51"));
    std::optional<IssuedCertificate> issued;
    for (int i = 0; i < GetParam().issues; ++i) {
        QString error;
        issued = IssueRunCertificate(ws1, run, everyByte() + QByteArray::number(i), &error);
        ASSERT_TRUE(issued) << error.toStdString();
    }
    // The certificate waits behind its run: it goes in the pass that sends the run.
    TPlantSync sync(first, url);
    ASSERT_TRUE(syncOnce(sync)) << sync.lastError().toStdString();
    EXPECT_EQ(ws1.waitingCount(), 0);
    EXPECT_EQ(pg.count(url, QStringLiteral("SELECT count(*) FROM certificate")), GetParam().issues);
    // Everything again: the plant already has each.
    ASSERT_TRUE(sync.pushAll());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sync.isSyncing(); }, Deadline));
    EXPECT_EQ(sync.lastError(), QString());
    EXPECT_EQ(pg.count(url, QStringLiteral("SELECT count(*) FROM certificate")), GetParam().issues);

    // The second workstation never saw the run; it reads the plant.
    EXPECT_FALSE(ws2.latestCertificate(QStringLiteral("KM-51")));
    TRecordStore plant(url);
    const std::optional<IssuedCertificate> there = plant.latestCertificate(QStringLiteral("KM-51"));
    ASSERT_TRUE(there) << plant.lastError().toStdString();
    EXPECT_EQ(there->uuid, issued->uuid);
    EXPECT_EQ(there->revision, GetParam().issues);
    EXPECT_EQ(there->pdf, issued->pdf);
    EXPECT_EQ(there->dcc, issued->dcc);
    EXPECT_EQ(there->issuedUtc, issued->issuedUtc);

    // And kestroctl at the second workstation hands out the same DCC.
    const QString out = dir.filePath("ws2.xml");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTRO_SNAPSHOT_DB", second);
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.remove("KESTRO_RECORDS_URL");
    QProcess ctl;
    ctl.setProcessEnvironment(env);
    ctl.start(QStringLiteral(KESTROCTL_PATH),
              {"certificate", "--serial", "KM-51", "--records", url, "--dcc", out});
    ASSERT_TRUE(ctl.waitForFinished(60000));
    EXPECT_EQ(ctl.exitCode(), 0) << ctl.readAllStandardError().toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), issued->dcc);
}

INSTANTIATE_TEST_SUITE_P(Plant, PlantCertificateShare,
                         ::testing::Values(ShareCase{"IssuedOnce", 1}, ShareCase{"IssuedTwice", 2}),
                         [](const ::testing::TestParamInfo<ShareCase> &i) { return std::string(i.param.name); });

} // namespace
