#include "records/record_store.h"
#include "records/snapshot_check.h"
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUuid>
#include <iterator>

namespace {

// Step n brings a database from version n - 1 to n.
const char *const MigrationSteps[] = {
    // 1: snapshots and their registers.
    "CREATE TABLE snapshot(id {key}, taken_utc TEXT NOT NULL, port TEXT NOT NULL,"
    " reason TEXT NOT NULL, note TEXT NOT NULL DEFAULT '', program_version TEXT NOT NULL);"
    "CREATE TABLE area(snapshot_id {id} NOT NULL REFERENCES snapshot(id) ON DELETE CASCADE,"
    " area TEXT NOT NULL, registers {blob} NOT NULL, PRIMARY KEY(snapshot_id, area));",
    // 2: what a save wrote that the meter did not take.
    "CREATE TABLE refused(snapshot_id {id} NOT NULL REFERENCES snapshot(id) ON DELETE CASCADE,"
    " area TEXT NOT NULL, registers {blob} NOT NULL, PRIMARY KEY(snapshot_id, area));",
    // 3: which meter a snapshot came from, and every restore from its start to its end.
    "ALTER TABLE snapshot ADD COLUMN meter_serial TEXT NOT NULL DEFAULT '';"
    "CREATE TABLE restore_journal(id {key}, started_utc TEXT NOT NULL,"
    " target_id {id} NOT NULL REFERENCES snapshot(id), way_back_id {id} NOT NULL REFERENCES snapshot(id),"
    " areas TEXT NOT NULL, finished_utc TEXT, restored INTEGER NOT NULL DEFAULT 0, outcome TEXT NOT NULL DEFAULT '');",
    // 4: calibration runs and their points. Floats of the meter are kept as their
    // bits (big-endian), so they come back exactly; absent ones are NULL.
    "CREATE TABLE run(id {key}, uuid TEXT NOT NULL UNIQUE, meter_serial TEXT NOT NULL,"
    " operator TEXT NOT NULL, workstation TEXT NOT NULL, program_version TEXT NOT NULL, rig_kind TEXT NOT NULL,"
    " rig_settings TEXT NOT NULL, plan TEXT NOT NULL, started_utc TEXT NOT NULL, ended_utc TEXT, end_key TEXT NOT NULL,"
    " end_reason TEXT NOT NULL DEFAULT '', q_max {real} NOT NULL, tolerance_percent {real} NOT NULL,"
    " coefficients_before {blob}, coefficients_after {blob}, written_table {blob},"
    " snapshot_before {id} NOT NULL DEFAULT 0, snapshot_after {id} NOT NULL DEFAULT 0,"
    " as_found_fit INTEGER, as_left_fit INTEGER, as_found_max_error {real}, as_left_max_error {real});"
    "CREATE INDEX run_meter_serial ON run(meter_serial);"
    "CREATE TABLE run_point(run_id {id} NOT NULL REFERENCES run(id) ON DELETE CASCADE, seq INTEGER NOT NULL,"
    " phase TEXT NOT NULL, point_index INTEGER NOT NULL, target_percent {real} NOT NULL, target_flow {real} NOT NULL,"
    " reference_flow {real} NOT NULL, meter_flow {real} NOT NULL, delta_t {real} NOT NULL, averaging_seconds {real} NOT NULL,"
    " reference_samples INTEGER NOT NULL, absolute_error {real} NOT NULL, relative_error {real}, reduced_error {real},"
    " fits INTEGER, settle_seconds {real} NOT NULL, meter_sigma {real} NOT NULL, meter_drift {real} NOT NULL,"
    " reference_sigma {real} NOT NULL, reference_drift {real} NOT NULL, attempts INTEGER NOT NULL, settled INTEGER NOT NULL,"
    " started_utc TEXT, taken_utc TEXT, tube_temperature {real}, PRIMARY KEY(run_id, seq));",
    // 5: records that travel to a plant: a snapshot's uuid (made for those already
    // kept) and workstation; the revision of each record and what a plant has of it;
    // every meter by serial.
    "ALTER TABLE snapshot ADD COLUMN uuid TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE snapshot ADD COLUMN workstation TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE snapshot ADD COLUMN revision INTEGER NOT NULL DEFAULT 1;"
    "UPDATE snapshot SET uuid = {uuid};"
    "CREATE UNIQUE INDEX snapshot_uuid ON snapshot(uuid);"
    "CREATE INDEX snapshot_meter_serial ON snapshot(meter_serial);"
    "ALTER TABLE run ADD COLUMN revision INTEGER NOT NULL DEFAULT 1;"
    "CREATE TABLE uploaded(kind TEXT NOT NULL, uuid TEXT NOT NULL, revision INTEGER NOT NULL,"
    " uploaded_utc TEXT NOT NULL, PRIMARY KEY(kind, uuid));"
    "CREATE VIEW meters AS SELECT m.serial AS serial, MIN(m.seen_utc) AS first_seen_utc,"
    " (SELECT r.started_utc FROM run r WHERE r.meter_serial = m.serial ORDER BY r.started_utc DESC, r.id DESC LIMIT 1)"
    " AS last_run_utc,"
    " (SELECT r.end_key FROM run r WHERE r.meter_serial = m.serial ORDER BY r.started_utc DESC, r.id DESC LIMIT 1)"
    " AS last_run_end,"
    " (SELECT r.as_left_fit FROM run r WHERE r.meter_serial = m.serial ORDER BY r.started_utc DESC, r.id DESC LIMIT 1)"
    " AS last_as_left_fit,"
    " COALESCE((SELECT r.workstation FROM run r WHERE r.meter_serial = m.serial"
    " ORDER BY r.started_utc DESC, r.id DESC LIMIT 1),"
    " (SELECT s.workstation FROM snapshot s WHERE s.meter_serial = m.serial ORDER BY s.taken_utc DESC, s.id DESC LIMIT 1))"
    " AS workstation"
    " FROM (SELECT meter_serial AS serial, taken_utc AS seen_utc FROM snapshot WHERE meter_serial <> ''"
    " UNION ALL SELECT meter_serial, started_utc FROM run WHERE meter_serial <> '') m GROUP BY m.serial;",
    // 6: a run keeps the serial its port reports beside the one it was given, and how
    // far its table write went; a record the plant refused waits no more, with why.
    // A meter is known by its port's serial wherever the run saw one.
    "ALTER TABLE run ADD COLUMN port_serial TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE run ADD COLUMN table_write TEXT NOT NULL DEFAULT '';"
    "CREATE TABLE upload_refused(kind TEXT NOT NULL, uuid TEXT NOT NULL, revision INTEGER NOT NULL,"
    " reason TEXT NOT NULL, refused_utc TEXT NOT NULL, PRIMARY KEY(kind, uuid));"
    "DROP VIEW meters;"
    "CREATE VIEW meters AS SELECT m.serial AS serial, MIN(m.seen_utc) AS first_seen_utc,"
    " (SELECT r.started_utc FROM run r WHERE COALESCE(NULLIF(r.port_serial, ''), r.meter_serial) = m.serial"
    " ORDER BY r.started_utc DESC, r.id DESC LIMIT 1) AS last_run_utc,"
    " (SELECT r.end_key FROM run r WHERE COALESCE(NULLIF(r.port_serial, ''), r.meter_serial) = m.serial"
    " ORDER BY r.started_utc DESC, r.id DESC LIMIT 1) AS last_run_end,"
    " (SELECT r.as_left_fit FROM run r WHERE COALESCE(NULLIF(r.port_serial, ''), r.meter_serial) = m.serial"
    " ORDER BY r.started_utc DESC, r.id DESC LIMIT 1) AS last_as_left_fit,"
    " COALESCE((SELECT r.workstation FROM run r WHERE COALESCE(NULLIF(r.port_serial, ''), r.meter_serial) = m.serial"
    " ORDER BY r.started_utc DESC, r.id DESC LIMIT 1),"
    " (SELECT s.workstation FROM snapshot s WHERE s.meter_serial = m.serial ORDER BY s.taken_utc DESC, s.id DESC LIMIT 1))"
    " AS workstation"
    " FROM (SELECT meter_serial AS serial, taken_utc AS seen_utc FROM snapshot WHERE meter_serial <> ''"
    " UNION ALL SELECT COALESCE(NULLIF(port_serial, ''), meter_serial), started_utc FROM run"
    " WHERE COALESCE(NULLIF(port_serial, ''), meter_serial) <> '') m GROUP BY m.serial;",
    // 7: a run and each point keep what their columns do not hold as one JSON object
    // (the temperature phases, the runs of a point, its uncertainty, the decision rule);
    // a completed run's certificate is kept as it was issued, PDF and DCC.
    "ALTER TABLE run ADD COLUMN details TEXT NOT NULL DEFAULT '{}';"
    "ALTER TABLE run_point ADD COLUMN details TEXT NOT NULL DEFAULT '{}';"
    "CREATE TABLE certificate(uuid TEXT NOT NULL PRIMARY KEY, run_uuid TEXT NOT NULL, meter_serial TEXT NOT NULL,"
    " number TEXT NOT NULL, issued_utc TEXT NOT NULL, workstation TEXT NOT NULL, revision INTEGER NOT NULL DEFAULT 1,"
    " pdf {blob}, dcc {blob});",
};
static_assert(std::size(MigrationSteps) == TRecordStore::SchemaVersion, "one step per schema version");

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
    {5, "SELECT uuid, workstation, revision FROM snapshot LIMIT 0"},
    {5, "SELECT revision FROM run LIMIT 0"},
    {5, "SELECT kind, uuid, revision, uploaded_utc FROM uploaded LIMIT 0"},
    {5, "SELECT serial, first_seen_utc, last_run_utc, last_run_end, last_as_left_fit, workstation FROM meters LIMIT 0"},
    {6, "SELECT port_serial, table_write FROM run LIMIT 0"},
    {6, "SELECT kind, uuid, revision, reason, refused_utc FROM upload_refused LIMIT 0"},
    {7, "SELECT details FROM run LIMIT 0"},
    {7, "SELECT details FROM run_point LIMIT 0"},
    {7, "SELECT uuid, run_uuid, meter_serial, number, issued_utc, workstation, revision, pdf, dcc FROM certificate LIMIT 0"},
};

