#include "testdatabase.h"

#include "delayproxy.h"
#include "failure.h"
#include "testplatform.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// Runs one statement on the admin database, through the component.
QString onAdminDatabase(const QString &admin, const QString &statement)
{
    OrbeBase base;
    try {
        if (!base.ConnectTo(admin))
            return QStringLiteral("admin connection failed: ") + base.connectFailure();
        base.Connection()->execute(statement);
    } catch (const Failure &failure) {
        return failure.description();
    }
    return QString();
}

} // namespace

QStringList TestDatabase::kinds()
{
    return {QStringLiteral("sqlite"), QStringLiteral("postgresql"), QStringLiteral("odbc-sqlite"),
            QStringLiteral("odbc-postgresql"), QStringLiteral("odbc-mariadb")};
}

QString TestDatabase::createServerDatabase(const QString &adminLocation, const QString &name)
{
    m_reason = onAdminDatabase(adminLocation, QStringLiteral("CREATE DATABASE ") + name);
    if (m_reason.isEmpty()) {
        m_adminLocation = adminLocation;
        m_serverDatabase = name;
    }
    return m_reason;
}

TestDatabase::TestDatabase(const QString &kind)
    : m_kind(kind)
{
    const bool odbc = kind.startsWith(QLatin1String("odbc-"));
    const bool delayed = kind.endsWith(QLatin1String("-delayed"));
    const QString system = odbc ? kind.mid(5) : delayed ? kind.chopped(8) : kind;
    if (odbc && !lacking(Need::OdbcDrivers).isEmpty()) {
        m_reason = lacking(Need::OdbcDrivers);
        m_lackedBySystem = true;
        return;
    }
    if (odbc && qEnvironmentVariable("ODBCSYSINI").isEmpty()) {
        m_reason = QStringLiteral("ODBCSYSINI is not set: no ODBC drivers of the tests (scripts/test.sh sets it)");
        return;
    }
    const QString name = QStringLiteral("tarvel_test_%1_%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QRandomGenerator::global()->generate64(), 0, 36);
    if (system == QLatin1String("sqlite")) {
        QTemporaryDir dir;
        if (!dir.isValid()) {
            m_reason = QStringLiteral("no temporary folder: ") + dir.errorString();
            return;
        }
        dir.setAutoRemove(false);
        m_tempDir = dir.path();
        m_location = m_tempDir + QStringLiteral("/tarvel.sqlite");
        if (!OrbeBase::createDatabaseFile(m_location, &m_reason))
            return;
        if (odbc)
            m_location = QStringLiteral("odbc:Driver={SQLite3};Database=") + m_location;
    } else if (system == QLatin1String("postgresql")) {
        const QString adminUrl = qEnvironmentVariable("TARVEL_TEST_POSTGRES_URL");
        const std::optional<DatabaseLocation> admin = OrbeBase::parseLocation(adminUrl, &m_reason);
        if (!admin || admin->kind != DatabaseLocation::Kind::PostgreSQL) {
            m_reason = QStringLiteral("TARVEL_TEST_POSTGRES_URL is no postgresql:// URL (scripts/test.sh sets it): ") + m_reason;
            return;
        }
        if (!createServerDatabase(admin->toString(), name).isEmpty())
            return;
        DatabaseLocation location = *admin;
        location.database = name;
        m_location = odbc ? QStringLiteral("odbc:Driver={PostgreSQL Unicode};Servername=%1;Port=%2;Database=%3;Uid=%4")
                                .arg(location.host).arg(location.port > 0 ? location.port : 5432).arg(name, location.user)
                          : location.toString();
        if (delayed) {
            m_delay = std::make_unique<DelayProxy>(serverPort(), std::chrono::milliseconds(2));
            if (serverPort() <= 0 || m_delay->port() <= 0) {
                m_reason = QStringLiteral("no proxy in front of TARVEL_TEST_POSTGRES_PORT (scripts/test.sh sets it)");
                return;
            }
            m_location = locationAt(m_delay->port());
        }
    } else if (kind == QLatin1String("odbc-mariadb")) {
        const QString admin = qEnvironmentVariable("TARVEL_TEST_MARIADB_ODBC");
        if (admin.isEmpty()) {
            m_reason = QStringLiteral("TARVEL_TEST_MARIADB_ODBC is not set (scripts/test.sh sets it)");
            return;
        }
        if (!createServerDatabase(QStringLiteral("odbc:") + admin, name).isEmpty())
            return;
        m_location = QStringLiteral("odbc:%1;Database=%2").arg(admin, name);
    } else {
        m_reason = QStringLiteral("unknown database kind ") + kind;
        return;
    }

    if (!m_base.ConnectTo(m_location)) {
        m_reason = QStringLiteral("cannot connect to %1: %2").arg(m_location, m_base.connectFailure());
        return;
    }
    m_connection = m_base.Connection();
    if (!m_serverDatabase.isEmpty()) {
        try {
            m_connection->createSchema();
        } catch (const Failure &failure) {
            m_reason = failure.description();
            m_connection.reset();
        }
    }
}

QString TestDatabase::locationFor(const QString &user) const
{
    if (m_location.startsWith(QLatin1String("odbc:")))
        return QString(m_location).replace(QRegularExpression(QStringLiteral("Uid=[^;]*")), QStringLiteral("Uid=") + user);
    DatabaseLocation location = *OrbeBase::parseLocation(m_location);
    location.user = user;
    return location.toString();
}

TestDatabase::~TestDatabase()
{
    m_connection.reset();
    m_base.Disconnect();
    if (!m_serverDatabase.isEmpty()) {
        // FORCE: a connection a failed test left open must not keep the database.
        const bool postgres = m_adminLocation.startsWith(QLatin1String("postgresql:"));
        const QString reason = onAdminDatabase(m_adminLocation, QStringLiteral("DROP DATABASE IF EXISTS %1%2")
                                                                    .arg(m_serverDatabase, postgres ? " WITH (FORCE)" : ""));
        if (!reason.isEmpty())
            qWarning("%s", qPrintable(reason));
    }
    if (!m_tempDir.isEmpty())
        QDir(m_tempDir).removeRecursively();
}

QString TestDatabase::locationAt(int port) const
{
    std::optional<DatabaseLocation> location = OrbeBase::parseLocation(m_location);
    location->host = QStringLiteral("127.0.0.1");
    location->port = port;
    return location->toString();
}

void TestDatabase::execute(const QString &statement)
{
    if (!m_connection)
        throw Failure(ErrorNumber::NotConnected, ErrorSource::Database, m_reason);
    m_connection->execute(statement);
}
