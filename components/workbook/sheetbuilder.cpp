// The refusals the readers share, the sheet builder that bounds what they
// keep, and cell references.
#include "sheetreaders.h"

#include <algorithm>

namespace workbook {

void refuse(const QString &reason)
{
    throw ReadError{ErrorNumber::WorkbookUnreadable, reason};
}

void refuseDamaged(const QString &detail)
{
    refuse(detail.isEmpty() ? QStringLiteral("Die Datei ist beschädigt oder unvollständig.")
                            : QStringLiteral("Die Datei ist beschädigt oder unvollständig (%1).").arg(detail));
}

void refusePassword()
{
    refuse(QStringLiteral("Die Arbeitsmappe ist mit einem Kennwort geschützt. "
                          "Bitte den Kennwortschutz entfernen und die Datei neu speichern."));
}

void refuseFormulaWithoutResult(int row, int column)
{
    refuse(QStringLiteral("Die Formel in Zelle %1 hat kein gespeichertes Ergebnis. "
                          "Bitte die Arbeitsmappe in der Tabellenkalkulation öffnen, neu berechnen und speichern.")
               .arg(cellReference(row, column)));
}

void refuseTooManyCells()
{
    refuse(QStringLiteral("Das erste Tabellenblatt hat zu viele Zellen."));
}

void refuseTooMuchText()
{
    static_assert(kMaxSheetChars == 16777216, "the text below names the bound");
    refuse(QStringLiteral("Die gelesenen Zeilen des ersten Tabellenblatts enthalten zusammen mehr als "
                          "16.777.216 Zeichen Text."));
}

void appendCapped(QString &out, QStringView piece)
{
    if (out.size() <= kMaxCellChars)
        out += piece.first(std::min(piece.size(), kMaxCellChars + 1 - out.size()));
}

SheetBuilder::SheetBuilder(int lastRow)
    : m_lastRow(std::clamp(lastRow, 0, kMaxRows))
{
}

void SheetBuilder::set(int row, int column, QString value)
{
    if (value.isEmpty())
        return;
    if (row < 1 || column < 1 || row > kMaxRows || column > kMaxColumns)
        refuseDamaged(QStringLiteral("Zelle außerhalb des Tabellenblatts"));
    if (row > m_lastRow)
        return;
    if (value.size() > kMaxCellChars)
        refuse(QStringLiteral("Zelle %1 enthält mehr als 32.767 Zeichen; so lange Texte speichert keine "
                              "Tabellenkalkulation.").arg(cellReference(row, column)));
    if (column > Worksheet::MaxColumns)
        return;
    m_chars += value.size();
    if (m_chars > kMaxSheetChars)
        refuseTooMuchText();
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i].isHighSurrogate() && i + 1 < value.size() && value[i + 1].isLowSurrogate())
            ++i;
        else if (value[i].isSurrogate())
            value[i] = QChar::ReplacementCharacter;
    }
    // A row is stored up to its last cell, the empty ones before it included:
    // counting only the filled ones let a small file with one cell far to the
    // right in each of many rows take gigabytes.
    if (m_widths.size() < size_t(row))
        m_widths.resize(row);
    int &width = m_widths[row - 1];
    if (column > width) {
        m_cells += column - width;
        width = column;
    }
    if (m_cells > kMaxCells)
        refuseTooManyCells();
    m_sheet.setCell(row, column, std::move(value));
}

Worksheet SheetBuilder::take()
{
    return std::move(m_sheet);
}

void SharedStringCells::add(int row, int column, quint64 index)
{
    if (m_cells.size() >= size_t(kMaxCells))
        refuseTooManyCells();
    m_cells.push_back({row, column, index});
}

void SharedStringCells::setCells(SheetBuilder &sheet, const std::function<std::optional<QString>(bool keep)> &next) const
{
    std::vector<quint64> needed;
    needed.reserve(m_cells.size());
    for (const Cell &cell : m_cells)
        needed.push_back(cell.index);
    std::sort(needed.begin(), needed.end());
    needed.erase(std::unique(needed.begin(), needed.end()), needed.end());

    std::vector<QString> strings; // strings[k] belongs to needed[k]
    qint64 held = 0;              // each is used by a kept cell at least once
    for (quint64 index = 0; strings.size() < needed.size(); ++index) {
        const bool keep = needed[strings.size()] == index;
        std::optional<QString> text = next(keep);
        if (!text)
            break;
        if (keep) {
            held += text->size();
            if (held > kMaxSheetChars)
                refuseTooMuchText();
            strings.push_back(std::move(*text));
        }
    }
    for (const Cell &cell : m_cells) {
        const size_t k = size_t(std::lower_bound(needed.begin(), needed.end(), cell.index) - needed.begin());
        if (k >= strings.size())
            refuseDamaged(QStringLiteral("Zelle %1 verweist auf einen fehlenden Text").arg(cellReference(cell.row, cell.column)));
        sheet.set(cell.row, cell.column, strings[k]);
    }
}

QString cellReference(int row, int column)
{
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

bool parseCellReference(QStringView ref, int &row, int &column)
{
    qsizetype i = 0;
    if (i < ref.size() && ref[i] == u'$')
        ++i;
    qint64 col = 0;
    const qsizetype lettersStart = i;
    for (; i < ref.size() && ref[i].isLetter(); ++i) {
        const char16_t ch = ref[i].toUpper().unicode();
        if (ch < u'A' || ch > u'Z')
            return false;
        col = col * 26 + (ch - u'A' + 1);
        if (col > kMaxColumns)
            return false;
    }
    if (i == lettersStart)
        return false;
    if (i < ref.size() && ref[i] == u'$')
        ++i;
    bool ok = false;
    const qint64 r = ref.mid(i).toLongLong(&ok);
    if (!ok || r < 1 || r > kMaxRows || !ref[i].isDigit())
        return false;
    row = int(r);
    column = int(col);
    return true;
}

} // namespace workbook
