#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// Rows of a test workbook, row 1 first.
using WorkbookRows = QList<QVariantList>;

// Writes a real .xlsx through libxlsxwriter: numbers (int, double) as number
// cells, texts as text cells, an invalid QVariant as an empty cell. Returns
// the path.
QString writeXlsx(const QString &path, const WorkbookRows &rows);
