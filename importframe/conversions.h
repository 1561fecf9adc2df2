#pragma once

#include <QDateTime>
#include <QString>

// The conversions the runs rely on. Each throws Failure instead of guessing.

// True for an optional sign followed by decimal digits only.
bool isWholeNumber(const QString &text);

// A whole number as a 32-bit signed integer: TypeMismatch (13) for a text that
// is no whole number, Overflow (6) outside the range. what names the value in
// the description, e.g. "Zeile 5, Spalte 7 (Jagdjahr)".
qint32 toInt32(const QString &text, const QString &what);

// a + b, Overflow (6) outside the 32-bit range.
qint32 addInt32(qint32 a, qint32 b, const QString &what);

// The text on one line: each character that may end a line in a text viewer
// (LF, VT, FF, CR, NEL, LS, PS) or a C string (NUL) is replaced by a visible
// symbol, so that a cell can never start a line of its own in the log or in an
// error report. Every other character stays as it is.
QString singleLine(const QString &text);

// A cell's text as failure descriptions quote it: „text“ on one line, cut after
// 40 characters with its length added, so that a huge cell leaves the message
// readable.
QString quotedValue(const QString &text);

// Date and time as the user's regional settings write them: the short date
// (with a four-digit year), a blank, the time with seconds.
QString dateTimeText(const QDateTime &moment);
