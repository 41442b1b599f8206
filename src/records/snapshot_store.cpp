#include "records/snapshot_store.h"
#include "records/snapshot_check.h"
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>
#include <iterator>

namespace {

// Step n brings a database from version n - 1 to n.
const char *const MigrationSteps[] = {
    // 1: snapshots and their registers.
    "CREATE TABLE snapshot(id INTEGER PRIMARY KEY AUTOINCREMENT, taken_utc TEXT NOT NULL, port TEXT NOT NULL,"
    " reason TEXT NOT NULL, note TEXT NOT NULL DEFAULT '', program_version TEXT NOT NULL);"
    "CREATE TABLE area(snapshot_id INTEGER NOT NULL REFERENCES snapshot(id) ON DELETE CASCADE,"
    " area TEXT NOT NULL, registers BLOB NOT NULL, PRIMARY KEY(snapshot_id, area));",
    // 2: what a save wrote that the meter did not take.
    "CREATE TABLE refused(snapshot_id INTEGER NOT NULL REFERENCES snapshot(id) ON DELETE CASCADE,"
    " area TEXT NOT NULL, registers BLOB NOT NULL, PRIMARY KEY(snapshot_id, area));",
    // 3: which meter a snapshot came from, and every restore from its start to its end.
    "ALTER TABLE snapshot ADD COLUMN meter_serial TEXT NOT NULL DEFAULT '';"
    "CREATE TABLE restore_journal(id INTEGER PRIMARY KEY AUTOINCREMENT, started_utc TEXT NOT NULL,"
    " target_id INTEGER NOT NULL REFERENCES snapshot(id), way_back_id INTEGER NOT NULL REFERENCES snapshot(id),"
    " areas TEXT NOT NULL, finished_utc TEXT, restored INTEGER NOT NULL DEFAULT 0, outcome TEXT NOT NULL DEFAULT '');",
    // 4: calibration runs and their points. Floats of the meter are kept as their
    // bits (big-endian), so they come back exactly; absent ones are NULL.
    "CREATE TABLE run(id INTEGER PRIMARY KEY AUTOINCREMENT, uuid TEXT NOT NULL UNIQUE, meter_serial TEXT NOT NULL,"
    " operator TEXT NOT NULL, workstation TEXT NOT NULL, program_version TEXT NOT NULL, rig_kind TEXT NOT NULL,"
    " rig_settings TEXT NOT NULL, plan TEXT NOT NULL, started_utc TEXT NOT NULL, ended_utc TEXT, end_key TEXT NOT NULL,"
    " end_reason TEXT NOT NULL DEFAULT '', q_max REAL NOT NULL, tolerance_percent REAL NOT NULL,"
    " coefficients_before BLOB, coefficients_after BLOB, written_table BLOB,"
    " snapshot_before INTEGER NOT NULL DEFAULT 0, snapshot_after INTEGER NOT NULL DEFAULT 0,"
    " as_found_fit INTEGER, as_left_fit INTEGER, as_found_max_error REAL, as_left_max_error REAL);"
    "CREATE INDEX run_meter_serial ON run(meter_serial);"
    "CREATE TABLE run_point(run_id INTEGER NOT NULL REFERENCES run(id) ON DELETE CASCADE, seq INTEGER NOT NULL,"
    " phase TEXT NOT NULL, point_index INTEGER NOT NULL, target_percent REAL NOT NULL, target_flow REAL NOT NULL,"
    " reference_flow REAL NOT NULL, meter_flow REAL NOT NULL, delta_t REAL NOT NULL, averaging_seconds REAL NOT NULL,"
    " reference_samples INTEGER NOT NULL, absolute_error REAL NOT NULL, relative_error REAL, reduced_error REAL,"
    " fits INTEGER, settle_seconds REAL NOT NULL, meter_sigma REAL NOT NULL, meter_drift REAL NOT NULL,"
    " reference_sigma REAL NOT NULL, reference_drift REAL NOT NULL, attempts INTEGER NOT NULL, settled INTEGER NOT NULL,"
    " started_utc TEXT, taken_utc TEXT, tube_temperature REAL, PRIMARY KEY(run_id, seq));",
};
static_assert(std::size(MigrationSteps) == TSnapshotStore::SchemaVersion, "one step per schema version");

// What each version's tables must answer to; a file that does not is not our store.
const struct
{
    int since;
    const char *query;
} SchemaProbes[] = {
    {1, "SELECT id, taken_utc, port, reason, note, program_version FROM snapshot LIMIT 0"},
    {1, "SELECT snapshot_id, area, registers FROM area LIMIT 0"},
    {2, "SELECT snapshot_id, area, registers FROM refused LIMIT 0"},
    {3, "SELECT meter_serial FROM snapshot LIMIT 0"},
    {3, "SELECT id, started_utc, target_id, way_back_id, areas, finished_utc, restored, outcome FROM restore_journal LIMIT 0"},
    {4, "SELECT id, uuid, meter_serial, operator, workstation, program_version, rig_kind, rig_settings, plan,"
        " started_utc, ended_utc, end_key, end_reason, q_max, tolerance_percent, coefficients_before,"
        " coefficients_after, written_table, snapshot_before, snapshot_after, as_found_fit, as_left_fit,"
        " as_found_max_error, as_left_max_error FROM run LIMIT 0"},
    {4, "SELECT run_id, seq, phase, point_index, target_percent, target_flow, reference_flow, meter_flow, delta_t,"
        " averaging_seconds, reference_samples, absolute_error, relative_error, reduced_error, fits, settle_seconds,"
        " meter_sigma, meter_drift, reference_sigma, reference_drift, attempts, settled, started_utc, taken_utc,"
        " tube_temperature FROM run_point LIMIT 0"},
};

// The engineer's words for what SQLite reports: a locked or read-only store is not
// a damaged one.
bool isBusy(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xFF;
    return code == 5 || code == 6; // SQLITE_BUSY, SQLITE_LOCKED
}

QString problemOf(const QSqlError &error, const QString &otherwise = QStringLiteral("повреждена или это не база SQLite"))
{
    switch (error.nativeErrorCode().toInt() & 0xFF) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return QStringLiteral("занята другой программой");
    case 3: // SQLITE_PERM
    case 8: // SQLITE_READONLY
        return QStringLiteral("доступна только для чтения");
    case 14: // SQLITE_CANTOPEN
        return QStringLiteral("не открывается: нет доступа к файлу или его папке");
    case 13: // SQLITE_FULL
        return QStringLiteral("не записана: диск заполнен");
    case 10: // SQLITE_IOERR
        return QStringLiteral("не читается или не пишется: ошибка ввода-вывода");
    default:
        return otherwise;
    }
}

