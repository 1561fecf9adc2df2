#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// Writes a real workbook for a test: numbers (int, double) as number cells,
// texts as text cells, an invalid QVariant as an empty cell. Row 1 first.
using WorkbookRows = QList<QVariantList>;

// .xlsx through libxlsxwriter. Returns the path.
QString writeXlsx(const QString &path, const WorkbookRows &rows);

// ';'-separated UTF-8 text with CR LF, as a spreadsheet program exports it.
QString writeCsv(const QString &path, const WorkbookRows &rows);

// Appends to a CSV workbook empty lines down to `row` and there a cell whose
// quote never closes: a reader that reads that far refuses the file.
void appendUnreadableRow(const QString &csvPath, int row);
