#pragma once

#include <QString>

#include <initializer_list>

class Worksheet;
struct RunSummary;

// Data rows start below the headings; no run looks further than row 10000.
// The runs open workbooks one row further, only to tell whether rows were left
// unread at that bound.
constexpr int FirstDataRow = 2;
constexpr int LastExaminedRow = 10000;
constexpr int LastReadRow = LastExaminedRow + 1;

// A cell's value with the blanks at both ends removed.
QString trimmedCell(const Worksheet &sheet, int row, int column);

// The last data row: the row above the first one whose cell in column is empty
// after trimming, at most LastExaminedRow; 0 when the first data row is empty.
int lastDataRow(const Worksheet &sheet, int column);

// "Zeile 5, Spalte 7 (Jagdjahr)" — names a cell in failure descriptions.
QString cellName(int row, int column, const QString &heading);

// After a run that took no row from stopRow down (the row whose key cell
// emptyCell was empty, or LastReadRow at the bound): notes in the summary the
// first row up to LastReadRow below that empty cell, or at the bound, with a
// filled cell in one of keyColumns, and why the run left it. Nothing after a
// cancel: the user left those rows.
void noteUnreadRows(RunSummary &summary, const Worksheet &sheet, int stopRow, const QString &emptyCell,
                    std::initializer_list<int> keyColumns);
