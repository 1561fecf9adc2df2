#pragma once

// Shared by the database component's sources; callers use the orbe*.h headers.

#include "failure.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
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

    QSqlDatabase database() const { return QSqlDatabase::database(connectionName, false); }
};

namespace orbe {
// The statement on one line, cut to a length that fits a message.
QString shortened(const QString &statement);
// A Failure from the database component, with the driver's message and the
// statement where there are any.
Failure failure(long number, const QString &description, const QSqlError &error = {},
                const QString &statement = {});
} // namespace orbe
