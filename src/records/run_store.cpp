// Calibration runs in the snapshot store: the header row written when the run
// starts and again when it changes, each point its own row as it is taken.
#include "records/record_store.h"
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>
#include <cstring>

namespace {

const char RunColumns[] =
    "id, uuid, meter_serial, operator, workstation, program_version, rig_kind, rig_settings, plan, started_utc,"
    " ended_utc, end_key, end_reason, q_max, tolerance_percent, coefficients_before, coefficients_after,"
    " written_table, snapshot_before, snapshot_after, as_found_fit, as_left_fit, as_found_max_error, as_left_max_error,"
    " port_serial, table_write, details";

// Every header column but id and uuid, in the order header() binds them.
const char HeaderColumns[][20] = {
    "meter_serial",        "operator",           "workstation",   "program_version",
    "rig_kind",            "rig_settings",       "plan",          "started_utc",
    "ended_utc",           "end_key",            "end_reason",    "q_max",
    "tolerance_percent",   "coefficients_before", "coefficients_after", "written_table",
    "snapshot_before",     "snapshot_after",     "as_found_fit",  "as_left_fit",
    "as_found_max_error",  "as_left_max_error",  "port_serial",   "table_write",
    "details",
};

const char PointColumns[] =
    "phase, point_index, target_percent, target_flow, reference_flow, meter_flow, delta_t, averaging_seconds,"
    " reference_samples, absolute_error, relative_error, reduced_error, fits, settle_seconds, meter_sigma,"
    " meter_drift, reference_sigma, reference_drift, attempts, settled, started_utc, taken_utc, tube_temperature, details";

// One placeholder a point column.
QString pointMarks()
{
    const qsizetype columns = QString::fromLatin1(PointColumns).count(QLatin1Char(',')) + 1;
    QStringList marks;
    for (qsizetype i = 0; i < columns; ++i)
        marks << QStringLiteral("?");
    return marks.join(QStringLiteral(", "));
}

// A null QString binds as SQL NULL; the text columns hold an empty one.
QString text(const QString &t)
{
    return t.isNull() ? QStringLiteral("") : t;
}

QVariant utcText(const QDateTime &t)
{
    return t.isValid() ? QVariant(t.toUTC().toString(Qt::ISODateWithMs)) : QVariant(QMetaType(QMetaType::QString));
}

QDateTime fromUtcText(const QVariant &v)
{
    if (v.isNull())
        return {};
    QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
    if (t.isValid())
        t.setTimeSpec(Qt::UTC);
    return t;
}

template <typename T>
QVariant orNull(const std::optional<T> &v)
{
    if (v)
        return QVariant::fromValue(*v);
    return QVariant(QMetaType::fromType<T>());
}

QVariant boolOrNull(const std::optional<bool> &v)
{
    return v ? QVariant(*v ? 1 : 0) : QVariant(QMetaType(QMetaType::Int));
}

std::optional<bool> boolFrom(const QVariant &v)
{
    return v.isNull() ? std::nullopt : std::optional<bool>(v.toInt() != 0);
}

std::optional<double> doubleFrom(const QVariant &v)
{
    return v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
}

// Floats as their bits, big-endian: exact, NaN and all.
template <std::size_t N>
QVariant floatBlob(const std::optional<std::array<float, N>> &values)
{
    if (!values)
        return QVariant(QMetaType(QMetaType::QByteArray));
    QByteArray blob;
    for (float f : *values) {
        quint32 bits;
        std::memcpy(&bits, &f, sizeof bits);
        for (int shift = 24; shift >= 0; shift -= 8)
            blob.append(char((bits >> shift) & 0xFF));
    }
    return blob;
}

// False when the blob is there but not N floats long.
template <std::size_t N>
bool floatsFrom(const QVariant &v, std::optional<std::array<float, N>> &values)
{
    values.reset();
    if (v.isNull())
        return true;
    const QByteArray blob = v.toByteArray();
    if (blob.size() != qsizetype(4 * N))
        return false;
    std::array<float, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        quint32 bits = 0;
        for (int b = 0; b < 4; ++b)
            bits = bits << 8 | quint8(blob[qsizetype(4 * i + b)]);
        std::memcpy(&out[i], &bits, sizeof bits);
    }
    values = out;
    return true;
}