QByteArray toBlob(const QVector<quint16> &values)
{
    QByteArray blob;
    blob.reserve(2 * values.size());
    for (quint16 v : values)
        blob.append(char(v >> 8)).append(char(v & 0xFF));
    return blob;
}

QVector<quint16> fromBlob(const QByteArray &blob)
{
    QVector<quint16> values;
    for (qsizetype i = 0; i + 1 < blob.size(); i += 2)
        values.append(quint16(quint8(blob[i]) << 8 | quint8(blob[i + 1])));
    // An odd byte is damage; one register too many makes the area's count say so.
    if (blob.size() % 2 != 0)
        values.append(0);
    return values;
}

} // namespace

QString TSnapshotStore::DefaultPath()
{
    const QString overridden = qEnvironmentVariable("KESTRO_SNAPSHOT_DB");
    if (!overridden.isEmpty())
        return overridden;
    // The same place for the program and kestroctl, whatever their application names.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/kestrolink/snapshots.sqlite");
}

TSnapshotStore::TSnapshotStore(const QString &path)
    : m_path(path), m_connection(QStringLiteral("snapshots-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

TSnapshotStore::~TSnapshotStore()
{
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

bool TSnapshotStore::fail(const QString &what, const QString &detail)
{
    m_error = detail.isEmpty() ? what : what + QStringLiteral(": ") + detail;
    return false;
}

bool TSnapshotStore::exec(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (q.exec(sql))
        return true;
    return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(q.lastError(), QStringLiteral("не приняла запрос"))),
                q.lastError().text());
}

bool TSnapshotStore::open()
{
    m_open = false;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSqlDatabase db = QSqlDatabase::contains(m_connection) ? QSqlDatabase::database(m_connection, false)
                                                           : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!db.isValid())
        return fail(QStringLiteral("Нет драйвера SQLite для Qt (пакет libqt6sql6-sqlite)"), QString());
    db.setDatabaseName(m_path);
    // A second program on the same file waits its turn instead of failing at once;
    // its transactions last milliseconds, and the window must not hang long on it.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    if (!db.open())
        return fail(QStringLiteral("Не удалось открыть базу снимков %1").arg(m_path), db.lastError().text());
    QSqlQuery q(db);
    // The version and the tables in one statement, so a store another program is
    // creating right now is seen either before or after, never half made.
    if (!q.exec(QStringLiteral("SELECT (SELECT user_version FROM pragma_user_version),"
                               " (SELECT count(*) FROM sqlite_master)"))
        || !q.next())
        return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(q.lastError())), q.lastError().text());
    const int version = q.value(0).toInt();
    const int tables = q.value(1).toInt();
    q.finish(); // no statement may stay open: the journal mode cannot change inside one
    if (version > SchemaVersion)
        return fail(QStringLiteral("База снимков %1 создана более новой версией программы (схема %2, известна %3); "
                                   "она не изменена")
                        .arg(m_path)
                        .arg(version)
                        .arg(SchemaVersion),
                    QString());
    // Nothing is written before the file is known to be ours.
    if (!isOurs(version, tables))
        return false;
    if (!q.exec(QStringLiteral("PRAGMA journal_mode")) || !q.next())
        return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(q.lastError())), q.lastError().text());
    const bool wal = q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    q.finish();
    // A store already in WAL is not written to here, so a read-only one can still be read.
    if ((!wal && !switchToWal()) || !exec(QStringLiteral("PRAGMA foreign_keys=ON")))
        return false;
    if (version < SchemaVersion && !migrate(SchemaVersion))
        return false;
    m_open = true;
    return true;
}

