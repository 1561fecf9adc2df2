#include "orbelink_pq.h"

#include "orbesocket.h"

#include <libpq-fe.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How often a wait looks at the cancel and its bound.
constexpr milliseconds Turn{50};

} // namespace

QSqlError postgresResultError(const PGresult *result)
{
    return QSqlError(QString(), QString::fromUtf8(PQresultErrorMessage(result)).trimmed(),
                     QSqlError::StatementError, QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
}

PostgresParameters::PostgresParameters(const QVariantList &values)
{
    for (const QVariant &value : values)
        m_texts << postgresParameter(value);
    for (const std::optional<QByteArray> &text : std::as_const(m_texts))
        m_pointers << (text ? text->constData() : nullptr);
}

PostgresLink::PostgresLink(PostgresKeywords keywords, std::shared_ptr<DatabaseWaits> waits)
    : m_keywords(std::move(keywords))
    , m_waits(std::move(waits))
{
}

PostgresLink::~PostgresLink()
{
    close();
}

std::unique_ptr<PostgresLink> PostgresLink::open(const PostgresKeywords &keywords, std::shared_ptr<DatabaseWaits> waits,
                                                 QSqlError &error)
{
    std::unique_ptr<PostgresLink> link(new PostgresLink(keywords, waits));
    error = link->connect();
    if (error.isValid())
        return nullptr;
    return link;
}

QSqlError PostgresLink::connect()
{
    close();
    QList<const char *> keys;
    QList<const char *> values;
    for (const auto &[key, value] : m_keywords) {
        keys << key.constData();
        values << value.constData();
    }
    keys << nullptr;
    values << nullptr;
    const milliseconds limit = m_waits->connectLimit;
    const Clock::time_point started = Clock::now();
    // The library makes its sockets in these calls: under the lock, waited
    // for in turns, as every wait of the connect.
    std::unique_lock birth(socketBirth(), std::defer_lock);
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;
    for (;;) {
        if (m_waits->cancel->requested()) {
            m_waits->outcome->noteCancelled();
            giveUp();
            return connectionError(QStringLiteral("abgebrochen"));
        }
        const milliseconds waited = std::chrono::duration_cast<milliseconds>(Clock::now() - started);
        m_waits->cancel->tellWaiting(waited);
        if (waited >= limit) {
            m_waits->outcome->noteSilent(limit);
            giveUp();
            return connectionError(QStringLiteral("Der Server hat die Verbindung nicht rechtzeitig angenommen"));
        }
        // The library may change the socket between tries (another address, TLS refused).
        const int ready = m_connection ? waitForSocket(PQsocket(m_connection), status == PGRES_POLLING_WRITING,
                                                       std::min(Turn, limit - waited))
                                       : 1;
        if (ready == 0 || !birth.try_lock_for(Turn))
            continue;
        const bool begun = m_connection != nullptr;
        if (begun)
            status = PQconnectPoll(m_connection);
        else
            m_connection = PQconnectStartParams(keys.constData(), values.constData(), 0);
        birth.unlock();
        if (!m_connection)
            return connectionError(QStringLiteral("Nicht genügend Speicher für die Verbindung"));
        if (PQstatus(m_connection) == CONNECTION_BAD || status == PGRES_POLLING_FAILED || status == PGRES_POLLING_OK)
            break;
    }
    if (PQstatus(m_connection) != CONNECTION_OK) {
        const QSqlError error = connectionError(QString());
        giveUp();
        return error;
    }
    m_cancelTarget = cancelTargetOf(m_connection);
    return {};
}

QSqlError PostgresLink::connectionError(const QString &what) const
{
    QString text = m_connection ? QString::fromUtf8(PQerrorMessage(m_connection)).trimmed() : QString();
    if (!what.isEmpty())
        text = text.isEmpty() ? what : what + QStringLiteral(": ") + text;
    return QSqlError(QString(), text, QSqlError::ConnectionError);
}

bool PostgresLink::isOpen() const
{
    return m_connection && PQstatus(m_connection) == CONNECTION_OK;
}

void PostgresLink::giveUp()
{
    if (m_connection)
        PQfinish(m_connection);
    m_connection = nullptr;
    m_prepared.clear();
}

void PostgresLink::close()
{
    giveUp();
}

QSqlError PostgresLink::reopen()
{
    return connect();
}

QString PostgresLink::escapeIdentifier(const QString &name) const
{
    QString quoted = name;
    quoted.replace(u'"', QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

QByteArray PostgresLink::numberedPlaceholders(const QString &sql)
{
    QByteArray text;
    text.reserve(sql.size() + 16);
    const QByteArray utf8 = sql.toUtf8();
    char quote = 0;
    int number = 0;
    for (const char c : utf8) {
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            text += '$' + QByteArray::number(++number);
            continue;
        }
        text += c;
    }
    return text;
}

bool PostgresLink::prepared(const QString &sql, QByteArray &name, QSqlError &error)
{
    const auto known = m_prepared.constFind(sql);
    if (known != m_prepared.cend()) {
        name = *known;
        return true;
    }
    name = QByteArrayLiteral("tarvel_") + QByteArray::number(++m_preparedCount);
    if (!PQsendPrepare(m_connection, name.constData(), numberedPlaceholders(sql).constData(), 0, nullptr)) {
        error = connectionError(QString());
        return false;
    }
    if (!collect(nullptr, error))
        return false;
    m_prepared.insert(sql, name);
    return true;
}

bool PostgresLink::run(const QString &sql, const QVariantList &values, bool keep, OrbeRows *rows, QSqlError &error)
{
    if (!isOpen()) {
        error = connectionError(QStringLiteral("Die Verbindung ist nicht offen"));
        return false;
    }
    const PostgresParameters parameters(values);
    int sent = 0;
    if (keep) {
        QByteArray name;
        if (!prepared(sql, name, error))
            return false;
        sent = PQsendQueryPrepared(m_connection, name.constData(), parameters.count(), parameters.values(), nullptr,
                                   nullptr, 0);
    } else if (values.isEmpty()) {
        sent = PQsendQuery(m_connection, sql.toUtf8().constData());
    } else {
        sent = PQsendQueryParams(m_connection, numberedPlaceholders(sql).constData(), parameters.count(), nullptr,
                                 parameters.values(), nullptr, nullptr, 0);
    }
    if (!sent) {
        error = connectionError(QString());
        return false;
    }
    return collect(rows, error);
}

bool PostgresLink::runTogether(const QString &statements, QSqlError &error)
{
    // The simple protocol runs them in turn and stops at the first failure.
    return run(statements, {}, false, nullptr, error);
}

bool PostgresLink::awaitAnswer(AnswerWait &wait, QSqlError &error)
{
    const milliseconds limit = m_waits->answerLimit;
    for (;;) {
        const int flushed = PQflush(m_connection);
        if (flushed < 0)
            break;
        if (flushed == 0 && !PQisBusy(m_connection))
            return true;
        const int ready = waitForSocket(PQsocket(m_connection), flushed == 1, Turn);
        if (ready < 0 || (ready > 0 && !PQconsumeInput(m_connection)))
            break;
        const Clock::time_point now = Clock::now();
        m_waits->cancel->tellWaiting(std::chrono::duration_cast<milliseconds>(now - wait.started));
        // A cancel leaves the statement a moment to end on its own: it
        // stops a run after its row, and only a wait beyond that is cut.
        if (!wait.cancelSent && m_waits->cancel->requested() && now - wait.started >= orbe::CancelGrace) {
            m_waits->outcome->noteCancelled();
            wait.cancelSent = now;
            std::unique_lock birth(socketBirth(), std::defer_lock);
            if (m_cancelTarget.isValid() && birth.try_lock_for(orbe::CancelGrace))
                sendCancelRequest(m_cancelTarget, orbe::CancelGrace);
        }
        if (wait.cancelSent && now - *wait.cancelSent >= orbe::CancelGrace) {
            error = connectionError(QStringLiteral("Die Verbindung wurde aufgegeben: der Lauf ist abgebrochen"));
            giveUp();
            return false;
        }
        if (!wait.cancelSent && now - wait.started >= limit) {
            m_waits->outcome->noteSilent(limit);
            error = connectionError(QStringLiteral("Keine Antwort des Servers"));
            giveUp();
            return false;
        }
    }
    // The connection failed while the answer was awaited: nothing more can come.
    error = connectionError(QString());
    giveUp();
    return false;
}

bool PostgresLink::collect(OrbeRows *rows, QSqlError &error)
{
    AnswerWait wait{Clock::now(), std::nullopt};
    bool failed = false;
    for (;;) {
        // Results come one by one; asking for one before it is complete would block.
        if (!awaitAnswer(wait, error))
            return false;
        PGresult *result = PQgetResult(m_connection);
        if (!result)
            break;
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR) {
            if (!failed)
                error = postgresResultError(result);
            failed = true;
        } else if (rows && !failed) {
            readResult(result, *rows);
        }
        PQclear(result);
    }
    return !failed;
}

void PostgresLink::readResult(const PGresult *result, OrbeRows &rows)
{
    rows.affected = QByteArray(PQcmdTuples(const_cast<PGresult *>(result))).toInt();
    if (PQresultStatus(result) != PGRES_TUPLES_OK)
        return;
    const int columns = PQnfields(result);
    rows.names.clear();
    rows.types.clear();
    rows.rows.clear();
    for (int column = 0; column < columns; ++column) {
        rows.names << QString::fromUtf8(PQfname(result, column));
        rows.types << postgresColumnType(PQftype(result, column));
    }
    const int count = PQntuples(result);
    rows.rows.reserve(count);
    for (int row = 0; row < count; ++row) {
        QList<QVariant> values(columns);
        for (int column = 0; column < columns; ++column)
            values[column] = postgresValue(result, row, column, rows.types[column]);
        rows.rows.push_back(std::move(values));
    }
}