QString jsonText(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

bool jsonFrom(const QVariant &v, QJsonObject &o)
{
    const QJsonDocument doc = QJsonDocument::fromJson(v.toString().toUtf8());
    o = doc.object();
    return doc.isObject();
}

void bindHeader(QSqlQuery &q, const RunRecord &r)
{
    q.addBindValue(text(r.meterSerial));
    q.addBindValue(text(r.operatorName));
    q.addBindValue(text(r.workstation));
    q.addBindValue(text(r.programVersion));
    q.addBindValue(text(r.rigKind));
    q.addBindValue(jsonText(r.rigSettings));
    q.addBindValue(jsonText(r.plan));
    q.addBindValue(utcText(r.startedUtc));
    q.addBindValue(utcText(r.endedUtc));
    q.addBindValue(EndKey(r.end));
    q.addBindValue(text(r.endReason));
    q.addBindValue(double(r.qMax));
    q.addBindValue(r.tolerancePercent);
    q.addBindValue(floatBlob(r.coefficientsBefore));
    q.addBindValue(floatBlob(r.coefficientsAfter));
    q.addBindValue(floatBlob(r.writtenTable));
    q.addBindValue(r.snapshotBeforeId);
    q.addBindValue(r.snapshotAfterId);
    q.addBindValue(boolOrNull(r.asFoundFit));
    q.addBindValue(boolOrNull(r.asLeftFit));
    q.addBindValue(orNull(r.asFoundMaxError));
    q.addBindValue(orNull(r.asLeftMaxError));
    q.addBindValue(text(r.portSerial));
    q.addBindValue(TableWriteKey(r.tableWrite));
    q.addBindValue(jsonText(RunDetailsToJson(r)));
}

void bindPoint(QSqlQuery &q, const RunPoint &p)
{
    q.addBindValue(PhaseKey(p.phase));
    q.addBindValue(p.index);
    q.addBindValue(p.targetPercent);
    q.addBindValue(p.targetFlow);
    q.addBindValue(p.referenceFlow);
    q.addBindValue(p.meterFlow);
    q.addBindValue(p.deltaT);
    q.addBindValue(p.averagingSeconds);
    q.addBindValue(p.referenceSamples);
    q.addBindValue(p.absoluteError);
    q.addBindValue(orNull(p.relativeError));
    q.addBindValue(orNull(p.reducedError));
    q.addBindValue(boolOrNull(p.fits));
    q.addBindValue(p.settleSeconds);
    q.addBindValue(p.meterSigma);
    q.addBindValue(p.meterDrift);
    q.addBindValue(p.referenceSigma);
    q.addBindValue(p.referenceDrift);
    q.addBindValue(p.attempts);
    q.addBindValue(p.settled ? 1 : 0);
    q.addBindValue(utcText(p.startedUtc));
    q.addBindValue(utcText(p.takenUtc));
    q.addBindValue(orNull(p.tubeTemperature));
    q.addBindValue(jsonText(PointDetailsToJson(p)));
}

// The row of RunColumns; an empty text, or what is damaged in it.
QString readHeader(const QSqlQuery &q, RunRecord &r)
{
    r.id = q.value(0).toLongLong();
    r.uuid = q.value(1).toString();
    r.meterSerial = q.value(2).toString();
    r.operatorName = q.value(3).toString();
    r.workstation = q.value(4).toString();
    r.programVersion = q.value(5).toString();
    r.rigKind = q.value(6).toString();
    if (!jsonFrom(q.value(7), r.rigSettings))
        return QStringLiteral("настройки стенда не читаются");
    if (!jsonFrom(q.value(8), r.plan))
        return QStringLiteral("план не читается");
    r.startedUtc = fromUtcText(q.value(9));
    r.endedUtc = fromUtcText(q.value(10));
    const auto end = EndFromKey(q.value(11).toString());
    if (!end)
        return QStringLiteral("неизвестный исход «%1»").arg(q.value(11).toString().left(40));
    r.end = *end;
    r.endReason = q.value(12).toString();
    r.qMax = float(q.value(13).toDouble());
    r.tolerancePercent = q.value(14).toDouble();
    if (!floatsFrom(q.value(15), r.coefficientsBefore) || !floatsFrom(q.value(16), r.coefficientsAfter))
        return QStringLiteral("коэффициенты не той длины");
    if (!floatsFrom(q.value(17), r.writtenTable))
        return QStringLiteral("записанная таблица не той длины");
    r.snapshotBeforeId = q.value(18).toLongLong();
    r.snapshotAfterId = q.value(19).toLongLong();
    r.asFoundFit = boolFrom(q.value(20));
    r.asLeftFit = boolFrom(q.value(21));
    r.asFoundMaxError = doubleFrom(q.value(22));
    r.asLeftMaxError = doubleFrom(q.value(23));
    r.portSerial = q.value(24).toString();
    const auto write = TableWriteFromKey(q.value(25).toString());
    if (!write)
        return QStringLiteral("неизвестное состояние записи таблицы «%1»").arg(q.value(25).toString().left(40));
    r.tableWrite = *write;
    QJsonObject details;
    QString why;
    if (!jsonFrom(q.value(26), details) || !RunDetailsFromJson(details, r, &why))
        return QStringLiteral("подробности не читаются (%1)").arg(why.left(120));
    return {};
}

QString readPoint(const QSqlQuery &q, RunPoint &p)
{
    const auto phase = PhaseFromKey(q.value(0).toString());
    if (!phase)
        return QStringLiteral("неизвестная фаза точки «%1»").arg(q.value(0).toString().left(40));
    p.phase = *phase;
    p.index = q.value(1).toInt();
    p.targetPercent = q.value(2).toDouble();
    p.targetFlow = q.value(3).toDouble();
    p.referenceFlow = q.value(4).toDouble();
    p.meterFlow = q.value(5).toDouble();
    p.deltaT = q.value(6).toDouble();
    p.averagingSeconds = q.value(7).toDouble();
    p.referenceSamples = q.value(8).toInt();
    p.absoluteError = q.value(9).toDouble();
    p.relativeError = doubleFrom(q.value(10));
    p.reducedError = doubleFrom(q.value(11));
    p.fits = boolFrom(q.value(12));
    p.settleSeconds = q.value(13).toDouble();
    p.meterSigma = q.value(14).toDouble();
    p.meterDrift = q.value(15).toDouble();
    p.referenceSigma = q.value(16).toDouble();
    p.referenceDrift = q.value(17).toDouble();
    p.attempts = q.value(18).toInt();
    p.settled = q.value(19).toInt() != 0;
    p.startedUtc = fromUtcText(q.value(20));
    p.takenUtc = fromUtcText(q.value(21));
    p.tubeTemperature = doubleFrom(q.value(22));
    QJsonObject details;
    QString why;
    if (!jsonFrom(q.value(23), details) || !PointDetailsFromJson(details, p, &why))
        return QStringLiteral("подробности точки не читаются (%1)").arg(why.left(120));
    return {};
}

// A run's record is not dropped because another program holds the file a moment:
// its writes wait this long for it (the store's other writes wait a second).
constexpr int RunWriteWaitMs = 5000;

class LongerBusyWait
{
public:
    LongerBusyWait(const QSqlDatabase &db, bool server) : m_db(db), m_on(!server)
    {
        if (m_on)
            QSqlQuery(m_db).exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(RunWriteWaitMs));
    }
    ~LongerBusyWait()
    {
        if (m_on)
            QSqlQuery(m_db).exec(QStringLiteral("PRAGMA busy_timeout=1000"));
    }
    LongerBusyWait(const LongerBusyWait &) = delete;
    LongerBusyWait &operator=(const LongerBusyWait &) = delete;

private:
    QSqlDatabase m_db;
    bool m_on;
};

