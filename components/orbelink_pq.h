#pragma once

// Internal to the database component.

#include "orbelink.h"
#include "orbewaits.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

struct pg_conn;
struct pg_result;

// The connection keywords of the PostgreSQL client library, in order.
using PostgresKeywords = QList<std::pair<QByteArray, QByteArray>>;

// The server's cancel of a connection's statement, as the client library
// would send it, but with every step bounded (its own waits for the server
// are not). Taken from the connection while it is idle.
struct CancelTarget
{
    QByteArray address; // the server's socket address, as the connection reached it
    quint32 process = 0;
    quint32 key = 0;
    bool isValid() const { return !address.isEmpty(); }
};
// A PostgreSQL connection that Tarvel drives through the client library's
// asynchronous calls: the making of the connection, every statement and
// every wait for an answer happen here, on the thread that uses the
// connection, in turns of a few hundredths of a second. So every wait has
// its bound (the connect wait, the answer wait), and a cancel ends it within
// about a second: first by the server's own cancel, which leaves the
// connection usable, and where that does not end the wait, by giving the
// connection up. No other thread touches the connection or its socket.
class PostgresLink final : public OrbeLink
{
public:
    // Makes the connection; nullptr with the library's error when it cannot
    // be made, in error (a cancel or a silent server are noted in waits).
    static std::unique_ptr<PostgresLink> open(const PostgresKeywords &keywords, std::shared_ptr<DatabaseWaits> waits,
                                              QSqlError &error);
    ~PostgresLink() override;

    bool isOpen() const override;
    bool run(const QString &sql, const QVariantList &values, bool keep, OrbeRows *rows, QSqlError &error) override;
    bool runTogether(const QString &statements, QSqlError &error) override;
    // In the client library's pipeline, with one sync: a batch costs one
    // round trip (pqpipeline.cpp).
    bool sendsBatches() const override { return true; }
    void runBatch(const QList<OrbeStatement> &statements, OrbeBatchAnswer &answer) override;
    QString escapeIdentifier(const QString &name) const override;
    void forgetStatements() override { m_prepared.clear(); }
    QSqlError reopen() override;
    void close() override;

    // The statement with its "?" placeholders numbered as the server takes
    // them ($1, $2, …); question marks inside quotes are left.
    static QByteArray numberedPlaceholders(const QString &sql);

private:
    PostgresLink(PostgresKeywords keywords, std::shared_ptr<DatabaseWaits> waits);
    QSqlError connect();
    struct AnswerWait
    {
        std::chrono::steady_clock::time_point started;
        std::optional<std::chrono::steady_clock::time_point> cancelSent;
    };
    // Sends what is queued and waits until the next result is complete,
    // within the answer wait from the statement's start; a cancel asks the
    // server to cancel, and gives the connection up when that has not ended
    // the wait a moment later. False with the error once it is given up.
    bool awaitAnswer(AnswerWait &wait, QSqlError &error);
    // Reads every result of the statement sent; the rows of the last one
    // that has rows. False with the first error.
    bool collect(OrbeRows *rows, QSqlError &error);
    static void readResult(const pg_result *result, OrbeRows &rows);
    // The prepared statement's name for sql, preparing it first.
    bool prepared(const QString &sql, QByteArray &name, QSqlError &error);
    QSqlError connectionError(const QString &what) const;
    void giveUp();
    // What the pipeline of a batch answers, one thing after another: a
    // statement's result, or the result of preparing it (prepared names it).
    struct Awaited
    {
        qsizetype statement;
        QByteArray prepared = {};
        QString sql = {};
    };
    // Puts the statements into the pipeline with its sync; false with the
    // error, the connection given up, when the library refused one.
    bool queueBatch(const QList<OrbeStatement> &statements, std::vector<Awaited> &awaited, QSqlError &error);
    // Reads the answers the pipeline holds, then leaves it. False when no
    // answer came for the one at awaited (the connection given up).
    bool readBatch(const std::vector<Awaited> &awaited, OrbeBatchAnswer &answer, qsizetype &at);

    const PostgresKeywords m_keywords;
    const std::shared_ptr<DatabaseWaits> m_waits;
    pg_conn *m_connection = nullptr;
    CancelTarget m_cancelTarget;
    QHash<QString, QByteArray> m_prepared;
    int m_preparedCount = 0;
};

// Bound values as the client library takes them: texts, NULL as no text.
class PostgresParameters
{
public:
    explicit PostgresParameters(const QVariantList &values);
    int count() const { return int(m_pointers.size()); }
    const char *const *values() const { return m_pointers.constData(); }

private:
    QList<std::optional<QByteArray>> m_texts;
    QList<const char *> m_pointers;
};

// The error of a failed result, with the server's SQLSTATE.
QSqlError postgresResultError(const pg_result *result);

CancelTarget cancelTargetOf(pg_conn *connection);
// A column's type as Qt names it, by the server's type (pg_type).
QMetaType postgresColumnType(unsigned int type);
// A value as the server wrote it in text form (DateStyle ISO, TimeZone UTC).
QVariant postgresValue(const pg_result *result, int row, int column, QMetaType type);
// A bound value in the text form the server parses for the type it infers
// from the statement; nothing for NULL.
std::optional<QByteArray> postgresParameter(const QVariant &value);

// The cancel request's bytes: its length, the request's code, the process, the key.
QByteArray cancelPacket(const CancelTarget &target);
// Sends the cancel; false when the server did not take it within limit.
// One per platform.
bool sendCancelRequest(const CancelTarget &target, std::chrono::milliseconds limit);
