#pragma once

#include <QString>

class Worksheet;

// Data rows start below the headings; no run looks further than row 10000.
constexpr int FirstDataRow = 2;
constexpr int LastExaminedRow = 10000;

// A cell's value with the blanks at both ends removed.
QString trimmedCell(const Worksheet &sheet, int row, int column);

// The last data row: the row above the first one whose cell in column is empty
// after trimming, at most LastExaminedRow; 0 when the first data row is empty.
int lastDataRow(const Worksheet &sheet, int column);

// "Zeile 5, Spalte 7 (Jagdjahr)" — names a cell in failure descriptions.
QString cellName(int row, int column, const QString &heading);
