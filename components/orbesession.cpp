#include "orbesession.h"

#include "orbeinternal.h"

#include <QLocale>
#include <QScopeGuard>

namespace orbe {

QString seconds(int milliseconds)
{
    const QString number = QLocale(QLocale::German, QLocale::Germany).toString(milliseconds / 1000.0, 'g', 6);
    return number + (milliseconds == 1000 ? QStringLiteral(" Sekunde") : QStringLiteral(" Sekunden"));
}

} // namespace orbe

OrbeSession::OrbeSession(std::unique_ptr<OrbeLink> link, const OrbeDialect &dialect, std::shared_ptr<DatabaseWaits> waits)
    : m_link(std::move(link))
    , m_dialect(dialect)
    , m_lockWait(orbe::lockWaitMilliseconds(dialect.system()))
    , m_waits(std::move(waits))
{
}

OrbeSession::~OrbeSession()
{
    close();
}

QSqlError OrbeSession::start()
{
    QSqlError error = m_dialect.startSession(*m_link);
    const QString identityQuery = m_dialect.sessionIdentityQuery();
    OrbeRows identity;
    if (!error.isValid() && !identityQuery.isEmpty() && m_link->run(identityQuery, {}, false, &identity, error))
        m_identity = identity.rows.empty() ? QVariant() : identity.rows.front().value(0);
    return error;
}

bool OrbeSession::replaceLostSession(QSqlError &error)
{
    const QString reason = reopen();
    if (reason.isEmpty())
        return true;
    error = QSqlError(QString(), reason, QSqlError::ConnectionError);
    return false;
}

void OrbeSession::beforeStatement()
{
    if (!m_open)
        throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                      QStringLiteral("Die Datenbankverbindung ist geschlossen."));
    if (!m_suspect || m_openTransaction)
        return;
    if (lost()) {
        if (QString reason = reopen(); !reason.isEmpty()) {
            if (std::optional<Failure> cancelled = m_waits->cancelled())
                throw *cancelled;
            if (const QString silent = m_waits->outcome->takeSilentCause(); !silent.isEmpty())
                reason = silent;
            throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                          QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen und lässt sich nicht "
                                         "wieder herstellen: %1").arg(reason));
        }
    }
    m_suspect = false;
}

bool OrbeSession::run(const QString &sql, const QVariantList &values, bool keep, OrbeRows *rows, QSqlError &error,
                      Repeat repeat)
{
    QVariantList bound;
    bound.reserve(values.size());
    for (const QVariant &value : values)
        bound << m_dialect.bindable(value);
    const QString statement = m_dialect.statement(sql);
    // Whatever the statement waited for has ended with it.
    const auto told = qScopeGuard([this] { m_waits->cancel->tellWaitEnded(); });
    for (bool again = false;; again = true) {
        if (m_open && m_link->run(statement, bound, keep, rows, error))
            return true;
        // The error is taken before a new connection replaces the one it came from.
        if (again || !reopenedForRepeat(repeat == Repeat::OnLostConnection)) {
            m_suspect = true;
            return false;
        }
    }
}

bool OrbeSession::runTogether(const QString &statements, QSqlError &error)
{
    const QString statement = m_dialect.statement(statements);
    const auto told = qScopeGuard([this] { m_waits->cancel->tellWaitEnded(); });
    for (bool again = false;; again = true) {
        if (m_open && m_link->runTogether(statement, error))
            return true;
        if (again || !reopenedForRepeat(true)) {
            m_suspect = true;
            return false;
        }
    }
}

bool OrbeSession::runBatch(QList<OrbeStatement> statements, OrbeBatchAnswer &answer)
{
    for (OrbeStatement &statement : statements) {
        statement.sql = m_dialect.statement(statement.sql);
        for (QVariant &value : statement.values)
            value = m_dialect.bindable(value);
    }
    answer = {};
    const auto told = qScopeGuard([this] { m_waits->cancel->tellWaitEnded(); });
    if (m_open) {
        m_link->runBatch(statements, answer);
    } else {
        answer.failed = 0;
        answer.error = QSqlError(QString(), QStringLiteral("Die Verbindung ist geschlossen"), QSqlError::ConnectionError);
    }
    m_suspect = m_suspect || answer.failed >= 0;
    return answer.failed < 0;
}

bool OrbeSession::reopenedForRepeat(bool repeatable)
{
    m_suspect = true;
    if (!repeatable || m_openTransaction || m_waits->cancel->requested() || !lost() || !reopen().isEmpty())
        return false;
    m_suspect = false;
    return true;
}

Failure OrbeSession::refused(const QString &description, const QSqlError &error, const QString &statement,
                             const QString &withoutAnswer)
{
    m_suspect = true;
    if (std::optional<Failure> cancelled = m_waits->cancelled())
        return *cancelled;
    QString why = m_waits->outcome->takeSilentCause();
    if (why.isEmpty() && lost())
        why = QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen");
    const bool answered = why.isEmpty();
    if (answered && m_dialect.isReadOnly(error) && !m_link->sqliteFile().isEmpty())
        why = orbe::sqliteSideFilesCause(m_link->sqliteFile());
    // SQLite names the wait it really made (in turns through ODBC), to a
    // tenth of a second.
    const int waited = m_waits->lock && m_waits->lock->waitedMilliseconds() > 0
                           ? (m_waits->lock->waitedMilliseconds() + 50) / 100 * 100
                           : m_lockWait;
    if (answered && why.isEmpty())
        why = m_dialect.cause(error, waited);
    return orbe::failure(ErrorNumber::DatabaseError, answered || withoutAnswer.isEmpty() ? description : withoutAnswer,
                         error, statement, why);
}

bool OrbeSession::lost()
{
    if (!m_open || !m_link->isOpen())
        return true;
    // Where the driver may have made another session by itself, the answer
    // tells it: that one is lost too.
    const QString identityQuery = m_dialect.sessionIdentityQuery();
    QSqlError error;
    OrbeRows answer;
    if (m_link->run(identityQuery.isEmpty() ? QStringLiteral("SELECT 1") : identityQuery, {}, false, &answer, error))
        return !identityQuery.isEmpty() && (answer.rows.empty() || answer.rows.front().value(0) != m_identity);
    return !m_link->isOpen() || m_dialect.connectionLost(error);
}

QString OrbeSession::reopen()
{
    // Prepared statements and what is known of results belong to the old session.
    m_statements.forgetStatements();
    QSqlError error = m_link->reopen();
    if (!error.isValid())
        error = start();
    return error.text();
}

void OrbeSession::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_openTransaction = nullptr;
    m_statements.forget();
    m_link->close();
}