// The engine's words, with ours first when another program held the store too long.
QString runWriteProblem(const StoreDialect *dialect, const QSqlError &error)
{
    if (dialect && dialect->busy(error))
        return QStringLiteral("база занята другой программой дольше %1 с (%2)").arg(RunWriteWaitMs / 1000).arg(error.text());
    return error.text();
}

} // namespace

bool TRecordStore::beginRun(RunRecord &run)
{
    if (!m_open && !open())
        return false;
    RunRecord r = run;
    if (r.uuid.isEmpty())
        r.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (r.workstation.isEmpty())
        r.workstation = QSysInfo::machineHostName();
    if (r.programVersion.isEmpty())
        r.programVersion = QStringLiteral(KESTRO_VERSION);
    if (!r.startedUtc.isValid())
        r.startedUtc = QDateTime::currentDateTimeUtc();
    QStringList marks(std::size(HeaderColumns), QStringLiteral("?"));
    QStringList columns;
    for (const char *c : HeaderColumns)
        columns << QString::fromLatin1(c);
    const LongerBusyWait wait(QSqlDatabase::database(m_connection, false), isServer());
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("INSERT INTO run(uuid, %1) VALUES(?, %2) RETURNING id").arg(columns.join(", "), marks.join(", ")));
    q.addBindValue(r.uuid);
    bindHeader(q, r);
    if (!q.exec() || !q.next())
        return fail(QStringLiteral("Начало калибровки не записано в %1").arg(m_path),
                    runWriteProblem(m_where.dialect, q.lastError()));
    r.id = q.value(0).toLongLong();
    q.finish();
    // The caller's record learns its id and uuid only once the row is there.
    run.id = r.id;
    run.uuid = r.uuid;
    run.workstation = r.workstation;
    run.programVersion = r.programVersion;
    run.startedUtc = r.startedUtc;
    return true;
}

