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

    // The prepared statement for sql; nullptr with the driver's error in error.
    QSqlQuery *preparedQuery(const QString &sql, QSqlError &error)
    {
        auto found = prepared.find(sql);
        if (found != prepared.end())
            return &found.value();
        if (prepared.size() >= 64)
            prepared.clear();
        QSqlQuery query(database());
        query.setForwardOnly(true);
        query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!query.prepare(sql)) {
            error = query.lastError();
            return nullptr;
        }
        return &prepared.insert(sql, query).value();
    }

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
