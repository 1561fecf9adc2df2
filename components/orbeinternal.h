#pragma once

// Shared by the database component's sources; callers use the orbe*.h headers.

#include "failure.h"
#include "orbedialect.h"
#include "orbejournal.h"
#include "orbesession.h"
#include "orbestatementcache.h"
#include "orbewaits.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <optional>

// What the recordsets of one connection share: its session and what it keeps
// of its statements. Recordsets keep it alive, so a recordset that outlives
// its connection fails cleanly instead of dangling.
struct OrbeConnectionState
{
    OrbeConnectionState(const QString &connectionName, Dialect dialect, DatabaseWaits waits)
        : session(connectionName, dialect, std::move(waits), statements)
    {
    }
    OrbeStatementCache statements;
    OrbeSession session;
    OrbeSaveJournal *journal = nullptr; // told of every save, when set
};

namespace orbe {
// How long the making of a connection to a server may take.
constexpr int ConnectLimitSeconds = 10;
// Opens the connection and sets up its session with settings of the session
// only, never of the database. On a database server the driver's own set-up
// statements and the session's run under the watchdog, which then tells why
// a connection failed that got no answer. The driver's error on failure,
// else an invalid one.
// An SQLite connection gets its lock wait. Through ODBC the system behind
// the connection is asked and set in dialect.
QSqlError openSession(QSqlDatabase &db, Dialect &dialect, DatabaseWaits &waits);
// The silent server's cause, when the watchdog gave up a wait; else empty.
QString silentServerCause(AnswerWatchdog *watchdog);
// Seconds as a German text ("1,5 Sekunden", "1 Sekunde"), for messages.
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
// TARVEL_LOCK_WAIT_MS (tests set it short). MariaDB counts whole seconds.
int lockWaitMilliseconds(DatabaseSystem system = DatabaseSystem::SQLite);
// The driver's error says the database or session takes no changes. Error
// codes are read as the system that raised them means them: SQLite's result
// codes, PostgreSQL's SQLSTATEs, MariaDB's error numbers (through ODBC too,
// see odbcError()).
bool isReadOnly(const QSqlError &error, DatabaseSystem system);
// What the driver's error says about the database as a whole, in German words
// a user can act on; empty for an error of the one statement. lockWait: the
// wait for another program's lock that the session was set up with.
QString cause(const QSqlError &error, DatabaseSystem system, int lockWait = lockWaitMilliseconds());
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
// On a database server a text column gets text.
QVariant convertForColumn(const QVariant &value, QMetaType columnType, bool server, const QString &column);
// A value as the driver read it, as the declared column type says it is.
QVariant normalised(const QVariant &raw, QMetaType columnType);
// "Column = 'text'" with blanks around its parts and a quote inside the text
// doubled; false for anything else.
bool parseEqualsCriterion(QStringView criterion, QString &column, QString &text);

// Through ODBC (orbeodbc.cpp):
// Opens the connection under the given name; the reason when it cannot be
// opened or the system behind it is none Tarvel knows (the connection is then
// removed again). Sets dialect to the system found.
QString openOdbc(const QString &connectionName, const QString &connectionString, const QString &description,
                 DatabaseWaits &waits, Dialect &dialect);
// Asks the ODBC driver which system is behind the connection and sets it in
// dialect; an error naming the system when it is none Tarvel knows.
QSqlError odbcSystem(const QSqlDatabase &db, Dialect &dialect);
// The statement as the system behind an ODBC connection takes it.
QString odbcStatement(const QString &statement, const Dialect &dialect);
// A value to bind, as the ODBC driver passes it on intact.
QVariant odbcValue(const QVariant &value, const Dialect &dialect);
// The error of a failed query, its codes as the system means them: the
// SQLSTATE for PostgreSQL (psqlODBC's own numbers mean nothing), the
// server's number for MariaDB, SQLite's result code.
QSqlError odbcError(const QSqlQuery &query, const Dialect &dialect);
// The primary key columns of a MariaDB table (the ODBC driver's catalogue
// function does not find them).
QStringList mariaDbPrimaryKey(const QSqlDatabase &db, const QString &table);
// The connection behind the failed query is gone (no answer can come).
bool odbcConnectionLost(const QSqlQuery &query, const Dialect &dialect);
} // namespace orbe
