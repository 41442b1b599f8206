#pragma once
// Every snapshot of the meter's calibration, in one SQLite database per user
// (Qt's QSQLITE driver): WAL journal, one transaction per snapshot, the schema's
// version in PRAGMA user_version and a step for each version. The program and
// kestroctl share it.
#include "records/restore_journal.h"
#include "records/run_record.h"
#include "records/snapshot.h"
#include <QList>
#include <QString>
#include <optional>

class TSnapshotStore
{
public:
    static constexpr int SchemaVersion = 4;

    // $KESTRO_SNAPSHOT_DB, else kestrolink/snapshots.sqlite in the user's data folder.
    static QString DefaultPath();

    explicit TSnapshotStore(const QString &path = DefaultPath());
    ~TSnapshotStore();
    TSnapshotStore(const TSnapshotStore &) = delete;
    TSnapshotStore &operator=(const TSnapshotStore &) = delete;

    // Opens the database, creating or bringing it up to the schema. False, with a
    // message, when it is damaged, locked or made by a newer program: it is then
    // left as it was.
    bool open();
    bool isOpen() const { return m_open; }
    QString lastError() const { return m_error; }
    QString path() const { return m_path; }

    // Stores a snapshot in one transaction; its id, or 0 with a message.
    qint64 add(const Snapshot &snapshot);
    // Keeps, with a stored snapshot, the values a save wrote that the meter did not take.
    bool addRefused(qint64 id, CalibrationArea area, const QVector<quint16> &values);
    // Newest first. On a damaged store or snapshot: nothing, and lastError() says what
    // and where (it is empty after a good read).
    QList<Snapshot> list();
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

    // Brings a database to one version only: how tests make an older one.
    static bool migrateTo(const QString &path, int version, QString *error);

private:
    bool exec(const QString &sql);
    bool migrate(int to);
    bool isOurs(int version, int tables);
    bool fail(const QString &what, const QString &detail);
    bool switchToWal();
    bool readAreas(const QString &table, Snapshot &snapshot);

    QString m_path;
    QString m_connection;
    QString m_error;
    bool m_open = false;
};
