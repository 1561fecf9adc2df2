#include "orbelink_pq.h"

#include <libpq-fe.h>

// A batch of statements in the client library's pipeline: sent together
// with one sync, so that it costs one round trip, and answered one by one.
// After a failure the server skips the rest up to the sync.

namespace {

// Nothing the program waits for may block: the pipeline is sent and read
// without blocking, in the link's turns, and left as the link uses it.
class NonBlocking
{
public:
    explicit NonBlocking(PGconn *connection)
        : m_connection(connection)
    {
        PQsetnonblocking(m_connection, 1);
    }
    ~NonBlocking()
    {
        if (m_connection && PQstatus(m_connection) == CONNECTION_OK)
            PQsetnonblocking(m_connection, 0);
    }
    NonBlocking(const NonBlocking &) = delete;
    NonBlocking &operator=(const NonBlocking &) = delete;
    // The connection was given up: nothing to restore.
    void release() { m_connection = nullptr; }

private:
    PGconn *m_connection;
};

} // namespace

void PostgresLink::runBatch(const QList<OrbeStatement> &statements, OrbeBatchAnswer &answer)
{
    answer = {};
    if (statements.isEmpty())
        return;
    if (!isOpen()) {
        answer.failed = 0;
        answer.error = connectionError(QStringLiteral("Die Verbindung ist nicht offen"));
        return;
    }
    NonBlocking nonBlocking(m_connection);
    std::vector<Awaited> awaited;
    qsizetype at = 0;
    if (!queueBatch(statements, awaited, answer.error)) {
        nonBlocking.release();
        answer.failed = 0;
        return;
    }
    if (readBatch(awaited, answer, at) && m_connection)
        return;
    nonBlocking.release();
    if (at >= qsizetype(awaited.size()))
        return;
    // No answer came from here on: an earlier failure the server reported stands.
    if (answer.failed < 0 || answer.failed > awaited[size_t(at)].statement)
        answer.failed = awaited[size_t(at)].statement;
}

bool PostgresLink::queueBatch(const QList<OrbeStatement> &statements, std::vector<Awaited> &awaited, QSqlError &error)
{
    if (!PQenterPipelineMode(m_connection)) {
        error = connectionError(QString());
        giveUp();
        return false;
    }
    // A statement kept for the first time is prepared in the pipeline
    // before it runs, and known as prepared once that has been answered.
    QHash<QString, QByteArray> preparing;
    for (qsizetype i = 0; i < statements.size(); ++i) {
        const OrbeStatement &statement = statements[i];
        const PostgresParameters parameters(statement.values);
        bool sent = true;
        if (statement.keep) {
            QByteArray name = m_prepared.value(statement.sql);
            if (name.isEmpty())
                name = preparing.value(statement.sql);
            if (name.isEmpty()) {
                name = QByteArrayLiteral("tarvel_") + QByteArray::number(++m_preparedCount);
                preparing.insert(statement.sql, name);
                awaited.push_back({i, name, statement.sql});
                sent = PQsendPrepare(m_connection, name.constData(), numberedPlaceholders(statement.sql).constData(), 0,
                                     nullptr);
            }
            sent = sent && PQsendQueryPrepared(m_connection, name.constData(), parameters.count(), parameters.values(),
                                               nullptr, nullptr, 0);
        } else {
            sent = PQsendQueryParams(m_connection, numberedPlaceholders(statement.sql).constData(), parameters.count(),
                                     nullptr, parameters.values(), nullptr, nullptr, 0);
        }
        if (!sent) {
            error = connectionError(QString());
            giveUp();
            return false;
        }
        awaited.push_back({i});
    }
    if (PQpipelineSync(m_connection))
        return true;
    error = connectionError(QString());
    giveUp();
    return false;
}

bool PostgresLink::readBatch(const std::vector<Awaited> &awaited, OrbeBatchAnswer &answer, qsizetype &at)
{
    AnswerWait wait{std::chrono::steady_clock::now(), std::nullopt};
    QSqlError error;
    // Each answer gets the whole answer wait: a batch of many rows may wait
    // for a lock more than once.
    const auto next = [&]() -> PGresult * {
        if (!awaitAnswer(wait, error))
            return nullptr;
        wait.started = std::chrono::steady_clock::now();
        return PQgetResult(m_connection);
    };
    for (at = 0; at < qsizetype(awaited.size()); ++at) {
        const Awaited &item = awaited[size_t(at)];
        PGresult *result = next();
        if (!result)
            break;
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR) {
            if (answer.failed < 0) {
                answer.failed = item.statement;
                answer.error = postgresResultError(result);
            }
        } else if (status == PGRES_PIPELINE_ABORTED) {
            // skipped after the failure
        } else if (!item.prepared.isEmpty()) {
            m_prepared.insert(item.sql, item.prepared);
        } else {
            OrbeRows rows;
            readResult(result, rows);
            answer.rows.push_back(std::move(rows));
        }
        PQclear(result);
        // Each answer ends with a null result.
        if (PGresult *more = next()) {
            PQclear(more);
            error = connectionError(QStringLiteral("Unerwartete Antwort des Servers"));
            giveUp();
            break;
        }
        if (!m_connection)
            break;
    }
    if (at < qsizetype(awaited.size())) {
        if (m_connection) {
            error = connectionError(error.text());
            giveUp();
        }
        if (answer.failed < 0)
            answer.error = error;
        return false;
    }
    // Every statement is answered; a connection that then fails to end the
    // pipeline is given up, to be made again before the next statement.
    PGresult *sync = next();
    const bool synced = sync && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
    if (m_connection && !(synced && PQexitPipelineMode(m_connection)))
        giveUp();
    return true;
}
