#include "orbeconnection.h"

#include "orbeinternal.h"

#include <QMap>

#include <algorithm>

// Sending the queued saves of snapshot recordsets: each row its own
// transaction (begin with the lock, the write, the commit), all rows in one
// round trip where the link sends batches.

namespace {

class SaveSending
{
public:
    SaveSending(OrbeSession &session, OrbeSaveJournal *journal, std::vector<OrbeWaitingSave> &saves)
        : m_session(session)
        , m_journal(journal)
        , m_saves(saves)
        , m_outcomes(qsizetype(saves.size()))
        , m_sendable(qsizetype(saves.size()))
    {
    }

    QList<OrbeSaveOutcome> send()
    {
        try {
            m_session.beforeStatement();
        } catch (const Failure &failure) {
            fail(0, failure, true);
        }
        giveKeys();
        tellJournal();
        if (m_sendable > 0)
            run();
        for (qsizetype i = 0; i < qsizetype(m_saves.size()); ++i) {
            const bool saved = m_outcomes[i].result == OrbeSaveOutcome::Result::Saved;
            m_saves[size_t(i)].settle(saved, m_saves[size_t(i)].added ? m_saves[size_t(i)].values.value(0) : QVariant());
        }
        return m_outcomes;
    }

private:
    // Save at fails; it and the ones after it are not sent.
    void fail(qsizetype at, const Failure &failure, bool atBegin)
    {
        if (at >= m_sendable)
            return;
        m_outcomes[at] = {OrbeSaveOutcome::Result::Failed, atBegin, failure};
        m_sendable = at;
    }

    // A new record's key before it is sent: the journal names every record
    // by its key before its commit. As many keys as there are new records,
    // in order, as the inserts would have taken them one by one.
    void giveKeys()
    {
        QMap<std::pair<QString, QString>, QList<qsizetype>> added;
        for (qsizetype i = 0; i < m_sendable; ++i) {
            if (m_saves[size_t(i)].added)
                added[{m_saves[size_t(i)].table, m_saves[size_t(i)].keyColumn}] << i;
        }
        const QString statement = m_session.dialect().keysAhead();
        for (auto group = added.cbegin(); group != added.cend(); ++group) {
            OrbeRows keys;
            QSqlError error;
            // Outside any transaction, and a key taken twice is only a gap.
            if (!m_session.run(statement, {group.key().first, group.key().second, group->size()}, true, &keys, error,
                               OrbeSession::Repeat::OnLostConnection)
                || keys.rows.size() != size_t(group->size())) {
                fail(group->first(), m_session.refused(orbe::notSaved(true), error, statement), false);
                continue;
            }
            std::sort(keys.rows.begin(), keys.rows.end(),
                      [](const QList<QVariant> &a, const QList<QVariant> &b) { return a.value(0).toLongLong() < b.value(0).toLongLong(); });
            for (qsizetype k = 0; k < group->size(); ++k) {
                OrbeWaitingSave &save = m_saves[size_t(group->at(k))];
                const QVariant key = keys.rows[size_t(k)].value(0);
                save.values[0] = key;
                save.record.key[0].second = orbe::normalised(key, save.record.key[0].second.metaType());
            }
        }
    }

    // Every save to be sent is in the journal before anything goes out.
    void tellJournal()
    {
        for (qsizetype i = 0; m_journal && i < m_sendable; ++i) {
            try {
                m_journal->written(m_saves[size_t(i)].record);
            } catch (const Failure &failure) {
                fail(i, failure, false);
            }
        }
    }

    void run();
    // Save i failed at its statement step (its write comes after beginCount).
    void settleFailed(qsizetype i, qsizetype step, qsizetype beginCount, const OrbeBatchAnswer &answer);

