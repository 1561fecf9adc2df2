#pragma once

#include <QString>

struct ErrorReportEntry;
class QWidget;

// The error box of the window program, for the people who use it. It leads
// with the German cause in the error report's own words and adds what to do
// where a sentence fits, and after an import where its log went; the
// database's own words (often English) follow the cause on a line of their
// own. The rest of the report (window, procedure, number, source, line, the
// statement) is in the box's details, as the error log keeps it.
struct ErrorBoxText
{
    QString text;
    QString details;
};
ErrorBoxText errorBoxText(const ErrorReportEntry &entry, const QString &logFileNote = QString());

void showErrorBox(QWidget *parent, const ErrorReportEntry &entry, const QString &logFileNote = QString());

// The window program's presenter of error reports: a run's report waits for
// the end of its run, in its window; any other shows at once.
void presentErrorReport(const ErrorReportEntry &entry);

// A database driver's words for people: the Qt driver's own part ("QPSQL:
// Unable to connect") left out, tabs and line breaks of server messages made
// single blanks.
QString tidyDriverText(const QString &text);
