#pragma once
// Every snapshot of the meter's calibration and every calibration run, in one SQLite
// database per user (Qt's QSQLITE driver: WAL journal, one transaction per snapshot)
// or on a plant's PostgreSQL server (QPSQL): the same schema and steps for both, the
// version in PRAGMA user_version or a schema_version table. The program and kestroctl
// share it.
#include "records/restore_journal.h"
#include "records/run_record.h"
#include "records/snapshot.h"
#include "records/store_engine.h"
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QVariant>
#include <QString>
#include <optional>

// A record that waits for the plant.
struct UploadItem
{
    enum Kind { Snapshot, Run, Certificate } kind = Snapshot;
    QString uuid;
    qint64 localId = 0;
    qint64 revision = 0;
};

// A record the plant refused for what it holds: it waits no more until it changes.
struct RefusedUpload
{
    UploadItem::Kind kind = UploadItem::Snapshot;
    QString uuid;
    QString reason;
};

// A run's certificate as it was issued: kept once, never changed; the same run
// issued again is a new row with the next revision.
struct IssuedCertificate
{
    QString uuid;
    QString runUuid;
    QString meterSerial;
    QString number;
    QDateTime issuedUtc;
    QString workstation;
    qint64 revision = 0;
    QByteArray pdf;
    QByteArray dcc;
};

// One meter as the records know it.
struct MeterSummary
{
    QString serial;
    QDateTime firstSeenUtc;
    QDateTime lastRunUtc;          // invalid: never calibrated here
    RunEnd lastRunEnd = RunEnd::Running;
    std::optional<bool> lastAsLeftFit;
    QString workstation;           // of the last run, else of the last snapshot
};

class TRecordStore
{
public:
    static constexpr int SchemaVersion = 7;

    // $KESTRO_SNAPSHOT_DB, else kestrolink/snapshots.sqlite in the user's data folder.
    static QString DefaultPath();

    // A file path, sqlite:PATH or postgresql://user@host:port/dbname (store_engine.h).
    explicit TRecordStore(const QString &location = DefaultPath());
    ~TRecordStore();
    TRecordStore(const TRecordStore &) = delete;
    TRecordStore &operator=(const TRecordStore &) = delete;

    // Opens the database, creating or bringing it up to the schema. False, with a
    // message, when it is damaged, locked or made by a newer program: it is then
    // left as it was.
    bool open();
    bool isOpen() const { return m_open; }
    QString lastError() const { return m_error; }
    QString path() const { return m_path; }
    bool isServer() const;
    // Closes the connection; the next use opens it again (a server that went away).
    void close();

    // Stores a snapshot in one transaction; its id, or 0 with a message.
    qint64 add(const Snapshot &snapshot);
    // Keeps, with a stored snapshot, the values a save wrote that the meter did not take.
    bool addRefused(qint64 id, CalibrationArea area, const QVector<quint16> &values);
    // Newest first; serial empty: every meter. On a damaged store or snapshot: nothing,
    // and lastError() says what and where (it is empty after a good read).
    QList<Snapshot> list(const QString &meterSerial = QString());
    // None when there is no such snapshot (lastError() empty) or the store is damaged.
    std::optional<Snapshot> get(qint64 id);

    // The restore journal (restore_journal.cpp): an entry before the first write, its
    // end when the restore is over; an entry never ended is a restore cut short.
    qint64 beginRestore(qint64 targetId, qint64 wayBackId, const QList<CalibrationArea> &areas);
    bool endRestore(qint64 journalId, bool restored, const QString &outcome);
    // A later restore that was read back over these areas settles the earlier ones
    // cut short within them: the meter's state there is known again.
    bool settleRestoresBefore(qint64 journalId, const QList<CalibrationArea> &areas);
    // Newest first; unfinishedOnly: those never ended.
    QList<RestoreRecord> restores(bool unfinishedOnly = false);

    // Calibration runs (run_store.cpp), written as they go: the header when the run
    // starts (its id and uuid are set), each point in its own transaction, the
    // header again whenever it changes. A crash loses at most the point in progress.
    bool beginRun(RunRecord &run);
    bool addRunPoint(qint64 runId, const RunPoint &point);
    bool updateRun(const RunRecord &run);
    // Headers only (no points), newest first; serial empty: every meter.
    QList<RunRecord> runs(const QString &meterSerial = QString());
    // By id ("12") or uuid, with its points; none when there is no such run.
    std::optional<RunRecord> run(const QString &idOrUuid);

    // Certificates (certificate_store.cpp). keep() gives it a new uuid, the next revision
    // of its run's, the workstation and the time when they are not set; false with a message.
    bool keepCertificate(IssuedCertificate &certificate);
    // The newest issued; none when there is none (lastError() empty) or on a read error.
    std::optional<IssuedCertificate> latestCertificate(const QString &meterSerial);
    std::optional<IssuedCertificate> certificateOfRun(const QString &runUuid);

    // The plant's view of every meter by serial (meters_view.cpp); serial empty: all.
    QList<MeterSummary> meters(const QString &meterSerial = QString());

    // Uploads to a plant store (plant_upload.cpp). A record waits while the revision
    // the plant has of it (kept here, in table uploaded) is older than its own: a
    // snapshot once, a run's header each time it changes, its points once each.
    int waitingCount(); // -1 when the store cannot be read
    QList<UploadItem> waiting(int limit);
    // The record into the plant in one transaction, idempotent on its uuid; then here
    // marked as uploaded at the revision read before it. False: lastError() of this
    // store or of the plant says why.
    // A record the plant refused for its own data (or that holds a NUL no server takes)
    // is marked refused here with the reason: upload() is false and uploadRefused() true,
    // and it no longer waits.
    bool upload(TRecordStore &plant, const UploadItem &item);
    bool uploadRefused() const { return m_uploadRefused; }
    QList<RefusedUpload> refusedUploads();
    // Every record waits again (for a push of all to a plant that never had them).
    bool forgetUploads();

    // Brings a database to one version only: how tests make an older one.
    static bool migrateTo(const QString &location, int version, QString *error);

private:
    // The plant's side of upload(): its rows put or brought up to the revision.
    bool putSnapshot(const Snapshot &snapshot, qint64 revision);
    bool putRun(const RunRecord &run, qint64 revision, const QString &beforeUuid, const QString &afterUuid);
    bool putCertificate(const IssuedCertificate &certificate);
    std::optional<IssuedCertificate> selectCertificate(const QString &where, const QVariant &value);
    bool serverFailed(const QString &what, const QSqlError &error);
    bool markRefused(const UploadItem &item, qint64 revision, const QString &reason);
    bool exec(const QString &sql);
    bool migrate(int to);
    bool isOurs(int version, int tables);
    bool fail(const QString &what, const QString &detail);
    bool switchToWal();
    bool readAreas(const QString &table, Snapshot &snapshot);
    QList<Snapshot> select(const QString &where, const QVariant &value);

    StoreLocation m_where;
    QString m_path; // for messages: the file, or the server's URL
    QString m_connection;
    QString m_error;
    bool m_open = false;
    bool m_serverRefusedRecord = false; // the last server fault was about the record sent
    bool m_uploadRefused = false;
};