bool TRecordStore::addRunPoint(qint64 runId, const RunPoint &p)
{
    if (!m_open && !open())
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const auto failed = [&](const QSqlError &error) {
        db.rollback();
        return fail(QStringLiteral("Точка %1 %2 калибровки №%3 не записана в %4")
                        .arg(PhaseTitle(p.phase))
                        .arg(p.index)
                        .arg(runId)
                        .arg(m_path),
                    runWriteProblem(m_where.dialect, error));
    };
    const LongerBusyWait wait(db, isServer());
    if (!db.transaction())
        return fail(QStringLiteral("База снимков %1 занята").arg(m_path), runWriteProblem(m_where.dialect, db.lastError()));
    QSqlQuery q(db);
    // The next number and the row under one lock: two points never share it.
    q.prepare(QStringLiteral("INSERT INTO run_point(run_id, seq, %1) VALUES(?, (SELECT COALESCE(MAX(seq), 0) + 1 FROM"
                             " run_point WHERE run_id = ?), %2)")
                  .arg(QLatin1String(PointColumns), pointMarks()));
    q.addBindValue(runId);
    q.addBindValue(runId);
    bindPoint(q, p);
    if (!q.exec())
        return failed(q.lastError());
    // The plant's copy of the run is now one point behind.
    QSqlQuery bump(db);
    bump.prepare(QStringLiteral("UPDATE run SET revision = revision + 1 WHERE id = ?"));
    bump.addBindValue(runId);
    if (!bump.exec())
        return failed(bump.lastError());
    if (!db.commit())
        return failed(db.lastError());
    return true;
}

bool TRecordStore::updateRun(const RunRecord &run)
{
    if (!m_open && !open())
        return false;
    QStringList sets;
    for (const char *c : HeaderColumns)
        sets << QString::fromLatin1(c) + QStringLiteral(" = ?");
    const LongerBusyWait wait(QSqlDatabase::database(m_connection, false), isServer());
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("UPDATE run SET %1, revision = revision + 1 WHERE id = ?").arg(sets.join(", ")));
    bindHeader(q, run);
    q.addBindValue(run.id);
    if (!q.exec() || q.numRowsAffected() != 1)
        return fail(QStringLiteral("Калибровка №%1 не обновлена в %2").arg(run.id).arg(m_path),
                    q.lastError().isValid() ? runWriteProblem(m_where.dialect, q.lastError())
                                            : QStringLiteral("нет такой калибровки"));
    return true;
}

QList<RunRecord> TRecordStore::runs(const QString &meterSerial)
{
    m_error.clear();
    if (!m_open && !open())
        return {};
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // A meter is found by the serial it was given or by its port's.
    const QString where =
        meterSerial.isEmpty() ? QString() : QStringLiteral(" WHERE meter_serial = ? OR port_serial = ?");
    q.prepare(QStringLiteral("SELECT %1 FROM run%2 ORDER BY started_utc DESC, id DESC").arg(QLatin1String(RunColumns), where));
    if (!meterSerial.isEmpty()) {
        q.addBindValue(meterSerial);
        q.addBindValue(meterSerial);
    }
    if (!q.exec()) {
        fail(QStringLiteral("Калибровки не прочитаны из %1").arg(m_path), q.lastError().text());
        return {};
    }
    QList<RunRecord> list;
    while (q.next()) {
        RunRecord r;
        const QString damage = readHeader(q, r);
        if (!damage.isEmpty()) {
            fail(QStringLiteral("Калибровка №%1 в %2 повреждена: %3").arg(r.id).arg(m_path, damage), QString());
            return {};
        }
        list << r;
    }
    return list;
}

