#pragma once

#include "failure.h"
#include "orbesystem.h"

#include <QList>
#include <QString>
#include <QVariantList>

#include <memory>
#include <optional>

class OrbeRecordset;
class OrbeSaveJournal;
class WaitObserver;
struct OrbeConnectionState;

// How a recordset is opened.
enum class OpenMode {
    Lookup = 4,   // read only
    Editable = 5, // "select * from <one table> ..." that can Edit, AddNew and Update
    // "select * from <one table> ...", read without a lock: its Update
    // waits to be sent with others (OrbeConnection::sendSaves), and writes
    // only what the rows read predict (see OrbeRecordset::MatchColumns).
    Snapshot = 6,
};

// What became of a save sent with others (OrbeConnection::sendSaves).
struct OrbeSaveOutcome
{
    enum class Result {
        Saved,     // committed
        NotAsRead, // the record was no longer as read (or one was there to add): nothing written
        Failed,    // failure says why, and whether it may be saved
        NotSent,   // not sent, or skipped after an earlier one failed: nothing written
    };
    Result result = Result::NotSent;
    bool atBegin = false; // failed while its transaction began and took its lock
    std::optional<Failure> failure;
};

// An open database. Statements run as they stand.
//
// A connection that a failed statement left lost (a stopped server) is opened
// again before the next statement that is not inside a transaction; inside
// one, statements fail until the transaction ends.
class OrbeConnection
{
public:
    // Takes over an open session (OrbeBase makes it).
    OrbeConnection(std::shared_ptr<OrbeConnectionState> state, QString description);
    ~OrbeConnection();
    OrbeConnection(const OrbeConnection &) = delete;
    OrbeConnection &operator=(const OrbeConnection &) = delete;

    // A short German text naming the database; never a password.
    QString Description() const;

    // Runs the statement and holds its result on the client. Throws Failure.
    std::unique_ptr<OrbeRecordset> OpenRecordset(const QString &statement, OpenMode mode);
    // The same with each "?" of the statement bound to a value, in order. The
    // statement is prepared once per connection and kept: a run asks the same
    // shape for every row, and the server then parses and plans it once.
    std::unique_ptr<OrbeRecordset> OpenRecordset(const QString &statement, OpenMode mode, const QVariantList &values);

    // Runs a statement that returns no rows (schema set-up, tests). Throws Failure.
    void execute(const QString &statement);
    // The same with each "?" bound to a value, prepared once and kept (many
    // rows of the same shape, the benchmark's filling).
    void execute(const QString &statement, const QVariantList &values);
    // Runs statements separated by ";" at line ends, in one transaction.
    // "--" comment lines are skipped. Throws Failure.
    void executeScript(const QString &script);
    // Creates the project's tables and reference rows (schema/sqlite.sql,
    // schema/postgresql.sql or schema/mariadb.sql). Throws Failure.
    void createSchema();

    // The system behind the connection, and whether it is reached through ODBC.
    DatabaseSystem system() const;
    bool viaOdbc() const;

    // Ends a wait of this connection for the database (a lock, a silent
    // server) within about a second, as cancelled (ErrorNumber::Cancelled),
    // from now until clearCancel(). May be called from any thread while
    // another uses the connection: "Abbrechen" during a run.
    void cancelWaits();
    void clearCancel();
    // Told of every wait of this connection that goes on longer than a
    // second (nullptr: of none); it must outlive the connection or be taken
    // away first.
    void setWaitObserver(WaitObserver *observer);

    // From now on every save of an editable recordset of this connection is
    // told to journal (nullptr: to none). The caller keeps it alive meanwhile.
    void setSaveJournal(OrbeSaveJournal *journal);

    // Whether saves of snapshot recordsets are worth queuing: the connection
    // sends many rows' transactions in one round trip (PostgreSQL).
    bool sendsSavesTogether() const;
    // Whether a new record of table can be queued: the database hands out
    // its key beforehand, and the insert leaves exactly what it gives (no
    // default but the key's, no trigger or rule), which the user may do.
    // Asked once while the schema is unchanged. Throws Failure.
    bool addsTogether(const QString &table);
    // How many saves wait to be sent.
    qsizetype waitingSaves() const;
    // Sends the first count waiting saves in one round trip, each in its own
    // transaction with its lock, and drops the others. The journal is told
    // of each before anything is sent, and of its commit (or that it was not
    // saved) in order; a new record gets its key first. After a save that
    // was not saved the rest are not either, and a snapshot's rows no longer
    // tell what the database holds. What became of each, in order.
    QList<OrbeSaveOutcome> sendSaves(qsizetype count);

    void close();

private:
    QString m_description;
    std::shared_ptr<OrbeConnectionState> m_state;
};

// The project's schema script for the system.
QString orbeSchemaScript(DatabaseSystem system);

// Why the database is not Tarvel's, as a run would say it: the first table
// whose columns that the runs use a statement cannot read. Empty when every
// one can. Reads no row.
QString notTarvelsBecause(OrbeConnection &connection);
