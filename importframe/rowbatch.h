#pragma once

#include "failure.h"
#include "orbejournal.h"
#include "runhost.h"

#include <QString>

#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class ErrorLine;
class OrbeRecordset;

// Thrown when a row of a batch found its record other than read: nothing
// from that row on was saved. The rows from row on are done again, that one
// the normal way.
struct RowsAgain : std::exception
{
    explicit RowsAgain(int from) : row(from) {}
    const char *what() const noexcept override { return "rows again"; }
    int row;
};

// An import's rows saved several at once, where its connection sends many
// rows' transactions in one round trip (PostgreSQL). Each row is prepared as
// the run writes it, its record predicted from a snapshot of the records
// read once; what it logs (each piece with its error line) and counts is
// kept with it. Then the batch's saves go out together, each row still its
// own transaction, and each row's log is appended once its commit is
// confirmed, in the order of the rows. So the log reads as if every row had
// been saved alone, and never shows a row that is not saved; a killed import
// leaves at most one batch saved without its log.
class RowBatch : public OrbeSaveJournal
{
public:
    explicit RowBatch(RunHost &host);
    ~RowBatch() override;
    RowBatch(const RowBatch &) = delete;
    RowBatch &operator=(const RowBatch &) = delete;

    // On where the run's connection sends saves together: undo (the undo
    // data) is then told of every save through the batch, with its row.
    void start(OrbeSaveJournal &undo);
    // Off; what was not sent is dropped.
    void stop() noexcept;
    bool isOn() const { return m_on; }

    // The run's piece of log: kept with the row being prepared, with the
    // error line it is appended at; otherwise appended at once.
    void append(const ErrorLine &at, const QString &piece);

    // The row loop's side (runskeleton.cpp). The counts and error line of the run.
    void attach(RunSummary &summary, ErrorLine &at);
    // A row begins; what it counts goes to counts() until it is confirmed.
    void beginRow(int row);
    RunSummary &counts() { return m_current.counts; }
    // The row is prepared, and waits for its batch; or it ended the rows and
    // is dropped.
    void endRow();
    void dropRow() { m_inRow = false; }
    // A hundred rows wait, or the first has waited a second.
    bool full() const;
    // Sends the waiting rows' saves; appends each confirmed row's log, adds
    // its counts, and checks the log's bound. Throws the failure of the row
    // where it failed (the rows before it logged, and it up to the failing
    // step, its row and error line current), or RowsAgain.
    void flush();
    // The row being prepared failed: the rows before it are sent, then its
    // log so far appended. Returns the failure that ends the run (an earlier
    // row's stands), or sets again to the row to do again from.
    Failure settle(const Failure &failure, int &again);

    // The record's side (assessmentrecord.cpp). Whether the row being
    // prepared predicts its record from a snapshot.
    bool predicts() const { return m_on && m_inRow && !m_currentNormal; }
    // The snapshot of the records of key, read by read once a run (and
    // again after a batch found a record other than read). Notes the error
    // line of the row's transaction.
    OrbeRecordset &snapshot(qint64 key, const std::function<std::unique_ptr<OrbeRecordset>()> &read);
    // The row's record is one a waiting save wrote: the rows before are sent.
    void sendBefore() { flush(); }
    // The row is saved the normal way, after the rows before it are sent;
    // the snapshot of key is read again after it.
    void saveNormally(qint64 key);
    // The row queued its save, at the current error line.
    void queued();

    void written(const OrbeSavedRecord &record) override;
    void committed() noexcept override;
    void notSaved() noexcept override;

private:
    struct Piece
    {
        int line;
        QString text;
    };
    struct Row
    {
        int row = 0;
        std::vector<Piece> pieces = {};
        qsizetype size = 0; // characters of the pieces
        RunSummary counts = {};
        int beginLine = 0; // where its transaction began
        int saveLine = 0;  // where it saved
        int endLine = 0;   // where it ended
        bool queued = false;
    };
    void sendRows(std::vector<Row> &rows);
    // Appends what the row logged before line; all of it by default.
    void appendPieces(const Row &row, int line = -1);
    void confirm(const Row &row);

    RunHost &m_host;
    bool m_on = false;
    OrbeSaveJournal *m_undo = nullptr;
    RunSummary *m_summary = nullptr;
    ErrorLine *m_at = nullptr;
    qsizetype m_limit = 100;
    std::vector<Row> m_rows; // prepared, waiting
    Row m_current;
    bool m_inRow = false;
    bool m_currentNormal = false;
    int m_normalRow = 0;  // to be saved the normal way when it comes again
    bool m_ended = false; // a failure was settled where it was found
    std::chrono::steady_clock::time_point m_firstWaiting;
    std::map<qint64, std::unique_ptr<OrbeRecordset>> m_snapshots;
    std::vector<int> m_sending; // the rows whose saves are being sent
    qsizetype m_told = 0;
};