// The engineer's words for what the engine reports: a locked or read-only store is not
// a damaged one, a server not reached is not either.
QString problemOf(const QSqlError &error, const QString &otherwise = QStringLiteral("повреждена или это не база SQLite"),
                  const StoreLocation *server = nullptr)
{
    if (server) {
        const QString problem = PostgresConnectionProblem(error, *server);
        return problem.isEmpty() ? otherwise : QStringLiteral("недоступна: ") + problem;
    }
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

QString TRecordStore::DefaultPath()
{
    const QString overridden = qEnvironmentVariable("KESTRO_SNAPSHOT_DB");
    if (!overridden.isEmpty())
        return overridden;
    // The same place for the program and kestroctl, whatever their application names.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/kestrolink/snapshots.sqlite");
}

TRecordStore::TRecordStore(const QString &location)
    : m_where(StoreLocation::Parse(location)), m_path(m_where.display), m_connection(QStringLiteral("snapshots-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

TRecordStore::~TRecordStore()
{
    close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool TRecordStore::isServer() const
{
    return m_where.dialect && m_where.dialect->isPostgres();
}

void TRecordStore::close()
{
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::database(m_connection, false).close();
    m_open = false;
}

bool TRecordStore::fail(const QString &what, const QString &detail)
{
    m_error = detail.isEmpty() ? what : what + QStringLiteral(": ") + detail;
    return false;
}

bool TRecordStore::exec(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (q.exec(sql))
        return true;
    return fail(QStringLiteral("База снимков %1 %2")
                    .arg(m_path, problemOf(q.lastError(), QStringLiteral("не приняла запрос"), isServer() ? &m_where : nullptr)),
                q.lastError().text());
}

bool TRecordStore::open()
{
    m_open = false;
    if (!m_where.dialect)
        return fail(QStringLiteral("Хранилище записей не указано верно"), m_where.error);
    const StoreDialect &dialect = *m_where.dialect;
    const StoreLocation *server = isServer() ? &m_where : nullptr;
    if (!server)
        QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSqlDatabase db = QSqlDatabase::contains(m_connection) ? QSqlDatabase::database(m_connection, false)
                                                           : QSqlDatabase::addDatabase(QLatin1String(dialect.driver), m_connection);
    if (!db.isValid())
        return fail(QStringLiteral("Нет драйвера %1 для Qt (пакет %2)").arg(QLatin1String(dialect.driver), QLatin1String(dialect.driverPackage)),
                    QString());
    m_where.apply(db);
    if (!db.open()) {
        if (server) {
            const QString problem = PostgresConnectionProblem(db.lastError(), m_where);
            return fail(problem.isEmpty() ? QStringLiteral("Не удалось открыть хранилище записей %1").arg(m_path) : problem,
                        db.lastError().text().trimmed());
        }
        return fail(QStringLiteral("Не удалось открыть базу снимков %1").arg(m_path), db.lastError().text());
    }
    for (const QString &statement : QString::fromLatin1(dialect.onOpen).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!exec(statement))
            return false;
    }
    QSqlQuery q(db);
    int version = 0, tables = 0;
    if (!dialect.probe(q, version, tables))
        return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(q.lastError(), QStringLiteral("повреждена или это не база SQLite"), server)),
                    q.lastError().text());
    q.finish();
    if (version > SchemaVersion)
        return fail(QStringLiteral("База снимков %1 создана более новой версией программы (схема %2, известна %3); "
                                   "она не изменена")
                        .arg(m_path)
                        .arg(version)
                        .arg(SchemaVersion),
                    QString());
    // Nothing is written before the store is known to be ours.
    if (!isOurs(version, tables))
        return false;
    if (dialect.wal) {
        if (!q.exec(QStringLiteral("PRAGMA journal_mode")) || !q.next())
            return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(q.lastError())), q.lastError().text());
        const bool wal = q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
        q.finish();
        // A store already in WAL is not written to here, so a read-only one can still be read.
        if (!wal && !switchToWal())
            return false;
    }
    if (version < SchemaVersion && !migrate(SchemaVersion))
        return false;
    m_open = true;
    return true;
}

