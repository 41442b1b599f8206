// Plant sync under load: workstations (processes of this program, each with its own
// local file) upload their runs into one throwaway PostgreSQL at once; then again
// with the server killed and restarted midway. Prints the total time, the per-record
// upload p99, and whether every record is there exactly once. Never a test.
//   plant_sync_bench [WORKSTATIONS] [RUNS] [POINTS]     (default 8 250 26)
#include "records/record_store.h"
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

const QString Script = QStringLiteral(KESTRO_SOURCE_DIR "/scripts/pg-test-cluster.sh");

bool cluster(const QString &command, const QString &dir)
{
    QProcess p;
    p.start(QStringLiteral("bash"), {Script, command, dir});
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

long long plantCount(const QString &url, const QString &sql)
{
    const QUrl u(url);
    long long n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("count"));
        db.setHostName(u.host());
        db.setPort(u.port());
        db.setUserName(u.userName());
        db.setDatabaseName(u.path().mid(1));
        db.setConnectOptions(QStringLiteral("connect_timeout=2"));
        QSqlQuery q(db);
        if (db.open() && q.exec(sql) && q.next())
            n = q.value(0).toLongLong();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("count"));
    return n;
}

// A workstation: fills its file, says "ready", waits for a line, uploads everything
// (trying again while the server is away), then prints each upload's milliseconds.
int worker(const QString &file, const QString &url, int runs, int points)
{
    TRecordStore local(file);
    if (!local.open()) {
        std::fprintf(stderr, "%s\n", qPrintable(local.lastError()));
        return 1;
    }
    for (int i = 0; i < runs; ++i) {
        Snapshot s;
        s.takenUtc = QDateTime::currentDateTimeUtc();
        s.port = QStringLiteral("/dev/ttyACM0");
        s.reason = SnapshotReason::BeforeRun;
        s.meterSerial = QStringLiteral("K-%1").arg(i % 50);
        s.areas.insert(CalibrationArea::Density, {0x8ccd, 0x4479, 1});
        QVector<quint16> flow(54, quint16(i));
        s.areas.insert(CalibrationArea::FlowTable, flow);
        RunRecord r;
        r.meterSerial = s.meterSerial;
        r.snapshotBeforeId = local.add(s);
        local.beginRun(r);
        for (int p = 1; p <= points; ++p) {
            RunPoint pt;
            pt.index = p;
            pt.referenceFlow = 100.0 * p + 0.1;
            local.addRunPoint(r.id, pt);
        }
        s.reason = SnapshotReason::AfterRun;
        r.snapshotAfterId = local.add(s);
        r.end = RunEnd::Completed;
        local.updateRun(r);
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string go;
    std::getline(std::cin, go);
    TRecordStore plant(url);
    std::vector<double> ms;
    int failures = 0;
    QElapsedTimer all;
    all.start();
    while (all.elapsed() < 300000) {
        const QList<UploadItem> items = local.waiting(64);
        if (items.isEmpty())
            break;
        for (const UploadItem &item : items) {
            QElapsedTimer one;
            one.start();
            if (local.upload(plant, item)) {
                ms.push_back(double(one.nsecsElapsed()) / 1e6);
                continue;
            }
            ++failures;
            QThread::msleep(200); // the server is away: the workstation's retry, shortened
            break;
        }
    }
    std::printf("done %d", failures);
    for (double v : ms)
        std::printf(" %.3f", v);
    std::printf("\n");
    return local.waitingCount() == 0 ? 0 : 2;
}

void round(const char *title, const QString &dir, const QString &url, int workstations, int runs, int points, bool kill)
{
    std::vector<std::unique_ptr<QProcess>> ws;
    for (int w = 0; w < workstations; ++w) {
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--worker"), QStringLiteral("%1/%2-%3.sqlite").arg(dir, QLatin1String(title)).arg(w), url,
                  QString::number(runs), QString::number(points)});
        ws.push_back(std::move(p));
    }
    for (auto &p : ws) {
        while (!p->canReadLine())
            p->waitForReadyRead(600000);
        p->readLine();
    }
    QElapsedTimer t;
    t.start();
    for (auto &p : ws) {
        p->write("go\n");
        p->waitForBytesWritten(10000); // nothing else turns this program's event loop
    }
    const long long expectedRuns = (kill ? 2LL : 1LL) * workstations * runs;
    if (kill) {
        // Killed when about half of this round's runs are there, restarted 2 s later.
        while (plantCount(url, QStringLiteral("SELECT count(*) FROM run")) < expectedRuns - workstations * runs / 2)
            QThread::msleep(50);
        cluster(QStringLiteral("kill"), dir + QStringLiteral("/pg"));
        std::printf("  server killed after %.1f s\n", double(t.elapsed()) / 1000);
        QThread::msleep(2000);
        cluster(QStringLiteral("restart"), dir + QStringLiteral("/pg"));
    }
    std::vector<double> ms;
    long long failures = 0;
    for (auto &p : ws) {
        p->waitForFinished(600000);
        const QList<QByteArray> words = p->readAllStandardOutput().trimmed().split(' ');
        failures += words.value(1).toLongLong();
        for (int i = 2; i < words.size(); ++i)
            ms.push_back(words[i].toDouble());
    }
    const double seconds = double(t.elapsed()) / 1000;
    std::sort(ms.begin(), ms.end());
    const double p99 = ms.empty() ? 0 : ms[size_t(0.99 * double(ms.size() - 1))];
    const long long snapshots = plantCount(url, QStringLiteral("SELECT count(*) FROM snapshot"));
    const long long distinctSnapshots = plantCount(url, QStringLiteral("SELECT count(DISTINCT uuid) FROM snapshot"));
    const long long runsThere = plantCount(url, QStringLiteral("SELECT count(*) FROM run"));
    const long long pointsThere = plantCount(url, QStringLiteral("SELECT count(*) FROM run_point"));
    const long long runsWhole = plantCount(url, QStringLiteral("SELECT count(*) FROM run r WHERE (SELECT count(*) FROM run_point p"
                                                               " WHERE p.run_id = r.id) = %1").arg(points));
    std::printf("%s: %d workstations x %d runs (%d points, 2 snapshots each)\n", title, workstations, runs, points);
    std::printf("  total %.1f s, %.0f runs per minute; %zu uploads, p50 %.1f ms, p99 %.1f ms, max %.1f ms; %lld failed tries\n",
                seconds, double(workstations * runs) * 60 / seconds, ms.size(), ms.empty() ? 0 : ms[ms.size() / 2], p99,
                ms.empty() ? 0 : ms.back(), failures);
    std::printf("  plant: %lld runs (expected %lld), %lld whole, %lld points (expected %lld), %lld snapshots (%lld distinct, "
                "expected %lld): %s\n",
                runsThere, expectedRuns, runsWhole, pointsThere, expectedRuns * points, snapshots, distinctSnapshots,
                2 * expectedRuns,
                runsThere == expectedRuns && runsWhole == expectedRuns && pointsThere == expectedRuns * points
                        && snapshots == 2 * expectedRuns && distinctSnapshots == snapshots
                    ? "every record exactly once"
                    : "LOST OR DOUBLED RECORDS");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--worker"))
        return worker(args.value(2), args.value(3), args.value(4).toInt(), args.value(5).toInt());
    const int workstations = args.size() > 1 ? args[1].toInt() : 8;
    const int runs = args.size() > 2 ? args[2].toInt() : 250;
    const int points = args.size() > 3 ? args[3].toInt() : 26;
    QTemporaryDir dir;
    if (!cluster(QStringLiteral("start"), dir.path() + QStringLiteral("/pg"))) {
        std::fprintf(stderr, "plant_sync_bench: PostgreSQL did not start\n");
        return 1;
    }
    QFile urlFile(dir.path() + QStringLiteral("/pg/url"));
    urlFile.open(QIODevice::ReadOnly);
    const QString url = QString::fromUtf8(urlFile.readAll()).trimmed();
    {
        TRecordStore schema(url); // made once, before the workstations come
        if (!schema.open()) {
            std::fprintf(stderr, "%s\n", qPrintable(schema.lastError()));
            return 1;
        }
    }
    round("steady", dir.path(), url, workstations, runs, points, false);
    round("killed", dir.path(), url, workstations, runs, points, true);
    cluster(QStringLiteral("stop"), dir.path() + QStringLiteral("/pg"));
    return 0;
}
