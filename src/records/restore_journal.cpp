#include "records/restore_journal.h"
#include "records/record_store.h"
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

QString areaKeys(const QList<CalibrationArea> &areas)
{
    QStringList keys;
    for (CalibrationArea a : areas)
        keys << QString::fromLatin1(AreaSpecOf(a).key);
    return keys.join(QLatin1Char(','));
}

QString utcText(const QDateTime &t)
{
    return t.toUTC().toString(Qt::ISODateWithMs);
}

QDateTime fromUtcText(const QString &text)
{
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (t.isValid())
        t.setTimeSpec(Qt::UTC);
    return t;
}

} // namespace

QString UnfinishedRestoreText(const RestoreRecord &r)
{
    QStringList titles;
    for (CalibrationArea a : r.areas)
        titles << QString::fromUtf8(AreaSpecOf(a).title);
    return QStringLiteral("Восстановление снимка №%1 (%2), начатое %3, не завершено: прибор может быть записан не до "
                          "конца. Путь назад — снимок №%4")
        .arg(r.targetId)
        .arg(titles.join(QStringLiteral(", ")), r.startedUtc.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")))
        .arg(r.wayBackId);
}

qint64 TRecordStore::beginRestore(qint64 targetId, qint64 wayBackId, const QList<CalibrationArea> &areas)
{
    if (!m_open && !open())
        return 0;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("INSERT INTO restore_journal(started_utc, target_id, way_back_id, areas) VALUES(?, ?, ?, ?)"
                             " RETURNING id"));
    q.addBindValue(utcText(QDateTime::currentDateTimeUtc()));
    q.addBindValue(targetId);
    q.addBindValue(wayBackId);
    q.addBindValue(areaKeys(areas));
    if (!q.exec() || !q.next())
        return fail(QStringLiteral("Начало восстановления не записано в %1").arg(m_path), q.lastError().text()), 0;
    return q.value(0).toLongLong();
}

bool TRecordStore::endRestore(qint64 journalId, bool restored, const QString &outcome)
{
    if (!m_open && !open())
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("UPDATE restore_journal SET finished_utc = ?, restored = ?, outcome = ? WHERE id = ?"));
    q.addBindValue(utcText(QDateTime::currentDateTimeUtc()));
    q.addBindValue(restored ? 1 : 0);
    q.addBindValue(outcome.isNull() ? QStringLiteral("") : outcome);
    q.addBindValue(journalId);
    if (!q.exec() || q.numRowsAffected() != 1)
        return fail(QStringLiteral("Конец восстановления №%1 не записан в %2").arg(journalId).arg(m_path),
                    q.lastError().text());
    return true;
}

QList<RestoreRecord> TRecordStore::restores(bool unfinishedOnly)
{
    QList<RestoreRecord> records;
    if (!m_open && !open())
        return records;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    const QString where = unfinishedOnly ? QStringLiteral(" WHERE finished_utc IS NULL") : QString();
    if (!q.exec(QStringLiteral("SELECT id, started_utc, target_id, way_back_id, areas, finished_utc, restored, outcome"
                               " FROM restore_journal%1 ORDER BY id DESC")
                    .arg(where))) {
        fail(QStringLiteral("Журнал восстановлений не прочитан из %1").arg(m_path), q.lastError().text());
        return records;
    }
    while (q.next()) {
        RestoreRecord r;
        r.id = q.value(0).toLongLong();
        r.startedUtc = fromUtcText(q.value(1).toString());
        r.targetId = q.value(2).toLongLong();
        r.wayBackId = q.value(3).toLongLong();
        for (const QString &key : q.value(4).toString().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            if (const AreaSpec *desc = AreaSpecByKey(key))
                r.areas << desc->area;
        }
        if (!q.value(5).isNull())
            r.finishedUtc = fromUtcText(q.value(5).toString());
        r.restored = q.value(6).toInt() != 0;
        r.outcome = q.value(7).toString();
        records << r;
    }
    return records;
}

bool TRecordStore::settleRestoresBefore(qint64 journalId, const QList<CalibrationArea> &areas)
{
    for (const RestoreRecord &r : restores(true)) {
        if (r.id >= journalId)
            continue;
        bool covered = true;
        for (CalibrationArea a : r.areas)
            covered = covered && areas.contains(a);
        if (covered && !endRestore(r.id, false, QStringLiteral("прервано; те же области записаны и проверены "
                                                                 "восстановлением №%1")
                                                      .arg(journalId)))
            return false;
    }
    return true;
}
