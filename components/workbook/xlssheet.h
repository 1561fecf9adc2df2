#pragma once

#include "biffrecords.h"

#include <QHash>

#include <vector>

namespace workbook {

// How an .xls workbook's cells show numbers, from its globals: the number
// format of each XF record, the custom format codes, the date system.
struct CellFormats
{
    std::vector<quint16> xfFormats; // format id per XF record
    QHash<int, QString> formats;
    bool date1904 = false;

    QString formatted(quint16 xf, double value) const;
};

// Reads the cell records of the sheet whose BOF stands at `start` into the
// builder; cells of the shared-string table go to `strings`. Cell records need
// not come in row order, so the whole sheet is read.
void readSheetCells(QByteArrayView stream, qsizetype start, const CellFormats &formats, SheetBuilder &sheet,
                    SharedStringCells &strings);

} // namespace workbook
