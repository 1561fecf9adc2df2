#pragma once

#include <QString>

#include <functional>

// The error line of a trapped procedure: the body announces each numbered
// statement before it runs it, so a reader finds "line 330" by searching for
// at(330).
class ErrorLine
{
public:
    void operator()(int line) { m_line = line; }
    int current() const { return m_line; }

private:
    int m_line = 0;
};

// Runs body under a failure trap. A failure skips the rest of the body and is
// handed once to the component's error reporter with the application, place,
// procedure, the error's number, source and description, and the error line.
// Returns true when the body ran to its end. Running out of memory anywhere in
// the body is such a failure too ("Nicht genügend Speicher").
bool runTrapped(const QString &place, const QString &procedure,
                const std::function<void(ErrorLine &at)> &body);

// The same for a run over workbook rows: running out of memory names the row
// the run was at (row, 0 before the first). beforeReport, if given, runs on a
// failure before the error reporter is called.
bool runTrapped(const QString &place, const QString &procedure, const int &row,
                const std::function<void(ErrorLine &at)> &body, const std::function<void()> &beforeReport = {});
