// Records from the local store to a plant's: what waits, and one record's upload.
#include "records/record_store.h"
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <initializer_list>
#include <utility>

namespace {

// Snapshots first: a run names the snapshots around it, and the plant finds them by uuid.
// A record the plant refused at its revision waits no more; a newer revision is tried.
const char WaitingRecords[] =
    "SELECT 0, s.uuid, s.id, s.revision FROM snapshot s LEFT JOIN uploaded u ON u.kind = 'snapshot' AND u.uuid = s.uuid"
    " WHERE (u.revision IS NULL OR u.revision < s.revision) AND NOT EXISTS (SELECT 1 FROM upload_refused f"
    " WHERE f.kind = 'snapshot' AND f.uuid = s.uuid AND f.revision >= s.revision)"
    " UNION ALL "
    "SELECT 1, r.uuid, r.id, r.revision FROM run r LEFT JOIN uploaded u ON u.kind = 'run' AND u.uuid = r.uuid"
    " WHERE (u.revision IS NULL OR u.revision < r.revision) AND NOT EXISTS (SELECT 1 FROM upload_refused f"
    " WHERE f.kind = 'run' AND f.uuid = r.uuid AND f.revision >= r.revision)"
    " UNION ALL "
    // A certificate once, after its run has gone at the revision it has here.
    "SELECT 2, c.uuid, 0, c.revision FROM certificate c LEFT JOIN uploaded u ON u.kind = 'certificate' AND u.uuid = c.uuid"
    " WHERE u.revision IS NULL AND NOT EXISTS (SELECT 1 FROM upload_refused f"
    " WHERE f.kind = 'certificate' AND f.uuid = c.uuid AND f.revision >= c.revision)"
    " AND EXISTS (SELECT 1 FROM uploaded ur JOIN run r ON r.uuid = ur.uuid WHERE ur.kind = 'run'"
    " AND ur.uuid = c.run_uuid AND ur.revision >= r.revision)";

UploadItem::Kind kindOf(int code)
{
    return code == 0 ? UploadItem::Snapshot : code == 1 ? UploadItem::Run : UploadItem::Certificate;
}

QString kindKey(UploadItem::Kind kind)
{
    switch (kind) {
    case UploadItem::Snapshot:
        return QStringLiteral("snapshot");
    case UploadItem::Run:
        return QStringLiteral("run");
    case UploadItem::Certificate:
        break;
    }
    return QStringLiteral("certificate");
}

// A NUL no server text column takes: the field that holds one, or empty.
QString nulField(std::initializer_list<std::pair<const char *, QString>> fields)
{
    for (const auto &[name, text] : fields) {
        if (text.contains(QChar(0)))
            return QString::fromLatin1(name);
    }
    return {};
}

} // namespace

bool TRecordStore::serverFailed(const QString &what, const QSqlError &error)
{
    const QString problem = isServer() ? PostgresConnectionProblem(error, m_where) : QString();
    m_serverRefusedRecord = isServer() && problem.isEmpty() && PostgresRefusesRecord(error);
    // A connection that broke stays broken: the next upload opens a new one.
    if (!problem.isEmpty() || !QSqlDatabase::database(m_connection, false).isOpen())
        close();
    const QString statement = isServer() && problem.isEmpty() ? PostgresStatementProblem(error) : QString();
    const QString said = !problem.isEmpty() ? problem : statement;
    return fail(said.isEmpty() ? what : what + QStringLiteral(": ") + said, error.text().trimmed());
}

int TRecordStore::waitingCount()
{
    if (!m_open && !open())
        return -1;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT count(*) FROM (%1) w").arg(QLatin1String(WaitingRecords))) || !q.next())
        return fail(QStringLiteral("Очередь отправки не прочитана из %1").arg(m_path), q.lastError().text()), -1;
    return q.value(0).toInt();
}