bool TRecordStore::switchToWal()
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
        if (!m_where.dialect->busy(error) || waited.elapsed() > 2000)
            return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(error)), error.text());
        QThread::msleep(10);
    }
}

bool TRecordStore::isOurs(int version, int tables)
{
    // A server's schema made by hand beforehand holds only the version table.
    if (version == 0 && tables > (isServer() ? 1 : 0))
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

bool TRecordStore::migrate(int to)
{
    const StoreDialect &dialect = *m_where.dialect;
    const StoreLocation *server = isServer() ? &m_where : nullptr;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    const auto statements = [](const QString &text) { return text.split(QLatin1Char(';'), Qt::SkipEmptyParts); };
    for (;;) {
        // Each step and its version number together, or neither. The write lock is
        // taken first and the version read under it: another program creating the
        // same store at the same moment has then either done the step or not begun.
        for (const QString &statement : statements(QLatin1String(dialect.beginMigration))) {
            if (!q.exec(statement)) {
                const QSqlError error = q.lastError();
                exec(QStringLiteral("ROLLBACK"));
                return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(error, QStringLiteral("не приняла запрос"), server)),
                            error.text());
            }
        }
        if (!q.exec(QLatin1String(dialect.readVersion)) || !q.next()) {
            const QSqlError error = q.lastError();
            exec(QStringLiteral("ROLLBACK"));
            return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(error, QStringLiteral("не приняла запрос"), server)),
                        error.text());
        }
        const int version = q.value(0).toInt();
        q.finish();
        if (version >= to)
            return exec(QStringLiteral("COMMIT"));
        bool ok = true;
        for (const QString &statement : statements(dialect.sql(MigrationSteps[version])))
            ok = ok && exec(statement);
        for (const QString &statement : statements(QString::fromLatin1(dialect.writeVersion).arg(version + 1)))
            ok = ok && exec(statement);
        ok = ok && exec(QStringLiteral("COMMIT"));
        if (!ok) {
            const QString why = m_error;
            exec(QStringLiteral("ROLLBACK"));
            return fail(QStringLiteral("Не удалось обновить базу снимков %1 до схемы %2").arg(m_path).arg(version + 1), why);
        }
    }
}

