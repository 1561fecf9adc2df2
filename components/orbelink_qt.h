#pragma once

// Internal to the database component.

#include "orbelink.h"
#include "orbewaits.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <functional>
#include <memory>

// A connection through one of Qt's SQL drivers, under a connection name of
// its own: an SQLite file (QSQLITE) or an ODBC data source (orbelink_odbc.h).
// A Qt SQL connection serves only the thread that opened it.
class QtSqlLink : public OrbeLink
{
public:
    ~QtSqlLink() override;

    // An SQLite file through Qt's driver; nullptr with the driver's error
    // when it cannot be opened.
    static std::unique_ptr<QtSqlLink> openSqlite(const QString &path, std::shared_ptr<DatabaseWaits> waits, QSqlError &error);

    QSqlDatabase database() const { return QSqlDatabase::database(m_connectionName, false); }
    bool isOpen() const override;
    bool run(const QString &sql, const QVariantList &values, bool keep, OrbeRows *rows, QSqlError &error) override;
    bool runTogether(const QString &statements, QSqlError &error) override;
    QString escapeIdentifier(const QString &name) const override;
    void forgetStatements() override { m_prepared.clear(); }
    QSqlError reopen() override;
    void close() override;

protected:
    QtSqlLink(QString connectionName, std::shared_ptr<DatabaseWaits> waits);
    // Adds the connection, lets configure set it up and opens it; on failure
    // the connection is removed again. The one place a link is made.
    QSqlError open(const QString &driver, const std::function<void(QSqlDatabase &)> &configure);
    // What a link needs once its driver has opened the connection.
    virtual QSqlError afterOpen();
    // Runs the query as the driver needs it watched.
    virtual bool execute(QSqlQuery &query);
    virtual bool executeDirectly(QSqlQuery &query, const QString &sql) { return query.exec(sql); }
    // The error of a failed query, its codes as the system behind it means them.
    virtual QSqlError errorOf(const QSqlQuery &query) const { return query.lastError(); }
    // Opens the connection through the driver; the driver's error.
    virtual QSqlError openDatabase();

    const QString m_connectionName;
    const std::shared_ptr<DatabaseWaits> m_waits;

private:
    QSqlQuery newQuery() const;
    // Reads the query's rows; false with the error when reading failed.
    bool readRows(QSqlQuery &query, OrbeRows &rows, QSqlError &error) const;

    // Prepared once and bound per row: an import writes the same shapes
    // thousands of times.
    QHash<QString, QSqlQuery> m_prepared;
};

namespace orbe {
// A new, program-wide unique name for a Qt SQL connection.
QString nextConnectionName();
// The SQLite file under the connection is no longer the one it opened
// (replaced, moved or deleted meanwhile).
bool sqliteFileMoved(const QSqlDatabase &db);
} // namespace orbe
