#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL 15 cluster of one test's own, on a unix socket in a temporary
// folder and on 127.0.0.1 at a free port, that the test may stop and start at
// will (the shared test server must never be stopped: other tests run against
// it). As root the cluster belongs to the postgres user, as PostgreSQL refuses
// to run as root.
class PrivateCluster
{
public:
    // With tls, TCP takes only TLS with a password (scram-sha-256), the
    // server's certificate signed by a throwaway authority; the unix socket
    // stays open without one, for setting up.
    explicit PrivateCluster(bool tls = false);
    ~PrivateCluster();
    PrivateCluster(const PrivateCluster &) = delete;
    PrivateCluster &operator=(const PrivateCluster &) = delete;

    // Empty when the cluster runs, else why not (binaries missing, initdb failed).
    QString unavailableReason() const { return m_reason; }
    // The admin database "postgres", in the form TARVEL_DATABASE takes, over
    // the unix socket or over TCP (to another port than the server's: a proxy's).
    QString location(bool tcp = false, int port = 0) const;
    int port() const { return m_port; }
    // The authority that signed the server's certificate, and another one.
    QString authority() const { return m_folder.filePath(QStringLiteral("ca.crt")); }
    QString otherAuthority() const { return m_folder.filePath(QStringLiteral("other.crt")); }
    // The password of the user "postgres" over TLS.
    static QString password() { return QStringLiteral("Ge'heim; 1\\x:"); }

    // Waits until the server is up or down. Stopping is the administrator's
    // "fast" shutdown (sessions are ended, open transactions roll back), or
    // with crash one that ends every process at once, as a crash would.
    bool start();
    bool stop(bool crash = false);

private:
    bool runAsOwner(const QStringList &command);
    QTemporaryDir m_folder;
    QString m_reason;
    int m_port = 0;
    bool m_tls = false;
};

// In a test function: a private cluster, skipped (or failed, when PostgreSQL is
// required) when it cannot run here.
#define TARVEL_START_PRIVATE_CLUSTER(variable)                                          \
    PrivateCluster variable;                                                            \
    if (!variable.unavailableReason().isEmpty()) {                                      \
        if (qEnvironmentVariable("TARVEL_REQUIRE_POSTGRES") == QLatin1String("1"))      \
            QFAIL(qPrintable(variable.unavailableReason()));                            \
        QSKIP(qPrintable(variable.unavailableReason()));                                \
    }
