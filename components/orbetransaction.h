#pragma once

// Internal to the database component.

#include <QSqlError>
#include <QString>

class OrbeSession;

// The transaction of an editable recordset, which reads one record and writes
// it. Begun, it holds the lock that makes the read-then-write atomic against
// other writers; commit() ends it; destroyed without a commit it rolls back.
// A recordset whose session is inside another recordset's transaction joins
// that one: it neither begins nor ends it.
class OrbeTransaction
{
public:
    explicit OrbeTransaction(OrbeSession &session)
        : m_session(session)
    {
    }
    ~OrbeTransaction() { rollback(); }
    OrbeTransaction(const OrbeTransaction &) = delete;
    OrbeTransaction &operator=(const OrbeTransaction &) = delete;

    // Begins it on table unless the session is in a transaction already.
    void join(const QString &table);
    // Commits it if this one began it. Throws when it could not.
    void commit();
    // Never throws: it runs from destructors, also on a lost connection.
    void rollback() noexcept;

private:
    bool isOpen() const;
    void begin(const QString &table);
    void endLock() noexcept;
    // An SQLite file: throws, before anything is written, when the file
    // under the connection was replaced: writing on would damage the new file.
    void requireSameFile();

    OrbeSession &m_session;
    QString m_lockHeld; // what the dialect's lock left to release
};
