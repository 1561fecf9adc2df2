#pragma once

// Internal to the database component.

#include "failure.h"
#include "orbedialect.h"
#include "orbewaits.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

class OrbeStatementCache;
class OrbeTransaction;

// A connection's session with its database: which connection it is, whether
// it still reaches the database, opening it again when it was lost, running
// statements under the answer watchdog, and wording their failures.
//
// A statement that failed leaves the session suspect: before the next
// statement outside a transaction the connection is checked and, when it was
// lost, opened again. Never inside a transaction, where a new connection
// would silently drop what the transaction wrote so far.
class OrbeSession
{
public:
    OrbeSession(const QString &connectionName, Dialect dialect, DatabaseWaits waits, OrbeStatementCache &statements);

    QSqlDatabase database() const { return QSqlDatabase::database(m_connectionName, false); }
    const Dialect &dialect() const { return m_dialect; }
    bool isPostgres() const { return m_dialect.isPostgres(); }
    bool isOpen() const { return m_open; }
    // How long a statement waits for another program's lock, as set up.
    int lockWait() const { return m_lockWait; }
    DatabaseWaits &waits() { return m_waits; }

    // A query on the connection that reads forward only.
    QSqlQuery newQuery() const;
    // The error of a failed query, its codes as the system behind it means them.
    QSqlError errorOf(const QSqlQuery &query) const;
    // The statement as the system behind the connection takes it, and a
    // value to bind as its driver passes it on intact.
    QString statement(const QString &sql) const;
    QVariant bindable(const QVariant &value) const;

    // Watches a statement (and the reading of its rows) on a server while it lives.
    AnswerWatch watch() { return AnswerWatch(m_waits.watchdog.get(), m_connectionName); }

    // The transaction that statements run in now; nullptr outside one.
    const OrbeTransaction *openTransaction() const { return m_openTransaction; }
    void setOpenTransaction(const OrbeTransaction *transaction) { m_openTransaction = transaction; }

    // Throws NotConnected on a closed connection; outside a transaction opens
    // a connection again that a failed statement left lost.
    void beforeStatement();
    // Runs sql on query; a failure marks the session suspect. A repeatable
    // statement (one that changes nothing) that fails outside a transaction
    // on a connection found lost runs once more on the reopened connection,
    // so that a server restarted while the program was idle goes unnoticed.
    bool run(QSqlQuery &query, const QString &sql, bool repeatable = false);
    // The same for a kept statement with its values bound: the executed
    // query, or nullptr with the driver's error in error.
    QSqlQuery *runPrepared(const QString &sql, const QVariantList &values, bool repeatable, QSqlError &error);
    // PostgreSQL only: runs statements separated by semicolons in one round
    // trip. libpq runs them in turn and stops at the first that fails, whose
    // error comes back (the driver would report only the first statement's);
    // psqlODBC does the same by itself.
    // Repeated once on a connection found lost, as run() repeats.
    bool runTogether(const QString &statements, QSqlError &error);

    // The failure of a statement the database refused (DatabaseError); marks
    // the session suspect and names a connection found lost as the cause.
    // withoutAnswer, if given, replaces the description when no answer came
    // (a silent server, a lost connection). A wait the user cancelled fails
    // as Cancelled.
    Failure refused(const QString &description, const QSqlError &error, const QString &statement = {},
                    const QString &withoutAnswer = {});

    void close();

private:
    // After a failed statement: marks the session suspect and, for a
    // repeatable statement outside a transaction, opens a connection found
    // lost again. True when the statement may run once more.
    bool reopenedForRepeat(bool repeatable);
    // The connection no longer reaches its database: closed by the driver,
    // or a trivial statement fails without an answer from the server.
    bool lost();
    QString reopen();

    const QString m_connectionName;
    Dialect m_dialect;
    // How long the session waits for another program's lock, as set up.
    const int m_lockWait;
    DatabaseWaits m_waits;
    OrbeStatementCache &m_statements;
    bool m_open = true;
    bool m_suspect = false;
    const OrbeTransaction *m_openTransaction = nullptr;
};
