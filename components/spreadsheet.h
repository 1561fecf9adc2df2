#pragma once

#include <QString>

#include <memory>
#include <vector>

// The first sheet of a workbook, read when the workbook opens, as far down as
// the caller asked for. Cells are counted from 1. A cell's value comes as its text: whole numbers as
// their digits without decimals, text as stored, empty cells as the empty text,
// formulas as their stored result, dates as dd.MM.yyyy.
class Worksheet
{
public:
    // The rows a sheet of the current formats can have.
    static constexpr int MaxRows = 1048576;
    // The columns a sheet holds: every run reads columns 1 to 9 and none
    // further. Cells to their right are checked when read, then dropped.
    static constexpr int MaxColumns = 9;

    Worksheet() = default;

    // Cells(row, column).Value, untrimmed. Outside the used range: empty.
    QString cellValue(int row, int column) const;
    int rowCount() const;

    void setCell(int row, int column, QString value);

private:
    std::vector<std::vector<QString>> m_rows; // [row-1][column-1]
};

class Workbook
{
public:
    explicit Workbook(Worksheet sheet);
    Worksheet &firstSheet() { return m_sheet; }
    // Closes without saving (the readers never write): the sheet is let go.
    void Close();

private:
    Worksheet m_sheet;
};

// The workbook server as the runs drive it: start, open by path, take the
// first sheet, read cells, close unsaved, quit.
class SpreadsheetApplication
{
public:
    static std::unique_ptr<SpreadsheetApplication> Start();

    // Workbooks.Open(path). Recognises the format from the file's content
    // (.xlsx/.xlsm, .xls, .ods, CSV as plain text). Throws Failure with a
    // German description naming the file. Rows below `lastRow` are not kept:
    // their cells are empty. xlsx, ods and CSV hold their rows in order and
    // are read no further, so damage below goes unnoticed; an .xls sheet is
    // read through, and a damaged record anywhere in it refuses the file.
    Workbook &Open(const QString &path, int lastRow = Worksheet::MaxRows);
    void Quit();

private:
    std::vector<std::unique_ptr<Workbook>> m_workbooks;
};

// The reader behind Open(): reads the first sheet of the file down to
// `lastRow`. Throws Failure.
Worksheet readFirstWorksheet(const QString &path, int lastRow = Worksheet::MaxRows);
