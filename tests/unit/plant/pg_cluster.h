#pragma once
// PostgreSQL for the plant tests: the suite's shared cluster (ctest's fixture starts
// it and names its folder in $KESTRO_PG_DIR) or, run by hand, one this process starts;
// and clusters of a test's own, for stopping the server under it. Every test makes
// its own database, so tests running at once never meet.
#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>
#include <gtest/gtest.h>
#include <memory>

class PgCluster
{
public:
    explicit PgCluster(const QString &dir) : m_dir(dir) {}
    ~PgCluster()
    {
        if (m_owned)
            run(QStringLiteral("stop"));
    }

    bool start()
    {
        m_owned = run(QStringLiteral("start"));
        return m_owned && readUrl();
    }
    // Takes a cluster started by someone else.
    bool attach() { return readUrl(); }
    bool kill() { return run(QStringLiteral("kill")); }
    bool restart() { return run(QStringLiteral("restart")); }
    QString url() const { return m_url; }
    QString error() const { return m_error; }

    // A new empty database; its URL, for the user given.
    QString createDatabase(const QString &user = QStringLiteral("postgres"))
    {
        const QString name = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
        if (!admin(QStringLiteral("CREATE DATABASE %1").arg(name)))
            return {};
        QUrl u(m_url);
        u.setUserName(user);
        u.setPath(QLatin1Char('/') + name);
        return u.toString();
    }

    bool admin(const QString &sql, const QString &database = QStringLiteral("postgres"))
    {
        const QUrl u(m_url);
        const QString connection = QUuid::createUuid().toString();
        bool ok = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setHostName(u.host());
            db.setPort(u.port());
            db.setUserName(QStringLiteral("postgres"));
            db.setDatabaseName(database);
            ok = db.open();
            QSqlQuery q(db);
            ok = ok && q.exec(sql);
            if (!ok)
                m_error = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        return ok;
    }

    // The count a query on a test's database gives (its first column of the first row).
    long long count(const QString &url, const QString &sql)
    {
        const QUrl u(url);
        const QString connection = QUuid::createUuid().toString();
        long long n = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
            db.setHostName(u.host());
            db.setPort(u.port());
            db.setUserName(QStringLiteral("postgres"));
            db.setDatabaseName(u.path().mid(1));
            QSqlQuery q(db);
            if (db.open() && q.exec(sql) && q.next())
                n = q.value(0).toLongLong();
            else
                m_error = q.lastError().text() + db.lastError().text();
            db.close();
        }
        QSqlDatabase::removeDatabase(connection);
        return n;
    }

    // The suite's shared cluster.
    static PgCluster &Shared()
    {
        static std::unique_ptr<QTemporaryDir> own;
        static std::unique_ptr<PgCluster> shared;
        if (!shared) {
            const QString dir = qEnvironmentVariable("KESTRO_PG_DIR");
            if (!dir.isEmpty()) {
                shared = std::make_unique<PgCluster>(dir);
                shared->attach();
            } else {
                own = std::make_unique<QTemporaryDir>();
                shared = std::make_unique<PgCluster>(own->path());
                shared->start();
                // Stopped when the tests end, before the folder goes.
                std::atexit([] { shared.reset(); });
            }
        }
        return *shared;
    }

private:
    bool run(const QString &command)
    {
        QProcess p;
        p.start(QStringLiteral("bash"), {QStringLiteral(KESTRO_PG_SCRIPT), command, m_dir});
        const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            m_error = QString::fromLocal8Bit(p.readAllStandardError());
        return ok;
    }
    bool readUrl()
    {
        QFile f(m_dir + QStringLiteral("/url"));
        if (!f.open(QIODevice::ReadOnly))
            return m_error = QStringLiteral("no cluster in ") + m_dir, false;
        m_url = QString::fromUtf8(f.readAll()).trimmed();
        return !m_url.isEmpty();
    }

    QString m_dir;
    QString m_url;
    QString m_error;
    bool m_owned = false;
};