QList<UploadItem> TRecordStore::waiting(int limit)
{
    QList<UploadItem> items;
    m_error.clear();
    if (!m_open && !open())
        return items;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("%1 ORDER BY 1, 3 LIMIT ?").arg(QLatin1String(WaitingRecords)));
    q.addBindValue(limit);
    if (!q.exec()) {
        fail(QStringLiteral("Очередь отправки не прочитана из %1").arg(m_path), q.lastError().text());
        return items;
    }
    while (q.next())
        items << UploadItem{kindOf(q.value(0).toInt()), q.value(1).toString(),
                            q.value(2).toLongLong(), q.value(3).toLongLong()};
    return items;
}

bool TRecordStore::markRefused(const UploadItem &item, qint64 revision, const QString &reason)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("INSERT INTO upload_refused(kind, uuid, revision, reason, refused_utc) VALUES(?, ?, ?, ?, ?)"
                             " ON CONFLICT (kind, uuid) DO UPDATE SET revision = excluded.revision,"
                             " reason = excluded.reason, refused_utc = excluded.refused_utc"));
    q.addBindValue(kindKey(item.kind));
    q.addBindValue(item.uuid);
    q.addBindValue(revision);
    q.addBindValue(reason);
    q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    if (!q.exec())
        return fail(QStringLiteral("Отказ сервера в записи %1 не отмечен в %2").arg(item.uuid, m_path), q.lastError().text());
    m_uploadRefused = true;
    return fail(QStringLiteral("Сервер записей не принимает запись %1: %2").arg(item.uuid, reason), QString());
}

QList<RefusedUpload> TRecordStore::refusedUploads()
{
    QList<RefusedUpload> list;
    if (!m_open && !open())
        return list;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT kind, uuid, reason FROM upload_refused ORDER BY refused_utc"))) {
        fail(QStringLiteral("Отказы сервера записей не прочитаны из %1").arg(m_path), q.lastError().text());
        return list;
    }
    while (q.next())
        list << RefusedUpload{q.value(0).toString() == QLatin1String("run")           ? UploadItem::Run
                              : q.value(0).toString() == QLatin1String("certificate") ? UploadItem::Certificate
                                                                                      : UploadItem::Snapshot,
                              q.value(1).toString(), q.value(2).toString()};
    return list;
}

