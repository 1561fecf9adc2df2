#pragma once

// Internal to the database component.

#include "fileidentity.h"
#include "orbelink_qt.h"
#include "orbesocket.h"
#include "orbesystem.h"

#include <optional>

// A database reached through an ODBC driver (Qt's ODBC driver over the
// system's driver manager): what the driver and the system behind it do
// otherwise than Qt's own drivers. The system behind the connection is asked
// of the driver; its dialect is the session's.
class OdbcLink final : public QtSqlLink
{
public:
    // Opens the data source and finds the system behind it; nullptr with the
    // error when it cannot be opened or the system is none Tarvel knows.
    static std::unique_ptr<OdbcLink> open(const QString &connectionString, std::shared_ptr<DatabaseWaits> waits,
                                          QSqlError &error);
    DatabaseSystem system() const { return m_system; }
    bool locksWaitInTurns() const override { return m_system == DatabaseSystem::SQLite; }
    bool returnsInsertedRows() const override { return m_system != DatabaseSystem::SQLite; }
    // An SQLite file: the one the driver opened, known by what the file was then.
    QString sqliteFile() const override { return m_sqliteFile; }
    bool fileReplaced() const override;

protected:
    QSqlError openDatabase() override;
    QSqlError afterOpen() override;
    bool execute(QSqlQuery &query) override;
    bool executeDirectly(QSqlQuery &query, const QString &sql) override;
    QSqlError errorOf(const QSqlQuery &query) const override;

private:
    OdbcLink(QString connectionName, std::shared_ptr<DatabaseWaits> waits);

    DatabaseSystem m_system = DatabaseSystem::SQLite;
    // The file the SQLite driver opened and which it was (the driver hands out no handle to ask).
    QSqlError findSqliteFile();

    // The socket the driver opened while it connected; none on Windows.
    std::optional<SocketIdentity> m_socket;
    QString m_sqliteFile;
    std::optional<FileIdentity> m_sqliteFileIdentity;
};

namespace orbe {
// Why an ODBC connection could not be made, in German: the driver manager's
// words, or those of the driver that answered.
QString odbcConnectCause(const QSqlError &error, const QString &connectionString);
} // namespace orbe
