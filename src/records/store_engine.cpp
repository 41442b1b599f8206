#include "records/store_engine.h"
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

namespace {

bool sqliteProbe(QSqlQuery &q, int &version, int &tables)
{
    // One statement: a store another program is creating right now is seen either
    // before or after, never half made.
    if (!q.exec(QStringLiteral("SELECT (SELECT user_version FROM pragma_user_version),"
                               " (SELECT count(*) FROM sqlite_master)"))
        || !q.next())
        return false;
    version = q.value(0).toInt();
    tables = q.value(1).toInt();
    q.finish(); // no statement may stay open: the journal mode cannot change inside one
    return true;
}

bool postgresProbe(QSqlQuery &q, int &version, int &tables)
{
    // The version table is made in the same transaction as the first step: when it is
    // there, the schema it names is there too.
    if (!q.exec(QStringLiteral("SELECT to_regclass('schema_version') IS NOT NULL,"
                               " (SELECT count(*) FROM information_schema.tables WHERE table_schema = current_schema())"))
        || !q.next())
        return false;
    const bool versioned = q.value(0).toBool();
    tables = q.value(1).toInt();
    version = 0;
    if (!versioned)
        return true;
    if (!q.exec(QStringLiteral("SELECT COALESCE(MAX(version), 0) FROM schema_version")) || !q.next())
        return false;
    version = q.value(0).toInt();
    return true;
}

bool sqliteBusy(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt() & 0xFF;
    return code == 5 || code == 6; // SQLITE_BUSY, SQLITE_LOCKED
}

bool postgresBusy(const QSqlError &error)
{
    // serialization failure, deadlock, lock not available
    const QString state = error.nativeErrorCode();
    return state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("55P03");
}

const StoreDialect Sqlite{
    "QSQLITE",
    "libqt6sql6-sqlite",
    "INTEGER PRIMARY KEY AUTOINCREMENT",
    "INTEGER",
    "BLOB",
    "REAL",
    "lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-'"
    " || substr('89ab', 1 + (abs(random()) % 4), 1) || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))",
    // The write lock first, then the version read under it.
    "BEGIN IMMEDIATE",
    "PRAGMA user_version",
    "PRAGMA user_version=%1",
    "PRAGMA foreign_keys=ON",
    true,
    sqliteProbe,
    sqliteBusy,
};

const StoreDialect Postgres{
    "QPSQL",
    "libqt6sql6-psql",
    "BIGSERIAL PRIMARY KEY",
    "BIGINT",
    "BYTEA",
    "DOUBLE PRECISION",
    "gen_random_uuid()::text",
    // Workstations bringing the same server up at once: one does each step, the others
    // wait for it under the lock and then find it done.
    "BEGIN;SELECT pg_advisory_xact_lock(5202871);CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)",
    "SELECT COALESCE(MAX(version), 0) FROM schema_version",
    "DELETE FROM schema_version;INSERT INTO schema_version(version) VALUES(%1)",
    // A locked table or a statement that hangs must not hold the workstation for long.
    "SET client_min_messages = warning;SET lock_timeout = '5s';SET statement_timeout = '15s'",
    false,
    postgresProbe,
    postgresBusy,
};

} // namespace

QString StoreDialect::sql(const char *text) const
{
    return QString::fromLatin1(text)
        .replace(QLatin1String("{key}"), QLatin1String(key))
        .replace(QLatin1String("{id}"), QLatin1String(id))
        .replace(QLatin1String("{blob}"), QLatin1String(blob))
        .replace(QLatin1String("{real}"), QLatin1String(real))
        .replace(QLatin1String("{uuid}"), QLatin1String(newUuid));
}

bool StoreDialect::isPostgres() const
{
    return this == &Postgres;
}

