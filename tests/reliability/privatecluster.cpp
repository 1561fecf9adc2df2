#include "privatecluster.h"

#include "orbebase.h"
#include "orbeconnection.h"
#include "testplatform.h"

#include <QFileInfo>
#include <QProcess>

#include <unistd.h>

namespace {
const QString Binaries = QStringLiteral("/usr/lib/postgresql/15/bin/");

// A TCP port on 127.0.0.1 that nobody listens on just now.
int freePort()
{
    int port = 0;
    closeSocket(listenOnLoopback(&port));
    return port;
}
} // namespace

PrivateCluster::PrivateCluster(bool tls)
    : m_tls(tls)
{
    if (!QFileInfo(Binaries + QStringLiteral("initdb")).isExecutable()) {
        m_reason = QStringLiteral("PostgreSQL 15 fehlt (%1)").arg(Binaries);
        return;
    }
    m_port = freePort();
    if (!m_folder.isValid()) {
        m_reason = QStringLiteral("kein temporärer Ordner: ") + m_folder.errorString();
        return;
    }
    if (geteuid() == 0 && QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres:"), m_folder.path()}) != 0) {
        m_reason = QStringLiteral("chown postgres %1 misslang").arg(m_folder.path());
        return;
    }
    if (!runAsOwner({Binaries + QStringLiteral("initdb"), QStringLiteral("-D"), m_folder.filePath(QStringLiteral("data")),
                     QStringLiteral("-U"), QStringLiteral("postgres"), QStringLiteral("-A"), QStringLiteral("trust"),
                     QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")}))
        return;
    if (tls) {
        const QString key = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ");
        const QString script =
            QStringLiteral("openssl req -x509 %1 -keyout ca.key -out ca.crt -days 2 -subj '/CN=Tarvel Test CA' && "
                           "openssl req -x509 %1 -keyout other.key -out other.crt -days 2 -subj '/CN=Tarvel Test CA' && "
                           "openssl req %1 -keyout server.key -out server.csr -subj '/CN=localhost' && "
                           "echo 'subjectAltName=DNS:localhost,IP:127.0.0.1' > san.ext && "
                           "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out server.crt "
                           "-days 2 -extfile san.ext && chmod 600 server.key && "
                           "printf 'local all all trust\\nhostssl all all 127.0.0.1/32 scram-sha-256\\n' > hba.conf")
                .arg(key);
        if (!runAsOwner({QStringLiteral("sh"), QStringLiteral("-c"), script}))
            return;
    }
    if (start() && tls) {
        OrbeBase admin;
        if (!admin.ConnectTo(location()))
            m_reason = admin.connectFailure();
        else
            admin.Connection()->execute(QStringLiteral("ALTER ROLE postgres PASSWORD '%1'")
                                            .arg(QString(password()).replace(u'\'', QLatin1String("''"))));
    }
}

PrivateCluster::~PrivateCluster()
{
    if (QFileInfo::exists(m_folder.filePath(QStringLiteral("data/postmaster.pid"))))
        stop(true);
}

QString PrivateCluster::location(bool tcp, int port) const
{
    DatabaseLocation location;
    location.kind = DatabaseLocation::Kind::PostgreSQL;
    location.user = QStringLiteral("postgres");
    location.host = tcp ? QStringLiteral("127.0.0.1") : m_folder.path();
    location.port = port > 0 ? port : m_port;
    location.database = QStringLiteral("postgres");
    return location.toString();
}

bool PrivateCluster::start()
{
    return runAsOwner({Binaries + QStringLiteral("pg_ctl"), QStringLiteral("-D"), m_folder.filePath(QStringLiteral("data")),
                       QStringLiteral("-l"), m_folder.filePath(QStringLiteral("server.log")), QStringLiteral("-w"),
                       QStringLiteral("-o"),
                       QStringLiteral("-c listen_addresses=127.0.0.1 -p %1 -k %2 -c fsync=off").arg(m_port).arg(m_folder.path())
                           + (m_tls ? QStringLiteral(" -c ssl=on -c ssl_cert_file=%1/server.crt -c ssl_key_file=%1/server.key"
                                                     " -c hba_file=%1/hba.conf").arg(m_folder.path())
                                    : QString()),
                       QStringLiteral("start")});
}

bool PrivateCluster::stop(bool crash)
{
    return runAsOwner({Binaries + QStringLiteral("pg_ctl"), QStringLiteral("-D"), m_folder.filePath(QStringLiteral("data")),
                       QStringLiteral("-m"), crash ? QStringLiteral("immediate") : QStringLiteral("fast"),
                       QStringLiteral("-w"), QStringLiteral("stop")});
}

bool PrivateCluster::runAsOwner(const QStringList &command)
{
    QProcess process;
    process.setWorkingDirectory(m_folder.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (geteuid() == 0)
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} + command);
    else
        process.start(command.first(), command.mid(1));
    const bool done = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
                      && process.exitCode() == 0;
    if (!done)
        m_reason = QStringLiteral("%1 misslang: %2").arg(QFileInfo(command.first()).fileName(),
                                                          QString::fromLocal8Bit(process.readAll()));
    return done;
}
