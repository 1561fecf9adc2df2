#include "orbetransaction.h"

#include "orbeinternal.h"
#include "orbesession.h"

#include <libpq-fe.h>

bool OrbeTransaction::isOpen() const
{
    return m_session.openTransaction() == this;
}

void OrbeTransaction::join(const QString &table)
{
    if (!m_session.openTransaction())
        begin(table);
}

void OrbeTransaction::requireSameFile()
{
    if (m_session.isPostgres() || !orbe::sqliteFileMoved(m_session.database()))
        return;
    // SQLite leaves its write-ahead log of a moved file behind on closing, and
    // the file that now has the name would take it for its own: what this
    // connection saved goes into the file it opened, and the log is emptied.
    rollback();
    QSqlQuery checkpoint = m_session.newQuery();
    checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    checkpoint.finish();
    throw Failure(ErrorNumber::DatabaseError, ErrorSource::Database,
                  QStringLiteral("Die Datenbankdatei %1 wurde während des Laufs ersetzt, verschoben oder gelöscht. "
                                 "Tarvel schreibt nicht in eine Datei, die es nicht geöffnet hat; bitte starten Sie "
                                 "Tarvel neu.")
                      .arg(orbe::quoted(m_session.database().databaseName())));
}

void OrbeTransaction::begin(const QString &table)
{
    m_session.beforeStatement();
    requireSameFile();
    // SQLite: IMMEDIATE takes the one write lock before the read, and the lock
    // wait lets a second writer wait for it rather than fail. PostgreSQL:
    // SHARE ROW EXCLUSIVE conflicts with itself and with every INSERT, UPDATE
    // and DELETE on the table, while plain reads go on; taken before the
    // read, it makes that read see every row an earlier writer committed.
    QSqlError error;
    QString failed;
    if (m_session.isPostgres()) {
        const QString begin = QStringLiteral("BEGIN");
        const QString lock = QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table);
        if (m_session.runTogether(begin + QStringLiteral("; ") + lock, error)) {
            m_session.setOpenTransaction(this);
            return;
        }
        // Inside a transaction after the failure: the lock failed, not the begin.
        const bool begun = PQtransactionStatus(libpqConnection(m_session.database())) == PQTRANS_INERROR;
        if (begun)
            m_session.setOpenTransaction(this);
        failed = begun ? lock : begin;
    } else {
        failed = QStringLiteral("BEGIN IMMEDIATE");
        QSqlQuery query = m_session.newQuery();
        if (m_session.run(query, failed, true)) {
            m_session.setOpenTransaction(this);
            return;
        }
        error = query.lastError();
    }
    rollback();
    // A read-only database refuses the write lock, but then nothing can write
    // anyway: the recordset still reads, and a write fails where it is tried.
    QSqlQuery query = m_session.newQuery();
    if (orbe::isReadOnly(error, m_session.isPostgres()) && m_session.run(query, QStringLiteral("BEGIN"))) {
        m_session.setOpenTransaction(this);
        return;
    }
    throw m_session.refused(QStringLiteral("Die Transaktion konnte nicht begonnen werden"), error, failed);
}

void OrbeTransaction::commit()
{
    if (!isOpen())
        return;
    requireSameFile();
    QSqlQuery query = m_session.newQuery();
    if (m_session.run(query, QStringLiteral("COMMIT"))) {
        m_session.setOpenTransaction(nullptr);
        return;
    }
    const QSqlError error = query.lastError();
    rollback();
    // Without an answer nobody can tell whether the server committed.
    throw m_session.refused(QStringLiteral("Der Datensatz konnte nicht gespeichert werden, die Transaktion ließ sich "
                                           "nicht abschließen"),
                            error, {},
                            QStringLiteral("Ob der Datensatz gespeichert ist, ist ungewiss: die Transaktion wurde zum "
                                           "Abschließen geschickt, eine Bestätigung kam nicht"));
}

void OrbeTransaction::rollback() noexcept
{
    if (!isOpen())
        return;
    m_session.setOpenTransaction(nullptr);
    if (!m_session.isOpen())
        return;
    QSqlQuery query = m_session.newQuery();
    m_session.run(query, QStringLiteral("ROLLBACK"));
}
