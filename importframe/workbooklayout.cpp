#include "workbooklayout.h"

#include "conversions.h"
#include "failure.h"
#include "spreadsheet.h"
#include "workbookrows.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace {

const QStringList CooperativeHeadings{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"};
constexpr int HeadingsNeeded = 7;
// Rows 2 to 11 show what the data is; a run reads further.
constexpr int LastJudgedRow = 11;
// Both kinds' runs end their data at an empty column 2.
constexpr int KeyColumn = 2;

enum class RowKind { None, District, Cooperative };

bool isNumber(const QString &text)
{
    return isWholeNumber(text) && text.front().isDigit();
}

bool isYear(const QString &text)
{
    return isNumber(text) && text.size() <= 4 && text.toInt() >= 1900 && text.toInt() <= 2100;
}

// Neither a whole number nor a decimal fraction, with a point or a comma.
bool isTextNoNumber(const QString &text)
{
    bool number = false;
    QString(text).replace(u',', u'.').toDouble(&number);
    return !text.isEmpty() && !number;
}

RowKind rowKind(const Worksheet &sheet, int row)
{
    const auto cell = [&](int column) { return trimmedCell(sheet, row, column); };
    if (isNumber(cell(1)) && isYear(cell(2)) && isTextNoNumber(cell(7)))
        return RowKind::Cooperative;
    if (isNumber(cell(KeyColumn)) && isYear(cell(7)))
        return RowKind::District;
    return RowKind::None;
}

// A heading as it is compared: what a user may write differently left out.
QString headingKey(const QString &text)
{
    QString key;
    for (const QChar c : text) {
        if (!c.isSpace() && c != u'-' && c != u'_' && c != u'.' && c != QChar::ByteOrderMark)
            key += c;
    }
    return key.toCaseFolded();
}

// A row compared with the cooperative headings: how many are in their
// columns, and the columns that differ, as a note names them.
struct HeadingMatch
{
    int matched = 0;
    bool hasKey = false;
    QStringList differences;
    bool isHeadingRow() const { return matched >= HeadingsNeeded && hasKey; }
};

HeadingMatch cooperativeHeadings(const Worksheet &sheet, int row)
{
    HeadingMatch match;
    for (int column = 1; column <= CooperativeHeadings.size(); ++column) {
        const QString &name = CooperativeHeadings[column - 1];
        const QString found = trimmedCell(sheet, row, column);
        if (headingKey(found) == headingKey(name)) {
            ++match.matched;
            match.hasKey = match.hasKey || column == 1;
        } else {
            match.differences << (found.isEmpty() ? QStringLiteral("Spalte %1 ist leer (erwartet %2)").arg(column).arg(name)
                                                  : QStringLiteral("Spalte %1 lautet %2 (erwartet %3)")
                                                        .arg(column).arg(quotedValue(found), name));
        }
    }
    return match;
}

// A row as a notice shows it: its cells up to the last filled one, each quoted short.
QString rowCells(const Worksheet &sheet, int row)
{
    QStringList cells;
    for (int column = 1; column <= Worksheet::MaxColumns; ++column)
        cells << trimmedCell(sheet, row, column);
    while (!cells.isEmpty() && cells.constLast().isEmpty())
        cells.removeLast();
    for (QString &cell : cells)
        cell = quotedValue(cell);
    return cells.join(QStringLiteral(", "));
}

QString firstRow(const Worksheet &sheet)
{
    const QString cells = rowCells(sheet, 1);
    return cells.isEmpty() ? QStringLiteral("ihre erste Zeile ist leer") : QStringLiteral("ihre erste Zeile lautet ") + cells;
}

QString kindName(RowKind kind)
{
    return kind == RowKind::District ? QStringLiteral("Jagdbezirke") : QStringLiteral("Hegegemeinschaften");
}

QString rowShape(RowKind kind)
{
    return kind == RowKind::District ? QStringLiteral("eine Zahl in Spalte 2, ein Jahr in Spalte 7")
                                     : QStringLiteral("eine Zahl in Spalte 1, ein Jahr in Spalte 2, ein Text in Spalte 7");
}

// What rows 1 to 11 are.
struct Rows
{
    explicit Rows(const Worksheet &sheet)
        : sheet(sheet)
        , headings{cooperativeHeadings(sheet, 1), cooperativeHeadings(sheet, 2)}
    {
        for (int row = 1; row <= LastJudgedRow; ++row)
            kinds[size_t(row)] = rowKind(sheet, row);
    }
    // The data rows of a kind in rows 2 to 11, and the first of them.
    int count(RowKind kind) const { return int(std::count(kinds.begin() + FirstDataRow, kinds.end(), kind)); }
    int first(RowKind kind) const { return int(std::find(kinds.begin() + FirstDataRow, kinds.end(), kind) - kinds.begin()); }
    // The row of the cooperative headings: 1, 2 below a title, or 0.
    int headingRow() const { return headings[0].isHeadingRow() ? 1 : headings[1].isHeadingRow() ? 2 : 0; }

    const Worksheet &sheet;
    const std::array<HeadingMatch, 2> headings;
    std::array<RowKind, LastJudgedRow + 1> kinds{}; // by row; 0 unused
};

LayoutFinding judge(const Rows &rows, RowKind own)
{
    using Verdict = LayoutFinding::Verdict;
    const RowKind other = own == RowKind::District ? RowKind::Cooperative : RowKind::District;
    const bool cooperative = own == RowKind::Cooperative;
    const int headingRow = rows.headingRow();
    const QString lead = QStringLiteral("Die Arbeitsmappe hat nicht den Aufbau für %1: ").arg(kindName(own));
    if (!cooperative && headingRow > 0)
        return {Verdict::OtherKind,
                lead + QStringLiteral("Zeile %1 trägt die Spaltennamen einer Arbeitsmappe für Hegegemeinschaften (%2).")
                           .arg(headingRow).arg(CooperativeHeadings.join(QStringLiteral(", "))), {}};
    if (rows.count(other) > rows.count(own))
        return {Verdict::OtherKind,
                lead + QStringLiteral("in den Zeilen 2 bis 11 stehen Daten einer Arbeitsmappe für %1 (%2), zuerst in Zeile %3: %4.")
                           .arg(kindName(other), rowShape(other)).arg(rows.first(other)).arg(rowCells(rows.sheet, rows.first(other))),
                {}};
    if (rows.kinds[1] != RowKind::None)
        return {Verdict::FirstRowData,
                lead + QStringLiteral("Zeile 1 enthält Daten (%1) und würde nicht eingelesen.").arg(rowCells(rows.sheet, 1)), {}};
    if (trimmedCell(rows.sheet, FirstDataRow, KeyColumn).isEmpty())
        return {Verdict::NoDataRow,
                lead + QStringLiteral("sie hat keine Datenzeile (Zeile 2, Spalte 2 ist leer); ") + firstRow(rows.sheet) + u'.', {}};
    const bool headingsBelowTitle = cooperative ? headingRow == 2 : rows.kinds[3] == own && rows.kinds[2] != own;
    if (headingsBelowTitle)
        return {Verdict::TitleRow,
                lead + QStringLiteral("über den Spaltennamen steht eine Titelzeile (Zeile 1: %1); die Spaltennamen in Zeile 2 "
                                      "würden als Daten gelesen.").arg(rowCells(rows.sheet, 1)), {}};
    if (rows.count(own) == 0)
        return {Verdict::NotItsKind,
                lead + QStringLiteral("keine der Zeilen 2 bis 11 ist eine Datenzeile (%1); Zeile 2 lautet %2.")
                           .arg(rowShape(own), rowCells(rows.sheet, FirstDataRow)), {}};
    if (!cooperative)
        return {};
    if (headingRow == 0)
        return {Verdict::Fits, {},
                QStringLiteral("Zeile 1 trägt nicht die Spaltennamen einer Arbeitsmappe für Hegegemeinschaften (%1); die "
                               "Datenzeilen passen.").arg(CooperativeHeadings.join(QStringLiteral(", ")))};
    if (!rows.headings[0].differences.isEmpty())
        return {Verdict::Fits, {},
                QStringLiteral("Die Spaltennamen in Zeile 1 weichen ab: ") + rows.headings[0].differences.join(QStringLiteral(", "))
                    + u'.'};
    return {};
}

} // namespace

LayoutFinding examineLayout(const QString &workbookPath, WorkbookKind kind)
{
    Worksheet sheet;
    try {
        sheet = readFirstWorksheet(workbookPath, LastJudgedRow);
    } catch (const Failure &) {
        return {};
    }
    return judge(Rows(sheet), kind == WorkbookKind::District ? RowKind::District : RowKind::Cooperative);
}
