#pragma once

#include <QString>

// The two kinds of workbook, one for each import window.
enum class WorkbookKind { District, Cooperative };

// How a workbook's first rows fit the runs of a kind, judged by what the rows
// are. A heading matches its name after trimming, in any case, without
// blanks, "-", "_" and "."; a row of cooperative headings has at least seven
// of Hgnr, Jahr, Lkr, Lkrname, Alf_kurz, Alf_lang, Hgname, Belast, Abschuss in
// their columns 1 to 9, Hgnr among them. A cooperative data row has a number
// in column 1, a year in column 2 and a text that is no number in column 7; a
// district data row a number in column 2 and a year in column 7 (a number is
// a whole number without sign, a year one from 1900 to 2100). A workbook is of
// the other kind by that kind's headings (only the cooperative kind names
// them) or by more of its data rows than of its own in rows 2 to 11.
struct LayoutFinding
{
    enum class Verdict {
        Fits,
        OtherKind,    // headings or data rows of the other kind
        FirstRowData, // row 1 holds data, which no run reads
        TitleRow,     // a title above the headings, which a run would read as data
        NoDataRow,    // row 2, column 2 is empty: the runs read nothing
        NotItsKind,   // no data row of the kind in rows 2 to 11
    };
    Verdict verdict = Verdict::Fits;
    // German, naming the kind expected and what the rows hold; empty when it fits.
    QString notice;
    // German, where it fits all the same: headings that differ from the names.
    QString note;
};

// Reads rows 1 to 11 of the workbook. A workbook that cannot be read fits
// here: its run names the reason.
LayoutFinding examineLayout(const QString &workbookPath, WorkbookKind kind);
