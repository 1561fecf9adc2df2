#pragma once

#include "orbebase.h"
#include "orbeconnection.h"

#include <QString>
#include <QStringList>

#include <memory>

class DelayProxy;

// A fresh database with the project's schema and reference rows, for one test.
// kind is "sqlite" (a file in a temporary folder) or "postgresql" (a new
// database on the server named by TARVEL_TEST_POSTGRES_URL, dropped again at the
// end; "postgresql-delayed" reaches it through a proxy that holds every packet
// 2 ms each way, over TCP at TARVEL_TEST_POSTGRES_PORT), each also reached through ODBC ("odbc-sqlite", "odbc-postgresql", with
// the drivers of the odbcinst.ini in ODBCSYSINI), or "odbc-mariadb" (a new
// database on the MariaDB server of the ODBC connection string
// TARVEL_TEST_MARIADB_ODBC). Without these variables those kinds are
// unavailable: tests skip them, unless TARVEL_REQUIRE_POSTGRES=1, when they fail;
// a kind that the system lacks (testplatform.h) always skips.
class TestDatabase
{
public:
    explicit TestDatabase(const QString &kind);
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    static QStringList kinds(); // the native kinds, then the ODBC ones

    bool isAvailable() const { return m_connection != nullptr; }
    QString unavailableReason() const { return m_reason; }
    bool lackedBySystem() const { return m_lackedBySystem; }
    // The location in the form TARVEL_DATABASE takes.
    QString location() const { return m_location; }
    // A PostgreSQL database's location over TCP on 127.0.0.1 at port: a
    // proxy's in front of serverPort().
    QString locationAt(int port) const;
    // The TCP port of the server of TARVEL_TEST_POSTGRES_URL, which
    // TARVEL_TEST_POSTGRES_PORT names; 0 when unset.
    static int serverPort() { return qEnvironmentVariableIntValue("TARVEL_TEST_POSTGRES_PORT"); }
    // The same database for another user of the server.
    QString locationFor(const QString &user) const;
    // The database's name on its server; empty for SQLite.
    QString serverDatabase() const { return m_serverDatabase; }

    OrbeBase &base() { return m_base; }
    std::shared_ptr<OrbeConnection> connection() const { return m_connection; }
    void execute(const QString &statement);

private:
    // A new database on a server through its admin location; the reason when it fails.
    QString createServerDatabase(const QString &adminLocation, const QString &name);

    QString m_kind;
    QString m_location;
    QString m_reason;
    bool m_lackedBySystem = false;
    QString m_tempDir;
    QString m_adminLocation;
    QString m_serverDatabase;
    std::unique_ptr<DelayProxy> m_delay; // goes after the database is dropped
    OrbeBase m_base;
    std::shared_ptr<OrbeConnection> m_connection;
};

// In a data-driven test function: QFETCH the kind, open the database and skip
// (or fail, when PostgreSQL is required) when it is unavailable.
#define TARVEL_OPEN_TEST_DATABASE(variable, kind)                                       \
    TestDatabase variable(kind);                                                        \
    if (!variable.isAvailable()) {                                                      \
        if (qEnvironmentVariable("TARVEL_REQUIRE_POSTGRES") == QLatin1String("1")       \
            && !variable.lackedBySystem())                                              \
            QFAIL(qPrintable(variable.unavailableReason()));                            \
        QSKIP(qPrintable(variable.unavailableReason()));                                \
    }
