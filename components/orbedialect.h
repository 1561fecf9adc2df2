#pragma once

// Internal to the database component: what the system behind a connection
// speaks and how it answers, one implementation per system
// (dialect_sqlite.cpp, dialect_postgresql.cpp, dialect_mariadb.cpp). How the
// statements travel (Qt's SQLite driver, ODBC, the PostgreSQL client
// library) is the link's (orbelink.h). A new system is one file more.

#include "orbesystem.h"

#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariant>

class OrbeLink;
class OrbeSession;

class OrbeDialect
{
public:
    virtual ~OrbeDialect() = default;

    virtual DatabaseSystem system() const = 0;
    // The system's name, for messages.
    virtual QString name() const = 0;

    // Sets up a new connection's session with settings of the session only,
    // never of the database: its lock wait, and what else Tarvel relies on.
    // A check needs no more than the right to read.
    virtual QSqlError startSession(OrbeLink &link) const = 0;
    // A query whose answer tells this session from another one of the same
    // connection (a driver that connects again by itself); empty where a
    // session cannot change under the connection.
    virtual QString sessionIdentityQuery() const { return {}; }
    // The statement as the system takes it, and a value to bind as its
    // driver passes it on intact.
    virtual QString statement(const QString &sql) const { return sql; }
    virtual QVariant bindable(const QVariant &value) const { return value; }

    // The primary key columns of a table (empty for none); false with the
    // error when the system could not be asked.
    virtual bool primaryKey(OrbeSession &session, const QString &table, QStringList &columns,
                            QSqlError &error) const = 0;
    // An INSERT of a row that sets no column.
    virtual QString insertOfDefaults(const QString &table) const
    {
        return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
    }
    // An UPDATE's count of rows is of those it found, not only of those it changed.
    virtual bool updateCountsFoundRows() const { return true; }

    // A row's transaction on table, with the lock that keeps other writers
    // of the table out, so that its read-then-write is atomic. lockHeld: what
    // the lock left to release after the transaction (a named lock). False
    // with the error and the statement that failed; the session then knows
    // whether the transaction is open.
    virtual bool beginRow(OrbeSession &session, const QString &table, QString &lockHeld, QSqlError &error,
                          QString &failed) const = 0;
    // Releases what beginRow left besides the transaction, after it ended.
    virtual void releaseRowLock(OrbeSession &, QString &lockHeld) const { lockHeld.clear(); }

    // Rows' transactions sent several at once, where the link sends batches.
    // The statements that begin a row's transaction on table and take its
    // lock, as beginRow() runs them; empty where the system takes no batch.
    virtual QStringList rowBegin(const QString &) const { return {}; }
    // A query of new keys for a table's key column, as many as asked, in
    // order (bound: the table, the column, how many); empty where unknown.
    virtual QString keysAhead() const { return {}; }
    // A query whose one value is true when an insert into a table leaves in
    // the new row exactly what it gives it, with a key from keysAhead(), and
    // the user may insert so (bound: the table, the key column).
    virtual QString insertsAsGiven() const { return {}; }

    // The error says the database or session takes no changes.
    virtual bool isReadOnly(const QSqlError &error) const = 0;
    // What the error says about the database as a whole, in German words a
    // user can act on; empty for an error of the one statement. lockWait:
    // the wait for another program's lock the session was set up with.
    virtual QString cause(const QSqlError &error, int lockWait) const = 0;
    // The error says the connection is gone: no answer can come on it.
    virtual bool connectionLost(const QSqlError &error) const = 0;
};

// The dialect of a system.
const OrbeDialect &dialectOf(DatabaseSystem system);
