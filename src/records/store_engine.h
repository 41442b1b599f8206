#pragma once
// Where a store lives and what differs between the two engines it runs on: a local
// SQLite file, or a PostgreSQL server through Qt's QPSQL driver (libpq). The schema
// and its steps are one text; the few words that differ are said here, once.
#include <QString>

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

struct StoreDialect
{
    const char *driver; // the Qt SQL driver
    const char *driverPackage;
    // Words the schema's steps name in braces: {key} an autoincrement id column,
    // {id} a column holding one, {blob} bytes, {real} a double kept exactly,
    // {uuid} an expression making a random UUID's text.
    const char *key;
    const char *id;
    const char *blob;
    const char *real;
    const char *newUuid;
    // Statements (';'-separated) opening a transaction that holds the schema for itself,
    // then the version's read and write (%1: the version).
    const char *beginMigration;
    const char *readVersion;
    const char *writeVersion;
    // Run once per connection.
    const char *onOpen;
    bool wal; // only SQLite has a journal mode to set
    // The version and the count of tables, seen in one piece; false with the query's error.
    bool (*probe)(QSqlQuery &q, int &version, int &tables);
    // A lock, a conflict or a busy file another writer holds: worth another try.
    bool (*busy)(const QSqlError &error);

    // The text with this engine's words in place of the braces.
    QString sql(const char *text) const;
    bool isPostgres() const;
};

struct StoreLocation
{
    const StoreDialect *dialect = nullptr; // null: the text is not a store's address
    QString path;                          // SQLite: the file
    QString host, user, database, options; // PostgreSQL; options as libpq takes them
    int port = 5432;
    QString display; // for messages: the path, or the URL without any password
    QString error;   // why the text is not usable

    // sqlite:PATH, a bare path, or postgresql://[user@]host[:port]/dbname[?libpq options].
    // A password in the URL is refused: libpq reads it from ~/.pgpass or $PGPASSFILE.
    static StoreLocation Parse(const QString &text);
    // Points the connection at the location (driver already chosen by the dialect).
    void apply(QSqlDatabase &db) const;
};

// The user's words for what went wrong on the server (not reached, password not
// taken, no such database), or empty when it is not a connection matter.
QString PostgresConnectionProblem(const QSqlError &error, const StoreLocation &where);
// The user's words for a statement the server refused (a lock or a statement timeout,
// no right to write), or empty.
QString PostgresStatementProblem(const QSqlError &error);
// True when the server refused this record itself (its data), not every record.
bool PostgresRefusesRecord(const QSqlError &error);
