#pragma once

#include "orbebase.h"
#include "orbeconnection.h"

#include <QString>
#include <QStringList>

#include <memory>

// A fresh database with the project's schema and reference rows, for one test.
// kind is "sqlite" (a file in a temporary folder) or "postgresql" (a new
// database on the server named by TARVEL_TEST_POSTGRES_URL, dropped again at the
// end). Without that variable the PostgreSQL kind is unavailable: tests skip it,
// unless TARVEL_REQUIRE_POSTGRES=1, when they fail.
class TestDatabase
{
public:
    explicit TestDatabase(const QString &kind);
    ~TestDatabase();
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;

    static QStringList kinds(); // {"sqlite", "postgresql"}

    bool isAvailable() const { return m_connection != nullptr; }
    QString unavailableReason() const { return m_reason; }
    // The location in the form TARVEL_DATABASE takes.
    QString location() const { return m_location; }
    // A PostgreSQL database's location over TCP on 127.0.0.1 at port: a
    // proxy's in front of serverPort().
    QString locationAt(int port) const;
    // The TCP port of the server of TARVEL_TEST_POSTGRES_URL, which
    // TARVEL_TEST_POSTGRES_PORT names; 0 when unset.
    static int serverPort() { return qEnvironmentVariableIntValue("TARVEL_TEST_POSTGRES_PORT"); }

    OrbeBase &base() { return m_base; }
    std::shared_ptr<OrbeConnection> connection() const { return m_connection; }
    void execute(const QString &statement);

private:
    QString m_kind;
    QString m_location;
    QString m_reason;
    QString m_tempDir;
    QString m_postgresDatabase;
    OrbeBase m_base;
    std::shared_ptr<OrbeConnection> m_connection;
};

// In a data-driven test function: QFETCH the kind, open the database and skip
// (or fail, when PostgreSQL is required) when it is unavailable.
#define TARVEL_OPEN_TEST_DATABASE(variable, kind)                                       \
    TestDatabase variable(kind);                                                        \
    if (!variable.isAvailable()) {                                                      \
        if (qEnvironmentVariable("TARVEL_REQUIRE_POSTGRES") == QLatin1String("1"))      \
            QFAIL(qPrintable(variable.unavailableReason()));                            \
        QSKIP(qPrintable(variable.unavailableReason()));                                \
    }
