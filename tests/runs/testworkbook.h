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