    OrbeSession &m_session;
    OrbeSaveJournal *m_journal;
    std::vector<OrbeWaitingSave> &m_saves;
    QList<OrbeSaveOutcome> m_outcomes;
    qsizetype m_sendable;
};

void SaveSending::run()
{
    QList<OrbeStatement> statements;
    std::vector<qsizetype> firsts; // each save's first statement, and one past the last save's
    for (qsizetype i = 0; i < m_sendable; ++i) {
        const OrbeWaitingSave &save = m_saves[size_t(i)];
        firsts.push_back(statements.size());
        for (const QString &statement : m_session.dialect().rowBegin(save.table))
            statements << OrbeStatement{statement};
        statements << OrbeStatement{save.write, save.values, true} << OrbeStatement{QStringLiteral("COMMIT")};
    }
    firsts.push_back(statements.size());
    OrbeBatchAnswer answer;
    {
        // Each row waits for its lock inside the batch: a long wait is one for another program's lock.
        DatabaseCancel::ExpectingLock expecting(*m_session.waits().cancel);
        m_session.runBatch(statements, answer);
    }
    // The server's answer tells what was not saved; without one nobody can
    // tell from the failing save on, and the journal is told nothing more.
    const bool answered = !answer.error.nativeErrorCode().isEmpty();
    for (qsizetype i = 0; i < m_sendable; ++i) {
        const qsizetype first = firsts[size_t(i)];
        const qsizetype end = firsts[size_t(i) + 1];
        if (answer.failed < 0 || answer.failed >= end) {
            m_outcomes[i].result = OrbeSaveOutcome::Result::Saved;
            if (m_journal)
                m_journal->committed();
        } else if (answer.failed >= first) {
            settleFailed(i, answer.failed - first, end - first - 2, answer);
        } else if (answered && m_journal) {
            m_journal->notSaved();
        }
    }
}

void SaveSending::settleFailed(qsizetype i, qsizetype step, qsizetype beginCount, const OrbeBatchAnswer &answer)
{
    const OrbeWaitingSave &save = m_saves[size_t(i)];
    const QSqlError &error = answer.error;
    const OrbeDialect &dialect = m_session.dialect();
    const bool answered = !error.nativeErrorCode().isEmpty();
    const bool lost = dialect.connectionLost(error);
    // Begun and not committed, the transaction is left failed.
    if (answered && !lost && step > 0 && step <= beginCount) {
        QSqlError ignored;
        m_session.run(QStringLiteral("ROLLBACK"), ignored);
    }
    if (answered && m_journal)
        m_journal->notSaved();
    if (answered && step == beginCount && error.nativeErrorCode() == QLatin1String("22012")) {
        m_outcomes[i].result = OrbeSaveOutcome::Result::NotAsRead;
        return;
    }
    // A refused lock is the begin's. A lost connection, or a read-only
    // database, which refuses the lock already, is the save's, as where the
    // lock is taken alone and the write follows.
    const bool atBegin = step < beginCount && !lost && !dialect.isReadOnly(error);
    const QString uncertain = answered ? QString() : orbe::commitUncertain();
    const Failure failure = atBegin              ? m_session.refused(orbe::notBegun(), error, {}, uncertain)
                            : step <= beginCount ? m_session.refused(orbe::notSaved(save.added), error, save.write, uncertain)
                                                 : m_session.refused(orbe::notCommitted(), error, {}, orbe::commitUncertain());
    m_outcomes[i] = {OrbeSaveOutcome::Result::Failed, atBegin, failure};
}

} // namespace

bool OrbeConnection::sendsSavesTogether() const
{
    return m_state->session.link().sendsBatches();
}

bool OrbeConnection::addsTogether(const QString &table)
{
    return m_state->session.statements().addsTogether(m_state->session, table);
}

qsizetype OrbeConnection::waitingSaves() const
{
    return qsizetype(m_state->waitingSaves.size());
}

QList<OrbeSaveOutcome> OrbeConnection::sendSaves(qsizetype count)
{
    std::vector<OrbeWaitingSave> saves;
    saves.swap(m_state->waitingSaves);
    count = std::clamp<qsizetype>(count, 0, qsizetype(saves.size()));
    for (size_t i = size_t(count); i < saves.size(); ++i)
        saves[i].settle(false, {});
    saves.resize(size_t(count));
    if (saves.empty())
        return {};
    return SaveSending(m_state->session, m_state->journal, saves).send();
}
