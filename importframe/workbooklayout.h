#pragma once

#include <QString>

// The two kinds of workbook, one for each import window.
enum class WorkbookKind { District, Cooperative };

// How a workbook's first rows fit the runs of a kind. A cooperative workbook
// names its columns 1 to 9 in row 1: Hgnr, Jahr, Lkr, Lkrname, Alf_kurz,
// Alf_lang, Hgname, Belast, Abschuss (trimmed, in any case); a district
// workbook is any other. Without a value in row 2's column 2, where both
// kinds' data begins, a workbook has no data row.
struct LayoutFinding
{
    enum class Verdict { Fits, OtherKind, NoDataRow };
    Verdict verdict = Verdict::Fits;
    // German, naming the kind expected and what row 1 holds; empty when it fits.
    QString notice;
};

// Reads rows 1 and 2 of the workbook. A workbook that cannot be read fits
// here: its run names the reason.
LayoutFinding examineLayout(const QString &workbookPath, WorkbookKind kind);
