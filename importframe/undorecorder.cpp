#include "undorecorder.h"

#include "failure.h"
#include "orbeconnection.h"
#include "orbetools.h"
#include "runhost.h"

std::optional<QString> UndoRecorder::start(const QString &logFilePath, WorkbookKind kind, const QDateTime &started,
                                           const ImportWindowState &state)
{
    m_file.setFileName(undoDataPath(logFilePath));
    if (!state.database)
        return m_file.fileName() + QStringLiteral(": die Datenbank des Laufs ist nicht bekannt");
    // Never over another file: it may be another import's undo data.
    // Unbuffered: each entry goes to the system at once, whole or not.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return OrbeTools::fileFailure(m_file);
    const UndoHeader header{kind, databaseIdentity(*state.database), OrbeTools::splitPath(logFilePath).name, started};
    if (append(undoHeaderText(header))) {
        const QString failure = OrbeTools::fileFailure(m_file);
        m_file.remove();
        return failure;
    }
    m_row = &state.currentRow;
    m_connection = state.connection;
    if (m_connection)
        m_connection->setSaveJournal(this);
    return std::nullopt;
}

void UndoRecorder::stop() noexcept
{
    if (m_connection)
        m_connection->setSaveJournal(nullptr);
    m_connection.reset();
    m_file.close();
}

std::optional<Failure> UndoRecorder::append(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    if (m_size + bytes.size() > UndoDataLimit)
        return Failure(ErrorNumber::OutOfStringSpace, ErrorSource::Tarvel,
                       QStringLiteral("Die Rücknahmedaten werden zu groß: sie hielten mehr als 64 MB."));
    // Written at once: a killed program leaves what the system has got.
    const qint64 written = m_file.write(bytes);
    m_size += std::max<qint64>(written, 0);
    if (written == bytes.size())
        return std::nullopt;
    return Failure(ErrorNumber::PathFileAccess, ErrorSource::Tarvel,
                   QStringLiteral("Die Rücknahmedaten lassen sich nicht weiterschreiben (%1).").arg(OrbeTools::fileFailure(m_file)));
}

void UndoRecorder::written(const OrbeSavedRecord &record)
{
    const int row = m_row ? *m_row : 0;
    UndoEntry entry{.number = m_written + 1, .row = row, .added = record.added, .keyColumn = {}, .key = 0, .columns = {},
                    .confirmed = false};
    bool whole = record.key.size() == 1;
    if (whole) {
        entry.keyColumn = record.key[0].first;
        entry.key = record.key[0].second.toLongLong(&whole);
    }
    if (!whole)
        throw Failure(ErrorNumber::DatabaseError, ErrorSource::Tarvel,
                      QStringLiteral("Zeile %1 lässt sich nicht so speichern, dass der Import zurückgenommen werden "
                                     "kann: der Primärschlüssel der Tabelle %2 ist nicht eine Spalte mit ganzen Zahlen. "
                                     "Der Lauf endet bei dieser Zeile; sie ist nicht gespeichert.").arg(row).arg(record.table));
    for (qsizetype i = 0; i < record.columns.size(); ++i)
        entry.columns << UndoColumn{record.columns[i], record.added ? QString() : undoValueText(record.before[i]),
                                    undoValueText(record.after[i])};
    if (const std::optional<Failure> failure = append(undoEntryText(entry)))
        throw Failure(failure->number(), failure->source(),
                      failure->description() + QStringLiteral(" Der Lauf endet bei Zeile %1; sie ist nicht gespeichert.").arg(row));
    ++m_written;
}

void UndoRecorder::committed() noexcept
{
    confirm(true);
}

void UndoRecorder::notSaved() noexcept
{
    confirm(false);
}

void UndoRecorder::confirm(bool saved) noexcept
{
    if (m_confirmed >= m_written)
        return;
    try {
        append(undoConfirmationText(++m_confirmed, saved));
    } catch (...) {
        // Out of memory: the entry stays unconfirmed.
    }
}
