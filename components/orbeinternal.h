#pragma once

// Shared by the database component's sources; callers use the orbe*.h headers.

#include "failure.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

// What the recordsets of one connection share. Recordsets keep it alive, so a
// recordset that outlives its connection fails cleanly instead of dangling.
struct OrbeConnectionState
{
    QString connectionName;
    bool postgres = false;
    bool open = true;
    // Primary key columns by lower-case table name; asking the driver costs a
    // catalogue query on PostgreSQL, so it is asked once per table.
    QHash<QString, QStringList> primaryKeys;
    // Write statements prepared once and bound per row: an import writes the
    // same shapes thousands of times, and on PostgreSQL each preparation costs
    // two round trips. Cleared before the connection closes and whenever the
    // schema may have changed.
    QHash<QString, QSqlQuery> prepared;
    // The editable recordset whose transaction is open. Statements run
    // meanwhile belong to that transaction.
    const void *transactionOwner = nullptr;
    // A statement failed since the connection was last known to work: before
    // the next statement outside a transaction the connection is checked and,
    // when it was lost, opened again. Never inside a transaction, where a new
    // connection would silently drop what the transaction wrote so far.
    bool suspect = false;

    // The prepared statement for sql; nullptr with the driver's error in error.
    QSqlQuery *preparedQuery(const QString &sql, QSqlError &error)
    {
        auto found = prepared.find(sql);
        if (found != prepared.end())
            return &found.value();
        if (prepared.size() >= 64)
            prepared.clear();
        QSqlQuery query = newQuery();
        if (!query.prepare(sql)) {
            error = query.lastError();
            return nullptr;
        }
        return &prepared.insert(sql, query).value();
    }

    QSqlDatabase database() const { return QSqlDatabase::database(connectionName, false); }
    QSqlQuery newQuery() const
    {
        QSqlQuery query(database());
        query.setForwardOnly(true);
        query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        return query;
    }

    // Throws NotConnected on a closed connection; outside a transaction opens
    // a connection again that a failed statement left lost.
    void beforeStatement();
    // Runs sql on query; a failure marks the connection suspect. A repeatable
    // statement (one that changes nothing) that fails outside a transaction
    // on a connection found lost runs once more on the reopened connection,
    // so that a server restarted while the program was idle goes unnoticed.
    bool run(QSqlQuery &query, const QString &sql, bool repeatable = false);
    // The failure of a statement the database refused (DatabaseError); marks
    // the connection suspect and names a connection found lost as the cause.
    Failure refused(const QString &description, const QSqlError &error, const QString &statement = {});

    // Begins the transaction of an editable recordset on table and takes the
    // lock that makes its read-then-write atomic against other writers.
    void beginTransaction(const void *owner, const QString &table);
    void commit(const void *owner);
    // Never throws: it runs from destructors, also on a lost connection.
    void rollback(const void *owner) noexcept;

private:
    // The connection no longer reaches its database: closed by the driver,
    // or a trivial statement fails without an answer from the server.
    bool lost();
    QString reopen();
};

namespace orbe {
// Sets up a freshly opened session: SQLite pragmas (WAL when wal), the
// PostgreSQL commit mode. The driver's message on failure, else empty.
QString startSession(QSqlDatabase &db, bool postgres, bool wal);
// The driver's error says the database or session takes no changes.
bool isReadOnly(const QSqlError &error);
// The statement on one line, cut to a length that fits a message.
QString shortened(const QString &statement);
// A Failure from the database component, with the driver's message and the
// statement where there are any.
Failure failure(long number, const QString &description, const QSqlError &error = {},
                const QString &statement = {}, bool connectionLost = false);
} // namespace orbe