std::optional<RunRecord> TRecordStore::run(const QString &idOrUuid)
{
    m_error.clear();
    if (!m_open && !open())
        return std::nullopt;
    const QString key = idOrUuid.trimmed();
    bool isId = false;
    const qint64 id = key.toLongLong(&isId);
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT %1 FROM run WHERE %2").arg(QLatin1String(RunColumns),
                                                               isId ? QStringLiteral("id = ?") : QStringLiteral("lower(uuid) = lower(?)")));
    q.addBindValue(isId ? QVariant(id) : QVariant(key));
    if (!q.exec()) {
        fail(QStringLiteral("Калибровка %1 не прочитана из %2").arg(key, m_path), q.lastError().text());
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    RunRecord r;
    QString damage = readHeader(q, r);
    q.finish();
    QSqlQuery points(db);
    points.prepare(QStringLiteral("SELECT %1 FROM run_point WHERE run_id = ? ORDER BY seq").arg(QLatin1String(PointColumns)));
    points.addBindValue(r.id);
    if (damage.isEmpty() && !points.exec()) {
        fail(QStringLiteral("Точки калибровки №%1 не прочитаны из %2").arg(r.id).arg(m_path), points.lastError().text());
        return std::nullopt;
    }
    while (damage.isEmpty() && points.next()) {
        RunPoint p;
        damage = readPoint(points, p);
        r.points << p;
    }
    if (!damage.isEmpty()) {
        fail(QStringLiteral("Калибровка №%1 в %2 повреждена: %3").arg(r.id).arg(m_path, damage), QString());
        return std::nullopt;
    }
    return r;
}

bool TRecordStore::putRun(const RunRecord &r, qint64 revision, const QString &beforeUuid, const QString &afterUuid)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QString what = QStringLiteral("Калибровка %1 не отправлена").arg(r.uuid);
    if (!db.transaction())
        return serverFailed(what, db.lastError());
    const auto failed = [&](const QSqlError &error) {
        db.rollback();
        return serverFailed(what, error);
    };
    QStringList columns, marks, sets;
    for (const char *c : HeaderColumns) {
        columns << QString::fromLatin1(c);
        marks << QStringLiteral("?");
        sets << QStringLiteral("%1 = excluded.%1").arg(QLatin1String(c));
    }
    // The header changes while the run goes: a newer revision replaces an older one,
    // never the other way round, whoever uploads it and in whatever order.
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("INSERT INTO run(uuid, revision, %1) VALUES(?, ?, %2) ON CONFLICT (uuid) DO UPDATE SET"
                             " revision = excluded.revision, %3 WHERE run.revision < excluded.revision")
                  .arg(columns.join(", "), marks.join(", "), sets.join(", "))))
        return failed(q.lastError());
    q.addBindValue(r.uuid);
    q.addBindValue(revision);
    bindHeader(q, r);
    if (!q.exec())
        return failed(q.lastError());
    // The snapshots the run names by their ids here are found there by uuid.
    if (!q.prepare(QStringLiteral("UPDATE run SET snapshot_before = COALESCE((SELECT id FROM snapshot WHERE uuid = ?), 0),"
                             " snapshot_after = COALESCE((SELECT id FROM snapshot WHERE uuid = ?), 0) WHERE uuid = ?")))
        return failed(q.lastError());
    q.addBindValue(beforeUuid);
    q.addBindValue(afterUuid);
    q.addBindValue(r.uuid);
    if (!q.exec())
        return failed(q.lastError());
    if (!q.prepare(QStringLiteral("SELECT id, (SELECT COALESCE(MAX(seq), 0) FROM run_point WHERE run_id = run.id) FROM run"
                             " WHERE uuid = ?")))
        return failed(q.lastError());
    q.addBindValue(r.uuid);
    if (!q.exec() || !q.next())
        return failed(q.lastError());
    const qint64 id = q.value(0).toLongLong();
    const int there = q.value(1).toInt();
    q.finish();
    // Points are numbered from 1 without gaps here; the plant keeps the same numbers.
    QSqlQuery p(db);
    if (!p.prepare(QStringLiteral("INSERT INTO run_point(run_id, seq, %1) VALUES(?, ?, %2) ON CONFLICT (run_id, seq) DO NOTHING")
                       .arg(QLatin1String(PointColumns), pointMarks())))
        return failed(p.lastError());
    for (qsizetype i = there; i < r.points.size(); ++i) {
        p.addBindValue(id);
        p.addBindValue(int(i + 1));
        bindPoint(p, r.points.at(i));
        if (!p.exec())
            return failed(p.lastError());
    }
    if (!db.commit())
        return failed(db.lastError());
    return true;
}
