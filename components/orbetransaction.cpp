#include "orbetransaction.h"

#include "orbeinternal.h"
#include "orbesession.h"

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
    if (!m_session.link().fileReplaced())
        return;
    // SQLite leaves its write-ahead log of a moved file behind on closing, and
    // the file that now has the name would take it for its own: what this
    // connection saved goes into the file it opened, and the log is emptied.
    rollback();
    QSqlError ignored;
    m_session.run(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), ignored);
    throw Failure(ErrorNumber::DatabaseError, ErrorSource::Database,
                  QStringLiteral("Die Datenbankdatei %1 wurde während des Laufs ersetzt, verschoben oder gelöscht. "
                                 "Tarvel schreibt nicht in eine Datei, die es nicht geöffnet hat; bitte starten Sie "
                                 "Tarvel neu.")
                      .arg(orbe::quoted(m_session.link().sqliteFile())));
}

void OrbeTransaction::begin(const QString &table)
{
    m_session.beforeStatement();
    requireSameFile();
    QSqlError error;
    QString failed;
    const OrbeDialect &dialect = m_session.dialect();
    // Its statements may be repeated on a connection made again, as long as
    // the transaction is not open; after a failure whatever of it went
    // through is rolled back.
    bool begun = false;
    {
        DatabaseCancel::ExpectingLock expecting(*m_session.waits().cancel);
        begun = dialect.beginRow(m_session, table, m_lockHeld, error, failed);
    }
    m_session.setOpenTransaction(this);
    if (begun)
        return;
    rollback();
    // A read-only database refuses the write lock, but then nothing can write
    // anyway: the recordset still reads, and a write fails where it is tried.
    QSqlError plain;
    if (dialect.isReadOnly(error) && m_session.run(QStringLiteral("BEGIN"), plain)) {
        m_session.setOpenTransaction(this);
        return;
    }
    throw m_session.refused(orbe::notBegun(), error, failed);
}

void OrbeTransaction::commit()
{
    if (!isOpen())
        return;
    requireSameFile();
    QSqlError error;
    if (m_session.run(QStringLiteral("COMMIT"), error)) {
        m_session.setOpenTransaction(nullptr);
        endLock();
        return;
    }
    rollback();
    throw m_session.refused(orbe::notCommitted(), error, {}, orbe::commitUncertain());
}

void OrbeTransaction::rollback() noexcept
{
    if (!isOpen())
        return;
    m_session.setOpenTransaction(nullptr);
    if (!m_session.isOpen())
        return;
    QSqlError ignored;
    m_session.run(QStringLiteral("ROLLBACK"), ignored);
    endLock();
}

void OrbeTransaction::endLock() noexcept
{
    m_session.dialect().releaseRowLock(m_session, m_lockHeld);
}
