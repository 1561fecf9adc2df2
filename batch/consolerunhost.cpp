#include "consolerunhost.h"

#include "consoletext.h"
#include "platform.h"

#include <algorithm>
#include <cmath>

namespace {

// The runs count rows in single-precision numbers; a terminal line shows whole rows.
long wholeRows(float value)
{
    return std::isfinite(value) ? std::lround(std::clamp(value, 0.0f, 1e9f)) : 0;
}

} // namespace

ConsoleRunHost::ConsoleRunHost(const QString &place, std::FILE *log, std::FILE *messages, bool showProgress)
    : m_place(place)
    , m_logStream(log)
    , m_messages(messages)
    , m_showProgress(showProgress)
{
}

ConsoleRunHost::~ConsoleRunHost()
{
    clearProgress();
}

void ConsoleRunHost::printMessage(const QString &text)
{
    writeLog();
    clearProgress();
    QString lines = withShownNames(text);
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (!lines.endsWith(u'\n'))
        lines += u'\n';
    writeUtf8(m_messages, lines.toUtf8());
}

bool ConsoleRunHost::writeLog()
{
    if (m_logFailed || m_logWritten == m_log.size())
        return !m_logFailed;
    // The progress line goes before the log where they share the terminal.
    if (m_logStream == m_messages || isTerminal(m_logStream))
        clearProgress();
    const QByteArray bytes = QStringView(m_log).mid(m_logWritten).toUtf8();
    m_logWritten = m_log.size();
    m_logFailed = !writeUtf8(m_logStream, bytes);
    return !m_logFailed;
}

QString ConsoleRunHost::withShownNames(QString text) const
{
    for (const auto &[path, shown] : m_shownNames)
        text.replace(path, shown);
    return text;
}

void ConsoleRunHost::writeSummary()
{
    if (!m_summary.isEmpty())
        printMessage(m_summary);
    m_summary.clear();
}

bool ConsoleRunHost::cancelRequested()
{
    writeLog();
    return cancelSignal() != 0;
}

void ConsoleRunHost::showImportFinished(const QString &text, const QString &)
{
    printMessage(text);
    m_summary.clear();
}

void ConsoleRunHost::showWait(const DatabaseWait &wait)
{
    // The run's thread waits meanwhile: nothing else writes to the streams.
    if (wait.seconds < 2 || m_waitTold.exchange(true))
        return;
    clearProgress();
    writeUtf8(m_messages, (waitText(wait, QStringLiteral("Strg+C beendet das Warten")) + u'\n').toUtf8());
}

void ConsoleRunHost::showLogFileAfterFailure(const QString &path, const QString &failure)
{
    printMessage(failure.isEmpty() ? QStringLiteral("Protokolldatei: ") + path
                                   : QStringLiteral("Fehler beim Schreiben der Protokolldatei: ") + failure);
}

void ConsoleRunHost::clearLog()
{
    m_log.clear();
    m_logWritten = 0;
}

void ConsoleRunHost::setProgressMaximum(float maximum)
{
    m_progressMaximum = wholeRows(maximum);
}

void ConsoleRunHost::setProgressValue(float value)
{
    m_progressValue = wholeRows(value);
    // The runs set 0 when they are through.
    if (m_progressValue == 0)
        clearProgress();
    else
        showProgress();
}

void ConsoleRunHost::showMessage(const QString &text, const QString &, MessageIcon icon)
{
    m_warned = m_warned || icon == MessageIcon::Exclamation;
    printMessage(text);
}

void ConsoleRunHost::showProgress()
{
    if (!m_showProgress || m_progressValue == m_shownValue)
        return;
    // A terminal redrawn for every row would slow the run down: ten times a
    // second is enough, also when the log took the line away meanwhile.
    if (m_sinceShown.isValid() && m_progressValue < m_progressMaximum && m_sinceShown.elapsed() < 100)
        return;
    const QString line = QStringLiteral("Zeile %1 von %2").arg(m_progressValue).arg(m_progressMaximum);
    writeUtf8(m_messages, '\r' + line.toUtf8());
    m_shownValue = m_progressValue;
    m_progressShown = line.size();
    m_sinceShown.start();
}

void ConsoleRunHost::clearProgress()
{
    if (!m_progressShown)
        return;
    // Blanks over the line: also where a console takes no escape sequences
    // (Windows before 10, Wine).
    writeUtf8(m_messages, '\r' + QByteArray(m_progressShown, ' ') + '\r');
    m_progressShown = 0;
    m_shownValue = -1;
}
