// Issued certificates in the records store: each kept as it was handed out, and the
// plant's side of their upload.
#include "records/certificate_issue.h"
#include "records/record_store.h"
#include "records/run_dcc.h"
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>

namespace {

const char CertificateColumns[] = "uuid, run_uuid, meter_serial, number, issued_utc, workstation, revision, pdf, dcc";

// An empty array binds as bytes, not as NULL: what was kept comes back the same.
QVariant bytes(const QByteArray &b)
{
    return QVariant(b.isNull() ? QByteArray("") : b);
}

void bindCertificate(QSqlQuery &q, const IssuedCertificate &c)
{
    q.addBindValue(c.uuid);
    q.addBindValue(c.runUuid);
    q.addBindValue(c.meterSerial);
    q.addBindValue(c.number);
    q.addBindValue(c.issuedUtc.toUTC().toString(Qt::ISODateWithMs));
    q.addBindValue(c.workstation);
    q.addBindValue(c.revision);
    q.addBindValue(bytes(c.pdf));
    q.addBindValue(bytes(c.dcc));
}

} // namespace

bool TRecordStore::keepCertificate(IssuedCertificate &c)
{
    if (!m_open && !open())
        return false;
    if (c.runUuid.isEmpty())
        return fail(QStringLiteral("Сертификат без калибровки не сохранён в %1").arg(m_path), QString());
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    const QString what = QStringLiteral("Сертификат %1 не сохранён в %2").arg(c.number, m_path);
    if (!db.transaction())
        return fail(what, db.lastError().text());
    QSqlQuery q(db);
    // The revision is read and written in one transaction: two issues never share one.
    q.prepare(QStringLiteral("SELECT COALESCE(MAX(revision), 0) + 1 FROM certificate WHERE run_uuid = ?"));
    q.addBindValue(c.runUuid);
    if (!q.exec() || !q.next()) {
        const QString detail = q.lastError().text();
        db.rollback();
        return fail(what, detail);
    }
    IssuedCertificate kept = c;
    kept.revision = q.value(0).toLongLong();
    kept.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!kept.issuedUtc.isValid())
        kept.issuedUtc = QDateTime::currentDateTimeUtc();
    if (kept.workstation.isEmpty())
        kept.workstation = QSysInfo::machineHostName();
    q.finish();
    q.prepare(QStringLiteral("INSERT INTO certificate(%1) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)").arg(QLatin1String(CertificateColumns)));
    bindCertificate(q, kept);
    if (!q.exec() || !db.commit()) {
        const QString detail = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
        db.rollback();
        return fail(what, detail);
    }
    c = kept;
    m_error.clear();
    return true;
}

std::optional<IssuedCertificate> TRecordStore::selectCertificate(const QString &where, const QVariant &value)
{
    m_error.clear();
    if (!m_open && !open())
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT %1 FROM certificate WHERE %2 ORDER BY issued_utc DESC, revision DESC LIMIT 1")
                  .arg(QLatin1String(CertificateColumns), where));
    q.addBindValue(value);
    if (!q.exec()) {
        fail(QStringLiteral("Сертификаты не прочитаны из %1").arg(m_path), q.lastError().text());
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    IssuedCertificate c;
    c.uuid = q.value(0).toString();
    c.runUuid = q.value(1).toString();
    c.meterSerial = q.value(2).toString();
    c.number = q.value(3).toString();
    c.issuedUtc = QDateTime::fromString(q.value(4).toString(), Qt::ISODateWithMs);
    c.issuedUtc.setTimeSpec(Qt::UTC);
    c.workstation = q.value(5).toString();
    c.revision = q.value(6).toLongLong();
    c.pdf = q.value(7).toByteArray();
    c.dcc = q.value(8).toByteArray();
    return c;
}

std::optional<IssuedCertificate> TRecordStore::latestCertificate(const QString &meterSerial)
{
    return selectCertificate(QStringLiteral("meter_serial = ?"), meterSerial);
}

std::optional<IssuedCertificate> TRecordStore::certificateOfRun(const QString &runUuid)
{
    return selectCertificate(QStringLiteral("run_uuid = ?"), runUuid);
}

bool TRecordStore::putCertificate(const IssuedCertificate &c)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // Never changed once issued: the plant takes each uuid once, whoever sends it again.
    QSqlQuery q(db);
    if (!q.prepare(QStringLiteral("INSERT INTO certificate(%1) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (uuid) DO NOTHING")
                       .arg(QLatin1String(CertificateColumns))))
        return serverFailed(QStringLiteral("Сертификат %1 не отправлен").arg(c.number), q.lastError());
    bindCertificate(q, c);
    if (!q.exec())
        return serverFailed(QStringLiteral("Сертификат %1 не отправлен").arg(c.number), q.lastError());
    return true;
}

std::optional<IssuedCertificate> IssueRunCertificate(TRecordStore &store, const RunRecord &run, const QByteArray &pdf,
                                                     QString *error)
{
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (run.end != RunEnd::Completed)
        return refuse(QStringLiteral("сертификат выдаётся только на завершённую калибровку; эта %1").arg(EndTitle(run.end)));
    if (run.uuid.isEmpty())
        return refuse(QStringLiteral("калибровка не записана в базу: сертификату не на что сослаться"));
    QString dccError;
    IssuedCertificate c;
    c.dcc = RunDcc::Write(run, &dccError);
    if (c.dcc.isEmpty())
        return refuse(QStringLiteral("DCC не составлен: %1").arg(dccError));
    c.runUuid = run.uuid;
    c.meterSerial = run.meterSerial;
    c.number = CertificateNumber(run);
    c.pdf = pdf;
    if (!store.keepCertificate(c))
        return refuse(store.lastError());
    if (error)
        error->clear();
    return c;
}
