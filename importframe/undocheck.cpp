#include "undocheck.h"

#include "orberecordset.h"

#include <QSet>

namespace {

const QString Table = QStringLiteral("ForstlichesGutachtenZurAbschussplanung");

// The columns that hold a code table's key, and which import writes them;
// both write the browsing pressure, and the species of an added record.
struct CodeColumn
{
    QString column;
    QString table;
    std::optional<WorkbookKind> writtenBy;
};

const QList<CodeColumn> &codeColumns()
{
    static const QList<CodeColumn> columns{
        {QStringLiteral("IdWildart"), QStringLiteral("Wildart"), std::nullopt},
        {QStringLiteral("IdVerbissbelastung"), QStringLiteral("Verbissbelastung"), std::nullopt},
        {QStringLiteral("IdAenderungVerbissbelastung"), QStringLiteral("AenderungVerbissbelastung"), WorkbookKind::District},
        {QStringLiteral("IdForstlicheAbschussEmpfehlung"), QStringLiteral("ForstlicheAbschussEmpfehlung"),
         WorkbookKind::Cooperative},
    };
    return columns;
}

// The whole-number columns an added record holds besides codes.
const QStringList NumberColumns{QStringLiteral("IdJagdbezirksSammlung"), QStringLiteral("JagdjahrVon"),
                                QStringLiteral("JagdjahrBis")};

QString kindPlural(WorkbookKind kind)
{
    return kind == WorkbookKind::District ? QStringLiteral("Jagdbezirken") : QStringLiteral("Hegegemeinschaften");
}

QSet<qlonglong> codes(OrbeConnection &connection, const QString &table)
{
    QSet<qlonglong> keys;
    auto rows = connection.OpenRecordset(QStringLiteral("select %1_ID_PK from %1").arg(table), OpenMode::Lookup);
    for (; rows->HasCurrent(); rows->MoveNext())
        keys << rows->Fields().Item(0).Value().toLongLong();
    return keys;
}

// Why a column of the entry must not be taken back; empty when it may.
QString columnFault(const UndoEntry &entry, const UndoColumn &column, WorkbookKind kind,
                    const QHash<QString, QSet<qlonglong>> &tables)
{
    const auto code = std::find_if(codeColumns().cbegin(), codeColumns().cend(), [&](const CodeColumn &known) {
        return known.column.compare(column.name, Qt::CaseInsensitive) == 0;
    });
    const bool number = code != codeColumns().cend() || NumberColumns.contains(column.name, Qt::CaseInsensitive);
    const bool otherKinds = code != codeColumns().cend() && code->writtenBy && *code->writtenBy != kind;
    const bool written = entry.added ? column.after != QLatin1String("NULL")
                                     : code != codeColumns().cend() && code->column != QLatin1String("IdWildart");
    if (otherKinds && (written || !entry.added))
        return QStringLiteral("schreibt %1, das nur ein Import von %2 schreibt, in Rücknahmedaten eines Imports von %3")
            .arg(column.name, kindPlural(*code->writtenBy), kindPlural(kind));
    if (!entry.added && !written)
        return QStringLiteral("schreibt %1, das kein Import schreibt").arg(column.name);
    for (const QString &value : {column.before, column.after}) {
        if (!number || value.isEmpty() || value == QLatin1String("NULL"))
            continue;
        const std::optional<QVariant> whole = undoValue(value);
        if (!whole)
            return QStringLiteral("hat für %1 den Wert %2, keine ganze Zahl").arg(column.name, value);
        if (code != codeColumns().cend() && !tables.value(code->table).contains(whole->toLongLong()))
            return QStringLiteral("hat für %1 den Wert %2, den die Tabelle %3 nicht kennt").arg(column.name, value, code->table);
    }
    return {};
}

} // namespace

