#include "rowbatch.h"

#include "failure.h"
#include "failuretrap.h"
#include "importlog.h"
#include "orbeconnection.h"
#include "orberecordset.h"

#include <QScopeGuard>

namespace {

// A batch waits at most this long for more rows: what a killed import saved
// without its log is bounded by time too.
constexpr std::chrono::seconds LongestWait{1};

// The rows of a batch: 100, or TARVEL_BATCH_ROWS (tests make batches small).
qsizetype batchRows()
{
    const int rows = qEnvironmentVariableIntValue("TARVEL_BATCH_ROWS");
    return rows > 0 && rows <= 100 ? rows : 100;
}

void addCounts(RunSummary &summary, const RunSummary &row)
{
    summary.found += row.found;
    summary.notFound += row.notFound;
    summary.added += row.added;
    summary.updated += row.updated;
}

} // namespace

RowBatch::RowBatch(RunHost &host)
    : m_host(host)
{
}

RowBatch::~RowBatch()
{
    stop();
}

void RowBatch::start(OrbeSaveJournal &undo)
{
    OrbeConnection *connection = m_host.windowState().connection.get();
    if (!connection || !connection->sendsSavesTogether())
        return;
    m_on = true;
    m_undo = &undo;
    m_limit = batchRows();
    connection->setSaveJournal(this);
}

void RowBatch::stop() noexcept
{
    // The snapshots take their waiting saves with them.
    m_snapshots.clear();
    m_rows.clear();
    m_on = false;
    m_inRow = false;
}

void RowBatch::append(const ErrorLine &at, const QString &piece)
{
    if (!m_on || !m_inRow) {
        m_host.appendLog(piece);
        return;
    }
    m_current.pieces.push_back({at.current(), piece});
    m_current.size += piece.size();
}

void RowBatch::attach(RunSummary &summary, ErrorLine &at)
{
    m_summary = &summary;
    m_at = &at;
}

void RowBatch::beginRow(int row)
{
    m_current = Row{.row = row};
    m_inRow = true;
    m_ended = false;
    m_currentNormal = row == m_normalRow;
    if (m_currentNormal)
        m_normalRow = 0;
}

void RowBatch::endRow()
{
    m_current.endLine = m_at->current();
    if (m_rows.empty())
        m_firstWaiting = std::chrono::steady_clock::now();
    m_rows.push_back(std::move(m_current));
    m_inRow = false;
}

bool RowBatch::full() const
{
    return !m_rows.empty()
           && (qsizetype(m_rows.size()) >= m_limit || std::chrono::steady_clock::now() - m_firstWaiting >= LongestWait);
}

void RowBatch::flush()
{
    if (m_rows.empty())
        return;
    std::vector<Row> rows;
    rows.swap(m_rows);
    ImportWindowState &state = m_host.windowState();
    const int current = state.currentRow;
    try {
        sendRows(rows);
    } catch (const Failure &) {
        m_ended = true;
        throw;
    }
    state.currentRow = current;
}

void RowBatch::sendRows(std::vector<Row> &rows)
{
    ImportWindowState &state = m_host.windowState();
    // Rows beyond the one that passes the log's bound are not sent: the run
    // ends at that row, as it would alone.
    qsizetype sent = 0;
    for (qsizetype size = m_host.logText().size(); sent < qsizetype(rows.size()) && size <= LogLimit; ++sent)
        size += rows[size_t(sent)].size;
    m_sending.clear();
    for (qsizetype i = 0; i < sent; ++i) {
        if (rows[size_t(i)].queued)
            m_sending.push_back(rows[size_t(i)].row);
    }
    m_told = 0;
    const auto sending = qScopeGuard([&] { m_sending.clear(); });
    const QList<OrbeSaveOutcome> outcomes = state.connection->sendSaves(qsizetype(m_sending.size()));
    qsizetype next = 0;
    for (qsizetype i = 0; i < sent; ++i) {
        const Row &row = rows[size_t(i)];
        state.currentRow = row.row;
        const OrbeSaveOutcome *outcome = row.queued ? &outcomes[next++] : nullptr;
        if (outcome && outcome->result == OrbeSaveOutcome::Result::NotAsRead) {
            // What was read is stale: read again, and this row the normal way.
            m_snapshots.clear();
            m_normalRow = row.row;
            throw RowsAgain(row.row);
        }
        if (outcome && outcome->result != OrbeSaveOutcome::Result::Saved) {
            // The bar went ahead with the rows prepared; the run ends at this one.
            m_host.setProgressValue(float(row.row));
            const int line = outcome->atBegin ? row.beginLine : row.saveLine;
            appendPieces(row, line);
            (*m_at)(line);
            throw outcome->failure.value_or(
                Failure(ErrorNumber::InternalError, ErrorSource::Tarvel, QStringLiteral("Zeile %1 wurde nicht gesendet.").arg(row.row)));
        }
        confirm(row);
    }
}

void RowBatch::appendPieces(const Row &row, int line)
{
    for (const Piece &piece : row.pieces) {
        if (line >= 0 && piece.line >= line)
            break;
        (*m_at)(piece.line);
        m_host.appendLog(piece.text);
    }
}

void RowBatch::confirm(const Row &row)
{
    appendPieces(row);
    addCounts(*m_summary, row.counts);
    (*m_at)(row.endLine);
    checkLogBound(m_host, row.row);
}

Failure RowBatch::settle(const Failure &failure, int &again)
{
    if (!m_on || m_ended || !m_inRow)
        return failure;
    m_inRow = false;
    const int line = m_at->current();
    const Row row = std::move(m_current);
    try {
        flush();
    } catch (const Failure &earlier) {
        return earlier;
    } catch (const RowsAgain &rows) {
        again = rows.row;
        return failure;
    }
    m_host.windowState().currentRow = row.row;
    appendPieces(row);
    addCounts(*m_summary, row.counts);
    (*m_at)(line);
    return failure;
}

OrbeRecordset &RowBatch::snapshot(qint64 key, const std::function<std::unique_ptr<OrbeRecordset>()> &read)
{
    m_current.beginLine = m_at->current();
    std::unique_ptr<OrbeRecordset> &snapshot = m_snapshots[key];
    if (!snapshot)
        snapshot = read();
    return *snapshot;
}

void RowBatch::saveNormally(qint64 key)
{
    flush();
    m_snapshots.erase(key);
    m_currentNormal = true;
}

void RowBatch::queued()
{
    m_current.saveLine = m_at->current();
    m_current.queued = true;
}

void RowBatch::written(const OrbeSavedRecord &record)
{
    // Each entry names the row it saves, not the row being prepared.
    int &row = m_host.windowState().currentRow;
    const int current = row;
    const auto restore = qScopeGuard([&] { row = current; });
    if (m_told < qsizetype(m_sending.size()))
        row = m_sending[size_t(m_told++)];
    m_undo->written(record);
}

void RowBatch::committed() noexcept
{
    m_undo->committed();
}

void RowBatch::notSaved() noexcept
{
    m_undo->notSaved();
}