StoreLocation StoreLocation::Parse(const QString &text)
{
    StoreLocation where;
    const QString t = text.trimmed();
    if (!t.startsWith(QLatin1String("postgresql://")) && !t.startsWith(QLatin1String("postgres://"))) {
        where.dialect = &Sqlite;
        where.path = t.startsWith(QLatin1String("sqlite:")) ? t.mid(7) : t;
        where.display = where.path;
        if (where.path.isEmpty()) {
            where.dialect = nullptr;
            where.error = QStringLiteral("не указан файл базы");
        }
        return where;
    }
    const QUrl url(t, QUrl::StrictMode);
    // Messages show the address without a password, wherever it was given.
    where.display = url.toString(QUrl::RemovePassword | QUrl::RemoveQuery);
    if (!url.isValid()) {
        // Whatever stands before the host may be a password: it is not repeated.
        QString shown = t.section(QLatin1Char('?'), 0, 0);
        shown.replace(QRegularExpression(QStringLiteral("^(postgres(ql)?://)[^/]*@")), QStringLiteral("\\1…@"));
        where.display = shown;
        where.error = QStringLiteral("адрес %1 не читается").arg(shown);
        return where;
    }
    if (!url.password().isEmpty()) {
        where.error = QStringLiteral("пароль в адресе %1 не принимается: его берут из ~/.pgpass или файла $PGPASSFILE")
                          .arg(where.display);
        return where;
    }
    where.host = url.host();
    where.user = url.userName();
    where.port = url.port(5432);
    where.database = url.path().mid(1);
    if (where.database.isEmpty() || where.database.contains(QLatin1Char('/'))) {
        where.error = QStringLiteral("в адресе %1 нет имени базы (postgresql://пользователь@сервер:порт/база)")
                          .arg(where.display);
        return where;
    }
    QStringList options;
    for (const auto &[name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (name == QLatin1String("password")) {
            where.error = QStringLiteral("пароль в адресе %1 не принимается: его берут из ~/.pgpass или файла $PGPASSFILE")
                              .arg(where.display);
            return where;
        }
        options << name + QLatin1Char('=') + value;
    }
    // A server that does not answer must not hold the workstation long.
    if (!url.hasQuery() || !QUrlQuery(url).hasQueryItem(QStringLiteral("connect_timeout")))
        options << QStringLiteral("connect_timeout=3");
    where.options = options.join(QLatin1Char(';'));
    where.dialect = &Postgres;
    return where;
}

void StoreLocation::apply(QSqlDatabase &db) const
{
    if (dialect == &Sqlite) {
        db.setDatabaseName(path);
        // A second program on the same file waits its turn instead of failing at once;
        // its transactions last milliseconds, and the window must not hang long on it.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
        return;
    }
    db.setHostName(host);
    db.setPort(port);
    db.setUserName(user);
    db.setPassword(QString()); // libpq reads ~/.pgpass or $PGPASSFILE itself
    db.setDatabaseName(database);
    db.setConnectOptions(options);
}

QString PostgresStatementProblem(const QSqlError &error)
{
    const QString state = error.nativeErrorCode();
    if (state == QLatin1String("55P03"))
        return QStringLiteral("таблица на сервере записей занята другой программой дольше 5 с");
    if (state == QLatin1String("57014"))
        return QStringLiteral("сервер записей не выполнил запрос за 15 с");
    if (state == QLatin1String("42501"))
        return QStringLiteral("у пользователя сервера записей нет права на эту запись");
    return {};
}

bool PostgresRefusesRecord(const QSqlError &error)
{
    // Data exceptions and integrity violations are about this record.
    const QString state = error.nativeErrorCode();
    return state.startsWith(QLatin1String("22")) || state.startsWith(QLatin1String("23"));
}

QString PostgresConnectionProblem(const QSqlError &error, const StoreLocation &where)
{
    const QString text = error.databaseText() + QLatin1Char(' ') + error.driverText();
    const QString state = error.nativeErrorCode();
    // A server that answered with a statement's fault is reached; its texts name timeouts too.
    if (!PostgresStatementProblem(error).isEmpty())
        return {};
    const QString user = where.user.isEmpty() ? QStringLiteral("по умолчанию") : where.user;
    if (state == QLatin1String("28P01") || text.contains(QLatin1String("password authentication failed"))
        || text.contains(QLatin1String("no password supplied")) || text.contains(QLatin1String("password")))
        return QStringLiteral("сервер записей %1 не принял пароль пользователя %2 (пароль берётся из ~/.pgpass или "
                              "файла $PGPASSFILE)")
            .arg(where.display, user);
    if (state == QLatin1String("3D000") || text.contains(QLatin1String("does not exist")))
        return QStringLiteral("на сервере записей %1 нет базы %2 или пользователя %3").arg(where.display, where.database, user);
    if (text.contains(QLatin1String("Connection refused")) || text.contains(QLatin1String("could not translate host"))
        || text.contains(QLatin1String("timeout")) || text.contains(QLatin1String("No route"))
        || text.contains(QLatin1String("Network is unreachable")) || text.contains(QLatin1String("could not connect"))
        || text.contains(QLatin1String("server closed the connection")) || text.contains(QLatin1String("no connection"))
        || error.type() == QSqlError::ConnectionError)
        return QStringLiteral("сервер записей %1 недоступен (нет ответа по адресу %2, порт %3)")
            .arg(where.display, where.host.isEmpty() ? QStringLiteral("localhost") : where.host)
            .arg(where.port);
    return {};
}
