#pragma once

// Shared by the database component's sources; callers use the orbe*.h headers.

#include "failure.h"
#include "orbewaits.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <optional>

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
    // The columns of each statement's result as recordsets show them: worked
    // out once, since names, lookup and types cost more than a one-row read.
    struct Columns
    {
        QStringList names;    // as shown by OrbeField::Name()
        QStringList sqlNames; // as the driver reports them, for statements
        QList<QMetaType> types;
        QHash<QString, int> byName; // lower-case name
    };
    QHash<QString, Columns> columns;
    // The editable recordset whose transaction is open. Statements run
    // meanwhile belong to that transaction.
    const void *transactionOwner = nullptr;
    // A statement failed since the connection was last known to work: before
    // the next statement outside a transaction the connection is checked and,
    // when it was lost, opened again. Never inside a transaction, where a new
    // connection would silently drop what the transaction wrote so far.
    bool suspect = false;
    // What bounds the connection's waits and lets a cancel end them.
    DatabaseWaits waits;
    // How long the session waits for another program's lock, as set up.
    int lockWait = 0;

    // The prepared statement for sql; nullptr with the driver's error in error.
    QSqlQuery *preparedQuery(const QString &sql, QSqlError &error)
    {
        auto found = prepared.find(sql);
        if (found != prepared.end())
            return &found.value();
        if (prepared.size() >= 64)
            forgetStatements();
        QSqlQuery query = newQuery();
        if (AnswerWatch watched = watch(); !query.prepare(sql)) {
            error = query.lastError();
            return nullptr;
        }
        return &prepared.insert(sql, query).value();
    }

    // Drops the kept statements and what is known of their results: the
    // schema may have changed, or the session that prepared them is gone.
    void forgetStatements()
    {
        prepared.clear();
        columns.clear();
    }

    QSqlDatabase database() const { return QSqlDatabase::database(connectionName, false); }
    // Watches a statement (and the reading of its rows) on PostgreSQL while it lives.
    AnswerWatch watch() { return AnswerWatch(waits.watchdog.get(), connectionName); }
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
    // The same for a kept statement with its values bound: the executed
    // query, or nullptr with the driver's error in error.
    QSqlQuery *runPrepared(const QString &sql, const QVariantList &values, bool repeatable, QSqlError &error);
    // The failure of a statement the database refused (DatabaseError); marks
    // the connection suspect and names a connection found lost as the cause.
    // withoutAnswer, if given, replaces the description when no answer came
    // (a silent server, a lost connection). A wait the user cancelled fails
    // as Cancelled.
    Failure refused(const QString &description, const QSqlError &error, const QString &statement = {},
                    const QString &withoutAnswer = {});

    // Begins the transaction of an editable recordset on table and takes the
    // lock that makes its read-then-write atomic against other writers.
    void beginTransaction(const void *owner, const QString &table);
    void commit(const void *owner);
    // SQLite: throws, before anything is written, when the file under the
    // connection was replaced: writing on would damage the new file.
    void requireSameFile();
    // Never throws: it runs from destructors, also on a lost connection.
    void rollback(const void *owner) noexcept;

private:
    // PostgreSQL only: runs statements separated by semicolons in one round
    // trip. libpq runs them in turn and stops at the first that fails, whose
    // error comes back (the driver would report only the first statement's).
    // Repeated once on a connection found lost, as run() repeats.
    bool runTogether(const QString &statements, QSqlError &error);
    // After a failed statement: marks the connection suspect and, for a
    // repeatable statement outside a transaction, opens a connection found
    // lost again. True when the statement may run once more.
    bool reopenedForRepeat(bool repeatable);
    // The connection no longer reaches its database: closed by the driver,
    // or a trivial statement fails without an answer from the server.
    bool lost();
    QString reopen();
};

namespace orbe {
// Opens the connection and sets up its session with settings of the session
// only, never of the database. On PostgreSQL the driver's own set-up
// statements and the session's run under the watchdog, which then tells why
// a connection failed that got no answer. The driver's error on failure,
// else an invalid one.
// An SQLite connection gets its lock wait.
QSqlError openSession(QSqlDatabase &db, bool postgres, DatabaseWaits &waits);
// The silent server's cause, when the watchdog gave up a wait; else empty.
QString silentServerCause(AnswerWatchdog *watchdog);
// Seconds as a German text ("1,5"), for messages.
QString seconds(int milliseconds);
// The SQLite file under the connection is no longer the one it opened
// (replaced, moved or deleted meanwhile).
bool sqliteFileMoved(const QSqlDatabase &db);
// Why writing fails where the "-wal" and "-shm" files beside an SQLite file
// belong to another user and cannot be written; empty otherwise.
QString sqliteSideFilesCause(const QString &databaseFile);
// Why a database in WAL mode cannot be opened in a folder that takes no files
// (its "-shm" file cannot be made); empty for another error.
QString sqliteWalFolderCause(const QString &databaseFile, const QSqlError &error);
// How long a statement waits for another program's lock: 30 s, or
// TARVEL_LOCK_WAIT_MS (tests set it short).
int lockWaitMilliseconds();
// The driver's error says the database or session takes no changes. Error
// codes are read as the driver that raised them means them: SQLite's result
// codes, PostgreSQL's SQLSTATEs.
bool isReadOnly(const QSqlError &error, bool postgres);
// What the driver's error says about the database as a whole, in German words
// a user can act on; empty for an error of the one statement. lockWait: the
// wait for another program's lock that the session was set up with.
QString cause(const QSqlError &error, bool postgres, int lockWait = lockWaitMilliseconds());
// How long a statement may go without any answer from a PostgreSQL server:
// 60 s, or TARVEL_ANSWER_WAIT_MS (tests set it short).
int answerWaitMilliseconds();
// The statement on one line, cut to a length that fits a message.
QString shortened(const QString &statement);
// A Failure from the database component: the description, the cause in
// brackets, the driver's message and the statement where there are any.
Failure failure(long number, const QString &description, const QSqlError &error = {},
                const QString &statement = {}, const QString &why = {});

// A name in German quotation marks, for messages.
QString quoted(const QString &name);
// The value as the column's type, so that it is stored (and read back) as
// that type on every database. Throws TypeMismatch or Overflow.
QVariant convertForColumn(const QVariant &value, QMetaType columnType, bool postgres, const QString &column);
// A value as the driver read it, as the declared column type says it is.
QVariant normalised(const QVariant &raw, QMetaType columnType);
// "Column = 'text'" with blanks around its parts and a quote inside the text
// doubled; false for anything else.
bool parseEqualsCriterion(QStringView criterion, QString &column, QString &text);
} // namespace orbe
