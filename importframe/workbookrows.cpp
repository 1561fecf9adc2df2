#include "workbookrows.h"

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