bool TSnapshotStore::switchToWal()
{
    // The switch needs the file to itself, and SQLite does not wait for a second
    // program that is opening the same new store at that moment: it holds the file
    // for milliseconds, so try again for a while.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QSqlQuery q(QSqlDatabase::database(m_connection, false));
        if (q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
            return true;
        const QSqlError error = q.lastError();
        if (!isBusy(error) || waited.elapsed() > 2000)
            return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(error)), error.text());
        QThread::msleep(10);
    }
}

bool TSnapshotStore::isOurs(int version, int tables)
{
    if (version == 0 && tables > 0)
        return fail(QStringLiteral("%1 — не база снимков KestroLink (в ней чужие таблицы); она не изменена").arg(m_path),
                    QString());
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    for (const auto &probe : SchemaProbes) {
        if (probe.since <= version && !q.exec(QString::fromLatin1(probe.query)))
            return fail(QStringLiteral("База снимков %1 не той схемы, что указана в ней (%2); она не изменена")
                            .arg(m_path)
                            .arg(version),
                        q.lastError().text());
    }
    return true;
}

bool TSnapshotStore::migrate(int to)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    for (;;) {
        // Each step and its version number together, or neither. The write lock is
        // taken first and the version read under it: another program creating the
        // same store at the same moment has then either done the step or not begun.
        if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(q.lastError())), q.lastError().text());
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
            const QSqlError error = q.lastError();
            exec(QStringLiteral("ROLLBACK"));
            return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(error)), error.text());
        }
        const int version = q.value(0).toInt();
        q.finish();
        if (version >= to)
            return exec(QStringLiteral("COMMIT"));
        bool ok = true;
        for (const QString &statement : QString::fromLatin1(MigrationSteps[version]).split(QLatin1Char(';'), Qt::SkipEmptyParts))
            ok = ok && exec(statement);
        ok = ok && exec(QStringLiteral("PRAGMA user_version=%1").arg(version + 1)) && exec(QStringLiteral("COMMIT"));
        if (!ok) {
            const QString why = m_error;
            exec(QStringLiteral("ROLLBACK"));
            return fail(QStringLiteral("Не удалось обновить базу снимков %1 до схемы %2").arg(m_path).arg(version + 1), why);
        }
    }
}

bool TSnapshotStore::migrateTo(const QString &path, int version, QString *error)
{
    TSnapshotStore store(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), store.m_connection);
    db.setDatabaseName(path);
    const bool ok = db.open() && store.migrate(version);
    if (!ok && error)
        *error = store.m_error.isEmpty() ? db.lastError().text() : store.m_error;
    db.close();
    return ok;
}

