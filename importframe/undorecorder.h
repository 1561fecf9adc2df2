#pragma once

#include "failure.h"
#include "orbejournal.h"
#include "undodata.h"

#include <QFile>

#include <memory>

class OrbeConnection;
struct ImportWindowState;

// An import's undo data as the import saves its records: made beside the log
// file before the first record, told of each save by the run's connection
// (OrbeConnection::setSaveJournal) between its write and its commit, and of
// the commit after it.
class UndoRecorder : public OrbeSaveJournal
{
public:
    UndoRecorder() = default;
    ~UndoRecorder() override { stop(); }
    UndoRecorder(const UndoRecorder &) = delete;
    UndoRecorder &operator=(const UndoRecorder &) = delete;

    // Makes the undo data beside the log file at logFilePath, of an import of
    // kind begun at started, on the state's connection and database, and
    // listens to the connection's saves. Why it could not, in German.
    std::optional<QString> start(const QString &logFilePath, WorkbookKind kind, const QDateTime &started,
                                 const ImportWindowState &state);
    // The connection's saves are no longer told; the file is closed.
    void stop() noexcept;

    // An entry for the record, written out before its commit; a failure to
    // write it ends the run there, the record not saved.
    void written(const OrbeSavedRecord &record) override;
    // The oldest entry not yet confirmed is; a failure to write that leaves
    // it unconfirmed, which a taking back checks against the database.
    void committed() noexcept override;
    // The oldest entry not yet confirmed is confirmed as not saved.
    void notSaved() noexcept override;

private:
    // Appends text; why it could not, as the run's failure.
    std::optional<Failure> append(const QString &text);
    void confirm(bool saved) noexcept;

    QFile m_file;
    std::shared_ptr<OrbeConnection> m_connection;
    const int *m_row = nullptr; // the run's current row
    int m_written = 0;
    int m_confirmed = 0;
    qint64 m_size = 0; // bytes written
};