bool TRecordStore::migrateTo(const QString &location, int version, QString *error)
{
    TRecordStore store(location);
    const auto failed = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!store.m_where.dialect)
        return failed(store.m_where.error);
    if (!store.isServer())
        QDir().mkpath(QFileInfo(store.m_path).absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(store.m_where.dialect->driver), store.m_connection);
    store.m_where.apply(db);
    if (!db.open())
        return failed(db.lastError().text());
    if (*store.m_where.dialect->onOpen)
        store.exec(QLatin1String(store.m_where.dialect->onOpen));
    const bool ok = store.migrate(version);
    db.close();
    return ok || failed(store.m_error);
}

namespace {

// A null text would bind as SQL NULL; these columns hold an empty one.
QString text(const QString &t)
{
    return t.isNull() ? QStringLiteral("") : t;
}

// The snapshot's row and registers. On a plant the row may be there already (an
// upload tried again): it is then left as it is, its missing areas added, and the
// refused values, which may come later, put.
bool writeSnapshot(QSqlDatabase &db, const Snapshot &s, qint64 revision, bool again, qint64 &id, QSqlError &error)
{
    QSqlQuery q(db);
    // A server prepares under the table's lock: a prepare that timed out is the reason.
    if (!q.prepare(QStringLiteral("INSERT INTO snapshot(uuid, workstation, revision, taken_utc, port, reason, note, program_version,"
                                  " meter_serial) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)%1")
                       .arg(again ? QStringLiteral(" ON CONFLICT (uuid) DO UPDATE SET revision = excluded.revision"
                                                   " WHERE snapshot.revision < excluded.revision")
                                  : QStringLiteral(" RETURNING id")))) {
        error = q.lastError();
        return false;
    }
    q.addBindValue(s.uuid);
    q.addBindValue(text(s.workstation));
    q.addBindValue(revision);
    q.addBindValue(s.takenUtc.toUTC().toString(Qt::ISODateWithMs));
    q.addBindValue(text(s.port));
    q.addBindValue(ReasonKey(s.reason));
    q.addBindValue(text(s.note));
    q.addBindValue(text(s.programVersion));
    q.addBindValue(text(s.meterSerial));
    if (!q.exec()) {
        error = q.lastError();
        return false;
    }
    if (again) {
        q.prepare(QStringLiteral("SELECT id FROM snapshot WHERE uuid = ?"));
        q.addBindValue(s.uuid);
        if (!q.exec()) {
            error = q.lastError();
            return false;
        }
    }
    if (!q.next()) {
        error = q.lastError();
        return false;
    }
    id = q.value(0).toLongLong();
    q.finish();
    const auto putAreas = [&](const QMap<CalibrationArea, QVector<quint16>> &areas, const char *table, const char *onConflict) {
        for (auto it = areas.cbegin(); it != areas.cend(); ++it) {
            QSqlQuery a(db);
            if (!a.prepare(QStringLiteral("INSERT INTO %1(snapshot_id, area, registers) VALUES(?, ?, ?)%2")
                               .arg(QLatin1String(table), again ? QLatin1String(onConflict) : QLatin1String()))) {
                error = a.lastError();
                return false;
            }
            a.addBindValue(id);
            a.addBindValue(QString::fromLatin1(AreaSpecOf(it.key()).key));
            a.addBindValue(toBlob(it.value()));
            if (!a.exec()) {
                error = a.lastError();
                return false;
            }
        }
        return true;
    };
    return putAreas(s.areas, "area", " ON CONFLICT (snapshot_id, area) DO NOTHING")
           && putAreas(s.refused, "refused", " ON CONFLICT (snapshot_id, area) DO UPDATE SET registers = excluded.registers");
}

} // namespace

