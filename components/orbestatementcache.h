#pragma once

// Internal to the database component.

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

class OrbeSession;
struct OrbeRows;

// What a session keeps of its statements, so that the same shapes cost no
// second look: the columns of their results and the primary keys of the
// tables written. Dropped when the session goes, or when the schema may have
// changed. (Prepared statements are the link's.)
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

    // The columns of the statement's result, worked out once while its shape
    // is unchanged: names, lookup and types cost more than a one-row read.
    // lowerCase: the system folds unquoted names to lower case (PostgreSQL).
    const Columns &resultColumns(const QString &statement, const OrbeRows &rows, bool lowerCase);
    // The primary key columns of table, asked of the database once per table.
    // Throws the refusal when the database could not be asked; that is not kept.
    const QStringList &primaryKey(OrbeSession &session, const QString &table);
    // Whether a new record of table can be sent with others (the dialect's
    // insertsAsGiven()), asked once per table. Throws as primaryKey() does.
    bool addsTogether(OrbeSession &session, const QString &table);

    // Drops what is known of the statements' results.
    void forgetStatements() { m_columns.clear(); }
    // Drops everything, the primary keys too.
    void forget();

private:
    QHash<QString, Columns> m_columns;
    QHash<QString, QStringList> m_primaryKeys; // by lower-case table name
    QHash<QString, bool> m_addsTogether;       // the same
};
