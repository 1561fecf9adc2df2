#pragma once

// Internal to the database component: how statements travel to a database
// and their rows come back. One kind per way of reaching a database: Qt's
// drivers (an SQLite file, an ODBC data source) and the PostgreSQL client
// library, which Tarvel drives itself so that every wait is its own to bound
// and to cancel. What the system behind a connection speaks is its dialect's
// (orbedialect.h), not the link's.

#include <QList>
#include <QMetaType>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <vector>

// A statement's result, held on the client.
struct OrbeRows
{
    QStringList names; // the columns, as the driver names them
    QList<QMetaType> types;
    std::vector<QList<QVariant>> rows;
    // The rows an INSERT, UPDATE or DELETE changed, as the system counts them.
    int affected = -1;
};

// One statement of a batch (OrbeLink::runBatch), bound and kept as run()
// binds and keeps it.
struct OrbeStatement
{
    QString sql;
    QVariantList values = {};
    bool keep = false;
};

// What the statements of a batch gave back.
struct OrbeBatchAnswer
{
    std::vector<OrbeRows> rows; // of each statement that ran, in order
    // The first statement that failed, with its error; none after it ran.
    // -1 when none failed.
    qsizetype failed = -1;
    QSqlError error;
};

class OrbeLink
{
public:
    virtual ~OrbeLink() = default;

    // The connection is open; false once it is closed or known to be lost.
    virtual bool isOpen() const = 0;
    // Runs one statement, each "?" outside quotes bound to a value in order,
    // and holds its rows in rows (if given). keep: the statement's shape
    // comes again (every row of a run), so it is prepared once and kept.
    // False with the driver's error.
    virtual bool run(const QString &sql, const QVariantList &values, bool keep, OrbeRows *rows,
                     QSqlError &error) = 0;
    // Statements separated by ";", in one round trip where the system takes
    // them so; they run in turn and stop at the first failure, whose error
    // comes back.
    virtual bool runTogether(const QString &statements, QSqlError &error) = 0;
    // Statements in one round trip where sendsBatches(): the system reads
    // them all, runs them in turn and skips every one after the first that
    // fails; their answers are read one by one. Elsewhere one after the other.
    virtual bool sendsBatches() const { return false; }
    virtual void runBatch(const QList<OrbeStatement> &statements, OrbeBatchAnswer &answer)
    {
        answer = {};
        for (qsizetype i = 0; i < statements.size(); ++i) {
            OrbeRows rows;
            if (!run(statements[i].sql, statements[i].values, statements[i].keep, &rows, answer.error)) {
                answer.failed = i;
                return;
            }
            answer.rows.push_back(std::move(rows));
        }
    }
    // A name as a quoted identifier of the system.
    virtual QString escapeIdentifier(const QString &name) const = 0;
    // Kept statements belong to one session: dropped before it goes.
    virtual void forgetStatements() = 0;
    // Closes the connection and makes it again with what it was made with;
    // the driver's error when that fails.
    virtual QSqlError reopen() = 0;
    virtual void close() = 0;

    // An SQLite file: its path as opened; empty for a server.
    virtual QString sqliteFile() const { return {}; }
    // That file was replaced, moved or deleted since it was opened: what the
    // connection writes on would go into a file nobody sees any more.
    virtual bool fileReplaced() const { return false; }
    // The driver gives up a wait for another program's write lock after a
    // short turn, and the caller waits in such turns (SQLite through ODBC).
    virtual bool locksWaitInTurns() const { return false; }
    // An INSERT … RETURNING gives the new row back (the SQLite ODBC driver's does not).
    virtual bool returnsInsertedRows() const { return true; }
};