qint64 TRecordStore::add(const Snapshot &snapshot)
{
    QString why;
    if (!SnapshotCheck::Shape(snapshot, &why))
        return fail(QStringLiteral("Снимок не сохранен в %1: %2").arg(m_path, why), QString()), 0;
    if (!m_open && !open())
        return 0;
    Snapshot s = snapshot;
    if (s.uuid.isEmpty())
        s.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (s.workstation.isEmpty())
        s.workstation = QSysInfo::machineHostName();
    // Refused values are added to a stored snapshot by addRefused, never with it.
    s.refused.clear();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(db.lastError(), QStringLiteral("занята"))),
                    db.lastError().text()),
               0;
    qint64 id = 0;
    QSqlError error;
    if (!writeSnapshot(db, s, 1, false, id, error) || !db.commit()) {
        if (!error.isValid())
            error = db.lastError();
        db.rollback();
        fail(QStringLiteral("Снимок не сохранен в %1: база %2").arg(m_path, problemOf(error, QStringLiteral("не приняла запись"))),
             error.text());
        return 0;
    }
    return id;
}

bool TRecordStore::putSnapshot(const Snapshot &s, qint64 revision)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return serverFailed(QStringLiteral("Снимок %1 не отправлен").arg(s.uuid), db.lastError());
    qint64 id = 0;
    QSqlError error;
    if (!writeSnapshot(db, s, revision, true, id, error) || !db.commit()) {
        if (!error.isValid())
            error = db.lastError();
        db.rollback();
        return serverFailed(QStringLiteral("Снимок %1 не отправлен").arg(s.uuid), error);
    }
    return true;
}

