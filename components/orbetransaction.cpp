#include "orbetransaction.h"

#include "orbeinternal.h"
#include "orbesession.h"

#include <libpq-fe.h>

namespace {
// SQLite's row transaction, run and named in a refusal as one text.
const QString SqliteBegin = QStringLiteral("BEGIN IMMEDIATE");
} // namespace

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
    if (!m_session.dialect().isNativeSqlite() || !orbe::sqliteFileMoved(m_session.database()))
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
    // MariaDB: a named lock of the table keeps other imports out (a table
    // lock would end the transaction); InnoDB's row locks keep other writers'
    // rows apart, and the read after the lock sees what earlier ones committed.
    QSqlError error;
    QString failed;
    const Dialect &dialect = m_session.dialect();
    if (dialect.isPostgres()) {
        const QString begin = QStringLiteral("BEGIN");
        const QString lock = QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table);
        if (m_session.runTogether(begin + QStringLiteral("; ") + lock, error)) {
            m_session.setOpenTransaction(this);
            return;
        }
        // Inside a transaction after the failure: the lock failed, not the begin.
        const bool begun = dialect.odbc || PQtransactionStatus(libpqConnection(m_session.database())) == PQTRANS_INERROR;
        if (begun)
            m_session.setOpenTransaction(this);
        failed = begun ? lock : begin;
    } else if (dialect.isMariaDb()) {
        m_lockName = QStringLiteral("CONCAT(DATABASE(), '.%1')").arg(table);
        failed = QStringLiteral("SELECT GET_LOCK(%1, %2)").arg(m_lockName, QString::number(m_session.lockWait() / 1000.0));
        if (takeNamedLock(failed, error)) {
            m_session.setOpenTransaction(this);
            failed = QStringLiteral("START TRANSACTION");
            QSqlQuery query = m_session.newQuery();
            if (m_session.run(query, failed))
                return;
            error = m_session.errorOf(query);
        }
    } else if (beginImmediate(error)) {
        m_session.setOpenTransaction(this);
        return;
    } else {
        failed = SqliteBegin;
    }
    rollback();
    // A read-only database refuses the write lock, but then nothing can write
    // anyway: the recordset still reads, and a write fails where it is tried.
    QSqlQuery query = m_session.newQuery();
    if (orbe::isReadOnly(error, dialect.system) && m_session.run(query, QStringLiteral("BEGIN"))) {
        m_session.setOpenTransaction(this);
        return;
    }
    throw m_session.refused(QStringLiteral("Die Transaktion konnte nicht begonnen werden"), error, failed);
}

bool OrbeTransaction::beginImmediate(QSqlError &error)
{
    // Through ODBC the driver's busy wait is short: the wait for the write
    // lock is this loop's, which a cancel ends.
    SqliteLockWait *wait = m_session.dialect().odbc ? m_session.waits().lock.get() : nullptr;
    for (int tries = 0;; ++tries) {
        QSqlQuery query = m_session.newQuery();
        if (m_session.run(query, SqliteBegin, true))
            return true;
        error = m_session.errorOf(query);
        if (!wait || (error.nativeErrorCode().toInt() & 0xff) != 5 || !wait->waitOnce(tries)) // SQLITE_BUSY
            return false;
    }
}

bool OrbeTransaction::takeNamedLock(const QString &statement, QSqlError &error)
{
    QSqlQuery query = m_session.newQuery();
    if (!m_session.run(query, statement, true)) {
        error = m_session.errorOf(query);
        return false;
    }
    const bool taken = query.next() && query.value(0).toInt() == 1;
    query.finish();
    // Given up after the lock wait, as the server words a row lock's.
    if (!taken)
        error = QSqlError(QString(), QStringLiteral("Lock wait timeout exceeded"), QSqlError::StatementError,
                          QStringLiteral("1205"));
    return taken;
}

void OrbeTransaction::commit()
{
    if (!isOpen())
        return;
    requireSameFile();
    QSqlQuery query = m_session.newQuery();
    if (m_session.run(query, QStringLiteral("COMMIT"))) {
        m_session.setOpenTransaction(nullptr);
        releaseNamedLock();
        return;
    }
    const QSqlError error = m_session.errorOf(query);
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
    releaseNamedLock();
}

void OrbeTransaction::releaseNamedLock() noexcept
{
    if (m_lockName.isEmpty())
        return;
    QSqlQuery query = m_session.newQuery();
    m_session.run(query, QStringLiteral("DO RELEASE_LOCK(%1)").arg(m_lockName));
    m_lockName.clear();
}