UndoCheck checkUndoData(OrbeConnection &connection, const UndoData &data, const QString &logFilePath)
{
    QHash<QString, QSet<qlonglong>> tables;
    for (const CodeColumn &code : codeColumns())
        tables.insert(code.table, codes(connection, code.table));
    const auto layout = connection.OpenRecordset(QStringLiteral("select * from %1 where 1 = 0").arg(Table), OpenMode::Lookup);
    OrbeFields fields = layout->Fields();
    UndoCheck check;
    QString key;
    for (const UndoEntry &entry : data.entries) {
        const QString lead = QStringLiteral("Eintrag %1 (Zeile %2) ").arg(entry.number).arg(entry.row);
        // The key's name goes into a statement: only as the table spells one of its columns.
        for (int i = 0; i < fields.Count() && key.isEmpty(); ++i) {
            if (fields.Item(i).Name().compare(entry.keyColumn, Qt::CaseInsensitive) == 0)
                key = fields.Item(i).Name();
        }
        if (key.compare(entry.keyColumn, Qt::CaseInsensitive) != 0) {
            check.refusal = lead + QStringLiteral("nennt den Datensatz mit %1, das keine Spalte der Tabelle %2 ist")
                                       .arg(entry.keyColumn, Table);
            break;
        }
        for (const UndoColumn &column : entry.columns) {
            if (const QString fault = columnFault(entry, column, data.header.kind, tables); !fault.isEmpty()) {
                check.refusal = lead + fault;
                break;
            }
        }
        if (!check.refusal.isEmpty())
            break;
    }
    if (!check.refusal.isEmpty())
        check.refusal = unusableUndoData(logFilePath, check.refusal);
    else if (!key.isEmpty())
        check.statement = QStringLiteral("select * from %1 where %2 = CAST(? AS BIGINT)").arg(Table, key);
    return check;
}

namespace {

// Whether the record holds the values; the first column that does not, named.
bool holds(const QHash<QString, QString> &record, const QHash<QString, QString> &values, QString *difference = nullptr)
{
    for (auto value = values.cbegin(); value != values.cend(); ++value) {
        const auto found = record.constFind(value.key().toLower());
        if (found != record.cend() && *found == *value)
            continue;
        if (difference)
            *difference = found == record.cend()
                              ? QStringLiteral("die Spalte %1 fehlt").arg(value.key())
                              : QStringLiteral("%1 ist %2 statt %3").arg(value.key(), shownUndoValue(*found), shownUndoValue(*value));
        return false;
    }
    return true;
}

} // namespace

UndoJudgement judgeUndo(const QList<UndoEntry> &entries, qsizetype index, const RecordValues &current)
{
    const UndoEntry &entry = entries[index];
    if (!entry.added && entry.columns.isEmpty())
        return {UndoVerdict::Unchanged, {}};
    // Each older entry of the record, newest first, steps back to what it found.
    QHash<QString, QString> after;
    QHash<QString, QString> earlier;
    for (const UndoColumn &column : entry.columns) {
        after.insert(column.name, column.after);
        earlier.insert(column.name, column.before);
    }
    QString difference;
    if (current && holds(*current, after, &difference))
        return {UndoVerdict::TakeBack, {}};
    for (qsizetype i = index; i >= 0; --i) {
        const UndoEntry &older = entries[i];
        if (older.key != entry.key)
            continue;
        // Before a record was added there was none.
        if (older.added)
            return {current ? UndoVerdict::ChangedSince : UndoVerdict::AlreadyBack, difference};
        for (const UndoColumn &column : older.columns) {
            if (i < index && earlier.contains(column.name))
                earlier.insert(column.name, column.before);
        }
        if (current && holds(*current, earlier))
            return {UndoVerdict::AlreadyBack, {}};
    }
    return {current ? UndoVerdict::ChangedSince : UndoVerdict::Gone, difference};
}

RecordValues afterUndo(const UndoEntry &entry, RecordValues current)
{
    if (entry.added || !current)
        return std::nullopt;
    for (const UndoColumn &column : entry.columns)
        current->insert(column.name.toLower(), column.before);
    return current;
}