bool TRecordStore::addRefused(qint64 id, CalibrationArea area, const QVector<quint16> &values)
{
    if (!m_open && !open())
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.transaction())
        return fail(QStringLiteral("База снимков %1 %2").arg(m_path, problemOf(db.lastError(), QStringLiteral("занята"))),
                    db.lastError().text());
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO refused(snapshot_id, area, registers) VALUES(?, ?, ?)"
                             " ON CONFLICT (snapshot_id, area) DO UPDATE SET registers = excluded.registers"));
    q.addBindValue(id);
    q.addBindValue(QString::fromLatin1(AreaSpecOf(area).key));
    q.addBindValue(toBlob(values));
    bool ok = q.exec();
    QSqlError error = q.lastError();
    // The plant has the snapshot without these values yet.
    if (ok) {
        QSqlQuery bump(db);
        bump.prepare(QStringLiteral("UPDATE snapshot SET revision = revision + 1 WHERE id = ?"));
        bump.addBindValue(id);
        ok = bump.exec();
        error = bump.lastError();
    }
    if (!ok || !db.commit()) {
        if (!error.isValid())
            error = db.lastError();
        db.rollback();
        return fail(QStringLiteral("Снимок %1 не дополнен: база %2").arg(id).arg(problemOf(error, QStringLiteral("не приняла запись"))),
                    error.text());
    }
    return true;
}

bool TRecordStore::readAreas(const QString &table, Snapshot &s)
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

QList<Snapshot> TRecordStore::list(const QString &meterSerial)
{
    return meterSerial.isEmpty() ? select(QString(), {}) : select(QStringLiteral(" WHERE meter_serial = ?"), meterSerial);
}

QList<Snapshot> TRecordStore::select(const QString &where, const QVariant &value)
{
    m_error.clear();
    if (!m_open && !open())
        return {};
    QList<Snapshot> snapshots;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // A plant's ids follow the order of arrival, not of taking.
    q.prepare(QStringLiteral("SELECT id, taken_utc, port, reason, note, program_version, meter_serial, uuid, workstation"
                             " FROM snapshot%1 ORDER BY %2 id DESC")
                  .arg(where, isServer() ? QStringLiteral("taken_utc DESC,") : QString()));
    if (!where.isEmpty())
        q.addBindValue(value);
    if (!q.exec()) {
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
        s.uuid = q.value(7).toString();
        s.workstation = q.value(8).toString();
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

std::optional<Snapshot> TRecordStore::get(qint64 id)
{
    const QList<Snapshot> found = select(QStringLiteral(" WHERE id = ?"), id);
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}