bool TRecordStore::upload(TRecordStore &plant, const UploadItem &item)
{
    m_uploadRefused = false;
    if (!m_open && !open())
        return false;
    // The revision first, the record after it: what is sent is at least that new.
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT revision FROM %1 WHERE uuid = ?").arg(kindKey(item.kind)));
    q.addBindValue(item.uuid);
    if (!q.exec() || !q.next())
        return fail(QStringLiteral("Запись %1 не найдена в %2").arg(item.uuid, m_path), q.lastError().text());
    const qint64 revision = q.value(0).toLongLong();
    q.finish();
    if (!plant.m_open && !plant.open())
        return false;
    bool sent = false;
    if (item.kind == UploadItem::Snapshot) {
        const std::optional<Snapshot> s = get(item.localId);
        if (!s)
            return m_error.isEmpty() ? fail(QStringLiteral("Снимка №%1 нет в %2").arg(item.localId).arg(m_path), QString())
                                     : false;
        const QString nul = nulField({{"port", s->port}, {"note", s->note}, {"meter_serial", s->meterSerial},
                                      {"workstation", s->workstation}, {"program_version", s->programVersion}});
        if (!nul.isEmpty())
            return markRefused(item, revision, QStringLiteral("в поле %1 символ NUL").arg(nul));
        sent = plant.putSnapshot(*s, revision);
    } else if (item.kind == UploadItem::Certificate) {
        // Its uuid names one row that never changes.
        const std::optional<IssuedCertificate> c = selectCertificate(QStringLiteral("uuid = ?"), item.uuid);
        if (!c)
            return m_error.isEmpty() ? fail(QStringLiteral("Сертификата %1 нет в %2").arg(item.uuid, m_path), QString())
                                     : false;
        const QString nul = nulField({{"meter_serial", c->meterSerial}, {"number", c->number},
                                      {"workstation", c->workstation}, {"run_uuid", c->runUuid}});
        if (!nul.isEmpty())
            return markRefused(item, revision, QStringLiteral("в поле %1 символ NUL").arg(nul));
        sent = plant.putCertificate(*c);
    } else {
        const std::optional<RunRecord> r = run(QString::number(item.localId));
        if (!r)
            return m_error.isEmpty() ? fail(QStringLiteral("Калибровки №%1 нет в %2").arg(item.localId).arg(m_path), QString())
                                     : false;
        const auto uuidOf = [&](qint64 id) {
            QSqlQuery s(db);
            s.prepare(QStringLiteral("SELECT uuid FROM snapshot WHERE id = ?"));
            s.addBindValue(id);
            return s.exec() && s.next() ? s.value(0).toString() : QString();
        };
        const QString nul = nulField({{"meter_serial", r->meterSerial}, {"port_serial", r->portSerial},
                                      {"operator", r->operatorName}, {"workstation", r->workstation},
                                      {"program_version", r->programVersion}, {"rig_kind", r->rigKind},
                                      {"end_reason", r->endReason}});
        if (!nul.isEmpty())
            return markRefused(item, revision, QStringLiteral("в поле %1 символ NUL").arg(nul));
        sent = plant.putRun(*r, revision, uuidOf(r->snapshotBeforeId), uuidOf(r->snapshotAfterId));
    }
    // Refused for what this record holds, on a server that stays open: marked, and the rest go.
    if (!sent && plant.m_open && plant.m_serverRefusedRecord)
        return markRefused(item, revision, plant.lastError());
    if (!sent)
        return false;
    // A crash before this line sends the record again: the plant takes it once.
    q.prepare(QStringLiteral("INSERT INTO uploaded(kind, uuid, revision, uploaded_utc) VALUES(?, ?, ?, ?)"
                             " ON CONFLICT (kind, uuid) DO UPDATE SET revision = excluded.revision,"
                             " uploaded_utc = excluded.uploaded_utc WHERE uploaded.revision < excluded.revision"));
    q.addBindValue(kindKey(item.kind));
    q.addBindValue(item.uuid);
    q.addBindValue(revision);
    q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    if (!q.exec())
        return fail(QStringLiteral("Отправка записи %1 не отмечена в %2").arg(item.uuid, m_path), q.lastError().text());
    q.prepare(QStringLiteral("DELETE FROM upload_refused WHERE kind = ? AND uuid = ?"));
    q.addBindValue(kindKey(item.kind));
    q.addBindValue(item.uuid);
    q.exec();
    return true;
}

bool TRecordStore::forgetUploads()
{
    return (m_open || open()) && exec(QStringLiteral("DELETE FROM uploaded")) && exec(QStringLiteral("DELETE FROM upload_refused"));
}

QList<MeterSummary> TRecordStore::meters(const QString &meterSerial)
{
    m_error.clear();
    QList<MeterSummary> list;
    if (!m_open && !open())
        return list;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT serial, first_seen_utc, last_run_utc, last_run_end, last_as_left_fit, workstation"
                             " FROM meters%1 ORDER BY serial")
                  .arg(meterSerial.isEmpty() ? QString() : QStringLiteral(" WHERE serial = ?")));
    if (!meterSerial.isEmpty())
        q.addBindValue(meterSerial);
    if (!q.exec()) {
        fail(QStringLiteral("Приборы не прочитаны из %1").arg(m_path), q.lastError().text());
        return list;
    }
    const auto utc = [](const QVariant &v) {
        QDateTime t = v.isNull() ? QDateTime() : QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
        if (t.isValid())
            t.setTimeSpec(Qt::UTC);
        return t;
    };
    while (q.next()) {
        MeterSummary m;
        m.serial = q.value(0).toString();
        m.firstSeenUtc = utc(q.value(1));
        m.lastRunUtc = utc(q.value(2));
        m.lastRunEnd = EndFromKey(q.value(3).toString()).value_or(RunEnd::Running);
        if (!q.value(4).isNull())
            m.lastAsLeftFit = q.value(4).toInt() != 0;
        m.workstation = q.value(5).toString();
        list << m;
    }
    return list;
}
