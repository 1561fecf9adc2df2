#include "workbookrows.h"

#include "runhost.h"
#include "spreadsheet.h"

QString trimmedCell(const Worksheet &sheet, int row, int column)
{
    return sheet.cellValue(row, column).trimmed();
}

int lastDataRow(const Worksheet &sheet, int column)
{
    int last = 0;
    for (int row = FirstDataRow; row <= LastExaminedRow; ++row) {
        if (trimmedCell(sheet, row, column).isEmpty())
            break;
        last = row;
    }
    return last;
}

QString cellName(int row, int column, const QString &heading)
{
    return QStringLiteral("Zeile %1, Spalte %2 (%3)").arg(row).arg(column).arg(heading);
}

void noteUnreadRows(RunSummary &summary, const Worksheet &sheet, int stopRow, const QString &emptyCell,
                    std::initializer_list<int> keyColumns)
{
    if (summary.cancelledAfterRow > 0)
        return;
    const bool atBound = stopRow > LastExaminedRow;
    for (int row = atBound ? LastReadRow : stopRow + 1; row <= LastReadRow; ++row) {
        for (const int column : keyColumns) {
            if (trimmedCell(sheet, row, column).isEmpty())
                continue;
            summary.firstUnreadRow = row;
            summary.unreadReason = atBound ? QStringLiteral("Kein Lauf liest mehr als %1 Zeilen.").arg(LastExaminedRow)
                                           : QStringLiteral("Der Lauf endete an der leeren Zelle %1.").arg(emptyCell);
            return;
        }
    }
}
