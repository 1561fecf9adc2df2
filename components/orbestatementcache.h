#pragma once

// Internal to the database component.

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

class QSqlRecord;
class OrbeSession;

// What a connection keeps of the statements it ran, so that the same shapes
// cost no second round trip: prepared statements, the columns of their
// results, and the primary keys of the tables written. All of it belongs to
// the session that made it and is dropped when that session goes, or when
// the schema may have changed.
class OrbeStatementCache
{
public:
    // The columns of a statement's result as recordsets show them.
    struct Columns
    {
        QStringList names;    // as shown by OrbeField::Name()
        QStringList sqlNames; // as the driver reports them, for statements
        QList<QMetaType> types;
        QHash<QString, int> byName; // lower-case name
    };

    // The prepared statement for sql; nullptr with the driver's error in error.
    QSqlQuery *prepared(OrbeSession &session, const QString &sql, QSqlError &error);
    // The columns of the statement's result, worked out once while its shape
    // is unchanged: names, lookup and types cost more than a one-row read.
    // lowerCase: the system folds unquoted names to lower case (PostgreSQL).
    const Columns &resultColumns(const QString &statement, const QSqlRecord &record, bool lowerCase);
    // The primary key columns of table, asked of the driver once per table
    // (a catalogue query on PostgreSQL and MariaDB).
    const QStringList &primaryKey(OrbeSession &session, const QString &table);

    // Drops the statements and what is known of their results.
    void forgetStatements();
    // Drops everything, the primary keys too.
    void forget();

private:
    // Write statements prepared once and bound per row: an import writes the
    // same shapes thousands of times, and on PostgreSQL each preparation
    // costs two round trips.
    QHash<QString, QSqlQuery> m_prepared;
    QHash<QString, Columns> m_columns;
    QHash<QString, QStringList> m_primaryKeys; // by lower-case table name
};
