#pragma once

// Shared by the database component's sources; callers use the orbe*.h headers.

#include "failure.h"
#include "orbedialect.h"
#include "orbejournal.h"
#include "orbesession.h"
#include "orbestatementcache.h"
#include "orbewaits.h"

#include <QMetaType>
#include <QSqlError>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

// A save of a snapshot recordset waiting to be sent (OrbeConnection::sendSaves).
struct OrbeWaitingSave
{
    const void *owner = nullptr; // the recordset's inside, which drops its saves when it goes
    QString table;
    QString keyColumn; // as the database names it
    bool added = false;
    // Gives one row back, or fails with a division by zero when the record
    // is not as read. An added record's first value is its key.
    QString write;
    QVariantList values;
    OrbeSavedRecord record; // as the journal is told
    // Tells the recordset whether it was saved, and an added record's key.
    std::function<void(bool saved, const QVariant &key)> settle;
};

// What the recordsets of one connection share: its session. Recordsets keep
// it alive, so a recordset that outlives its connection fails cleanly
// instead of dangling.
struct OrbeConnectionState
{
    OrbeConnectionState(std::unique_ptr<OrbeLink> link, const OrbeDialect &dialect, std::shared_ptr<DatabaseWaits> waits)
        : session(std::move(link), dialect, std::move(waits))
    {
    }
    OrbeSession session;
    OrbeSaveJournal *journal = nullptr; // told of every save, when set
    std::vector<OrbeWaitingSave> waitingSaves;
};

namespace orbe {
// Why writing fails where the "-wal" and "-shm" files beside an SQLite file
// belong to another user and cannot be written; empty otherwise.
QString sqliteSideFilesCause(const QString &databaseFile);
// Why a database in WAL mode cannot be opened in a folder that takes no files
// (its "-shm" file cannot be made); empty for another error.
QString sqliteWalFolderCause(const QString &databaseFile, const QSqlError &error);
// The causes several systems name alike.
QString readOnlyCause();
QString missingSchemaCause();
QString wrongTypeCause();
// A foreign key's refusal: a record another table refers to, a reference to
// a record that is not there, or either where the system does not tell.
QString referredToCause();
QString refersToMissingCause();
QString foreignKeyCause();
QString valueDoesNotFitCause();
// What a save says when it fails: at the transaction's begin and lock, at
// its write (of a new record, or of one read), at its commit, and at a
// commit that got no answer.
QString notBegun();
QString notSaved(bool added);
QString notCommitted();
QString commitUncertain();
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
} // namespace orbe
