#include "workbooklayout.h"

#include "conversions.h"
#include "failure.h"
#include "spreadsheet.h"
#include "workbookrows.h"

#include <QStringList>

namespace {

const QStringList CooperativeHeadings{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"};
// The column where the data of both kinds begins: Lfdnr, or Jahr.
constexpr int KeyColumn = 2;

bool hasCooperativeHeadings(const Worksheet &sheet)
{
    for (int column = 1; column <= CooperativeHeadings.size(); ++column) {
        if (trimmedCell(sheet, 1, column).compare(CooperativeHeadings[column - 1], Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

// Row 1 as the notice shows it: its cells up to the last filled one, each quoted short.
QString firstRow(const Worksheet &sheet)
{
    QStringList cells;
    for (int column = 1; column <= Worksheet::MaxColumns; ++column)
        cells << trimmedCell(sheet, 1, column);
    while (!cells.isEmpty() && cells.constLast().isEmpty())
        cells.removeLast();
    if (cells.isEmpty())
        return QStringLiteral("ihre erste Zeile ist leer");
    for (QString &cell : cells)
        cell = quotedValue(cell);
    return QStringLiteral("ihre erste Zeile lautet ") + cells.join(QStringLiteral(", "));
}

} // namespace

LayoutFinding examineLayout(const QString &workbookPath, WorkbookKind kind)
{
    Worksheet sheet;
    try {
        sheet = readFirstWorksheet(workbookPath, FirstDataRow);
    } catch (const Failure &) {
        return {};
    }
    const bool district = kind == WorkbookKind::District;
    const QString lead = QStringLiteral("Die Arbeitsmappe hat nicht den Aufbau für %1: ")
                             .arg(district ? QStringLiteral("Jagdbezirke") : QStringLiteral("Hegegemeinschaften"));
    if (hasCooperativeHeadings(sheet) == district) {
        const QString found = district ? QStringLiteral("ihre erste Zeile trägt die Spaltennamen einer Arbeitsmappe für "
                                                        "Hegegemeinschaften (%1).").arg(CooperativeHeadings.join(QStringLiteral(", ")))
                                       : firstRow(sheet) + QStringLiteral("; erwartet sind die Spalten %1.")
                                                               .arg(CooperativeHeadings.join(QStringLiteral(", ")));
        return {LayoutFinding::Verdict::OtherKind, lead + found};
    }
    if (trimmedCell(sheet, FirstDataRow, KeyColumn).isEmpty())
        return {LayoutFinding::Verdict::NoDataRow,
                lead + QStringLiteral("sie hat keine Datenzeile (Zeile 2, Spalte 2 ist leer); ") + firstRow(sheet) + u'.'};
    return {};
}