qint64 TSnapshotStore::add(const Snapshot &s)
{
    QString why;
    if (!SnapshotCheck::Shape(s, &why))
        return fail(QStringLiteral("Снимок не сохранен в %1: %2").arg(m_path, why), QString()), 0;
    if (!m_open && !open())
        return 0;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(db.lastError(), QStringLiteral("занята"))),
                    db.lastError().text()),
               0;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO snapshot(taken_utc, port, reason, note, program_version, meter_serial)"
                             " VALUES(?, ?, ?, ?, ?, ?)"));
    q.addBindValue(s.takenUtc.toUTC().toString(Qt::ISODateWithMs));
    // A null text would bind as SQL NULL; these columns hold an empty one.
    const auto text = [](const QString &t) { return t.isNull() ? QStringLiteral("") : t; };
    q.addBindValue(text(s.port));
    q.addBindValue(ReasonKey(s.reason));
    q.addBindValue(text(s.note));
    q.addBindValue(text(s.programVersion));
    q.addBindValue(text(s.meterSerial));
    bool ok = q.exec();
    QSqlError error = q.lastError();
    const qint64 id = q.lastInsertId().toLongLong();
    for (auto it = s.areas.cbegin(); ok && it != s.areas.cend(); ++it) {
        QSqlQuery a(db);
        a.prepare(QStringLiteral("INSERT INTO area(snapshot_id, area, registers) VALUES(?, ?, ?)"));
        a.addBindValue(id);
        a.addBindValue(QString::fromLatin1(AreaSpecOf(it.key()).key));
        a.addBindValue(toBlob(it.value()));
        ok = a.exec();
        error = a.lastError();
    }
    if (!ok || !db.commit()) {
        if (!error.isValid())
            error = db.lastError();
        db.rollback();
        fail(QStringLiteral("Снимок не сохранен в %1: база %2").arg(m_path, problemOf(error, QStringLiteral("не приняла запись"))),
             error.text());
        return 0;
    }
    return id;
}

bool TSnapshotStore::addRefused(qint64 id, CalibrationArea area, const QVector<quint16> &values)
{
    if (!m_open && !open())
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO refused(snapshot_id, area, registers) VALUES(?, ?, ?)"));
    q.addBindValue(id);
    q.addBindValue(QString::fromLatin1(AreaSpecOf(area).key));
    q.addBindValue(toBlob(values));
    return q.exec()
           || fail(QStringLiteral("Снимок %1 не дополнен: база %2").arg(id).arg(problemOf(q.lastError(), QStringLiteral("не приняла запись"))),
                   q.lastError().text());
}

bool TSnapshotStore::readAreas(const QString &table, Snapshot &s)
{
    QMap<CalibrationArea, QVector<quint16>> &areas = table == QLatin1String("area") ? s.areas : s.refused;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT area, registers FROM %1 WHERE snapshot_id = ?").arg(table));
    q.addBindValue(s.id);
    if (!q.exec())
        return fail(QStringLiteral("Снимок №%1 не прочитан из %2: база %3").arg(s.id).arg(m_path, problemOf(q.lastError())),
                    q.lastError().text());
    while (q.next()) {
        const AreaSpec *desc = AreaSpecByKey(q.value(0).toString());
        if (!desc)
            return fail(QStringLiteral("Снимок №%1 в %2 поврежден: неизвестная область «%3»")
                            .arg(s.id)
                            .arg(m_path, q.value(0).toString().left(40)),
                        QString());
        areas.insert(desc->area, fromBlob(q.value(1).toByteArray()));
    }
    return true;
}

QList<Snapshot> TSnapshotStore::list()
{
    m_error.clear();
    if (!m_open && !open())
        return {};
    QList<Snapshot> snapshots;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT id, taken_utc, port, reason, note, program_version, meter_serial FROM snapshot ORDER BY id DESC"))) {
        fail(QStringLiteral("Снимки не прочитаны из %1: база %2").arg(m_path, problemOf(q.lastError())), q.lastError().text());
        return {};
    }
    while (q.next()) {
        Snapshot s;
        s.id = q.value(0).toLongLong();
        s.takenUtc = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
        s.takenUtc.setTimeSpec(Qt::UTC);
        s.port = q.value(2).toString();
        const auto reason = ReasonFromKey(q.value(3).toString());
        if (!reason) {
            fail(QStringLiteral("Снимок №%1 в %2 поврежден: неизвестная причина «%3»")
                     .arg(s.id)
                     .arg(m_path, q.value(3).toString().left(40)),
                 QString());
            return {};
        }
        s.reason = *reason;
        s.note = q.value(4).toString();
        s.programVersion = q.value(5).toString();
        s.meterSerial = q.value(6).toString();
        snapshots.append(s);
    }
    if (q.lastError().isValid()) {
        fail(QStringLiteral("Снимки не прочитаны из %1: база %2").arg(m_path, problemOf(q.lastError())), q.lastError().text());
        return {};
    }
    for (Snapshot &s : snapshots) {
        QString why;
        if (!readAreas(QStringLiteral("area"), s) || !readAreas(QStringLiteral("refused"), s))
            return {};
        if (!SnapshotCheck::Shape(s, &why)) {
            fail(QStringLiteral("Снимок №%1 в %2 поврежден: %3").arg(s.id).arg(m_path, why), QString());
            return {};
        }
    }
    return snapshots;
}

std::optional<Snapshot> TSnapshotStore::get(qint64 id)
{
    for (const Snapshot &s : list()) {
        if (s.id == id)
            return s;
    }
    return std::nullopt;
}
