#pragma once

// Internal to the database component.

#include "failure.h"
#include "orbedialect.h"
#include "orbelink.h"
#include "orbestatementcache.h"
#include "orbewaits.h"

#include <QSqlError>
#include <QString>
#include <QVariantList>

#include <memory>

class OrbeTransaction;

// A connection's session with its database: the link it travels on, the
// dialect of the system behind it, whether it still reaches the database,
// making it again when it was lost, running statements and wording their
// failures.
//
// A statement that failed leaves the session suspect: before the next
// statement outside a transaction the connection is checked and, when it was
// lost, made again. Never inside a transaction, where a new connection would
// silently drop what the transaction wrote so far.
class OrbeSession
{
public:
    OrbeSession(std::unique_ptr<OrbeLink> link, const OrbeDialect &dialect, std::shared_ptr<DatabaseWaits> waits);
    ~OrbeSession();

    const OrbeDialect &dialect() const { return m_dialect; }
    DatabaseSystem system() const { return m_dialect.system(); }
    OrbeLink &link() { return *m_link; }
    OrbeStatementCache &statements() { return m_statements; }
    bool isOpen() const { return m_open; }
    // How long a statement waits for another program's lock, as set up.
    int lockWait() const { return m_lockWait; }
    DatabaseWaits &waits() { return *m_waits; }

    // The transaction that statements run in now; nullptr outside one.
    const OrbeTransaction *openTransaction() const { return m_openTransaction; }
    void setOpenTransaction(const OrbeTransaction *transaction) { m_openTransaction = transaction; }

    // Sets the session up on a connection just made: the dialect's settings,
    // and which session it is. The driver's error on failure.
    QSqlError start();
    // What tells this session from another of the same connection; see
    // OrbeDialect::sessionIdentityQuery().
    const QVariant &identity() const { return m_identity; }
    // The driver made another session by itself: it is taken for a lost one
    // and made again as Tarvel makes a lost connection again. False with the
    // error when that fails.
    bool replaceLostSession(QSqlError &error);

    // Throws NotConnected on a closed connection; outside a transaction makes
    // a connection again that a failed statement left lost.
    void beforeStatement();

    enum class Repeat { No, OnLostConnection };
    // Runs one statement as the dialect writes it, each "?" bound to a value;
    // its rows into rows (if given). keep: prepared once and kept. A failure
    // marks the session suspect. A statement that changes nothing
    // (Repeat::OnLostConnection) and fails outside a transaction on a
    // connection found lost runs once more on the connection made again, so
    // that a server restarted while the program was idle goes unnoticed.
    bool run(const QString &sql, const QVariantList &values, bool keep, OrbeRows *rows, QSqlError &error,
             Repeat repeat = Repeat::No);
    bool run(const QString &sql, QSqlError &error, Repeat repeat = Repeat::No)
    {
        return run(sql, {}, false, nullptr, error, repeat);
    }
    // Statements separated by ";" in one round trip where the link takes
    // them so; repeated as run() repeats.
    bool runTogether(const QString &statements, QSqlError &error);
    // Statements in one round trip where the link sends batches (see
    // OrbeLink::runBatch), as the dialect writes them; never repeated. A
    // failure marks the session suspect.
    bool runBatch(QList<OrbeStatement> statements, OrbeBatchAnswer &answer);

    // The failure of a statement the database refused (DatabaseError); marks
    // the session suspect and names a connection found lost as the cause.
    // withoutAnswer, if given, replaces the description when no answer came
    // (a silent server, a lost connection). A wait the user cancelled fails
    // as Cancelled.
    Failure refused(const QString &description, const QSqlError &error, const QString &statement = {},
                    const QString &withoutAnswer = {});

    void close();

private:
    // After a failed statement: marks the session suspect and, when it may
    // be repeated outside a transaction, makes a connection found lost again.
    // True when the statement may run once more.
    bool reopenedForRepeat(bool repeatable);
    // The connection no longer reaches its database: closed, or a trivial
    // statement fails because the connection is gone.
    bool lost();
    QString reopen();

    std::unique_ptr<OrbeLink> m_link;
    const OrbeDialect &m_dialect;
    const int m_lockWait;
    const std::shared_ptr<DatabaseWaits> m_waits;
    OrbeStatementCache m_statements;
    bool m_open = true;
    bool m_suspect = false;
    const OrbeTransaction *m_openTransaction = nullptr;
    QVariant m_identity;
};

namespace orbe {
// Seconds as a German text ("1,5 Sekunden", "1 Sekunde"), for messages.
QString seconds(int milliseconds);
} // namespace orbe
