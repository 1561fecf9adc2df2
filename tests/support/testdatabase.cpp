#include "testdatabase.h"

#include "failure.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

// Runs one statement on the admin database, through the component.
QString onAdminDatabase(const DatabaseLocation &admin, const QString &statement)
{
    OrbeBase base;
    try {
        if (!base.ConnectTo(admin.toString()))
            return QStringLiteral("PostgreSQL admin connection failed (see standard error)");
        base.Connection()->execute(statement);
    } catch (const Failure &failure) {
        return failure.description();
    }
    return QString();
}

} // namespace

QStringList TestDatabase::kinds()
{
    return {QStringLiteral("sqlite"), QStringLiteral("postgresql")};
}

TestDatabase::TestDatabase(const QString &kind)
    : m_kind(kind)
{
    if (kind == QLatin1String("sqlite")) {
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
    } else if (kind == QLatin1String("postgresql")) {
        const QString adminUrl = qEnvironmentVariable("TARVEL_TEST_POSTGRES_URL");
        if (adminUrl.isEmpty()) {
            m_reason = QStringLiteral("TARVEL_TEST_POSTGRES_URL is not set (scripts/test.sh sets it)");
            return;
        }
        const std::optional<DatabaseLocation> admin = OrbeBase::parseLocation(adminUrl, &m_reason);
        if (!admin || admin->kind != DatabaseLocation::Kind::PostgreSQL) {
            m_reason = QStringLiteral("TARVEL_TEST_POSTGRES_URL is no postgresql:// URL: ") + m_reason;
            return;
        }
        const QString name = QStringLiteral("tarvel_test_%1_%2")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(QRandomGenerator::global()->generate64(), 0, 36);
        m_reason = onAdminDatabase(*admin, QStringLiteral("CREATE DATABASE ") + name);
        if (!m_reason.isEmpty())
            return;
        m_postgresDatabase = name;
        DatabaseLocation location = *admin;
        location.database = name;
        m_location = location.toString();
    } else {
        m_reason = QStringLiteral("unknown database kind ") + kind;
        return;
    }

    if (!m_base.ConnectTo(m_location)) {
        m_reason = QStringLiteral("cannot connect to ") + m_location;
        return;
    }
    m_connection = m_base.Connection();
    if (!m_postgresDatabase.isEmpty()) {
        try {
            m_connection->createSchema();
        } catch (const Failure &failure) {
            m_reason = failure.description();
            m_connection.reset();
        }
    }
}

TestDatabase::~TestDatabase()
{
    m_connection.reset();
    m_base.Disconnect();
    if (!m_postgresDatabase.isEmpty()) {
        const auto admin = OrbeBase::parseLocation(qEnvironmentVariable("TARVEL_TEST_POSTGRES_URL"));
        // FORCE: a connection a failed test left open must not keep the database.
        const QString reason = onAdminDatabase(
            *admin, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_postgresDatabase));
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
