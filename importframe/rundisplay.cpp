#include "rundisplay.h"

#include "errorbox.h"
#include "failure.h"
#include "fittingtext.h"
#include "logbox.h"
#include "runchannel.h"
#include "systemopen.h"
#include "userdialogs.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The window toolkit took its progress values as single-precision numbers.
int toProgressUnits(float value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::round(double(value));
    return int(std::clamp(rounded, double(INT_MIN), double(INT_MAX)));
}

// What a failed import's error box says of its log file.
QString logFileNote(const RunEnding &ending)
{
    if (!ending.import)
        return {};
    // The log file's own failure says so itself.
    const bool logFileFailed = ending.failure && ending.failure->number == ErrorNumber::PathFileAccess
                               && ending.failure->source == ErrorSource::Tarvel;
    if (!ending.logFileKnown)
        return logFileFailed ? QString() : QStringLiteral("Eine Protokolldatei wurde nicht angelegt; es wurde nichts importiert.");
    if (ending.logFileFailure.isEmpty())
        return QStringLiteral("Das Protokoll bis zum Fehler steht in der Datei %1.").arg(ending.logFilePath);
    return QStringLiteral("Das Protokoll ließ sich nicht in die Datei schreiben: %1").arg(ending.logFileFailure);
}

} // namespace

RunDisplay::RunDisplay(QWidget *window, LogBox *log, SummaryBar *bar)
    : m_window(window)
    , m_log(log)
    , m_bar(bar)
{
}

void RunDisplay::reset()
{
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->showSummary(QString());
    m_value = 0;
    m_summary.clear();
}

void RunDisplay::begin(const QString &format)
{
    // The rows show once the run has counted them; until then (a question
    // about the workbook, a slow share) the bar is empty.
    reset();
    m_format = format;
    m_bar->setFormat(format);
}

void RunDisplay::show(const RunOutput &output)
{
    if (output.logCleared)
        m_log->clearLog();
    if (!output.log.isEmpty())
        m_log->appendLog(output.log);
    if (output.progressMaximum)
        setMaximum(*output.progressMaximum);
    if (output.progressValue)
        setValue(*output.progressValue);
    // A wait says so on the bar instead of the row it stands at.
    if (output.wait) {
        m_bar->setFormat(output.wait->isEmpty() ? m_format : *output.wait);
        m_bar->setTextVisible(true);
    }
    // The bar shows one line; its tool tip all of them.
    if (output.summary) {
        m_summary = summaryText(*output.summary);
        m_bar->showSummary(m_summary);
    }
}

void RunDisplay::setMaximum(float maximum)
{
    // A maximum of 0 (a workbook without data rows) shows an empty bar instead
    // of Qt's busy animation.
    m_bar->setRange(0, std::max(1, toProgressUnits(maximum)));
    m_bar->setTextVisible(true);
    setValue(m_value);
}

void RunDisplay::setValue(float value)
{
    m_value = value;
    m_bar->setValue(std::clamp(toProgressUnits(value), 0, m_bar->maximum()));
}

void RunDisplay::end(const RunEnding &ending, const QString &layoutNote)
{
    m_log->showEnd();
    if (!layoutNote.isEmpty())
        m_bar->showSummary(m_summary.isEmpty() ? layoutNote : m_summary + u'\n' + layoutNote);
    if (!m_bar->showsSummary())
        m_bar->setTextVisible(false);
    if (ending.failure)
        setValue(0);
    for (const RunMessage &message : ending.messages) {
        if (message.logFilePath.isEmpty())
            UserDialogs::current().showMessage(m_window, message.text, message.title, message.icon);
        else
            showImportFinished(message);
    }
    if (ending.failure)
        showErrorBox(m_window, *ending.failure, logFileNote(ending));
}

void RunDisplay::showImportFinished(const RunMessage &message)
{
    const int choice = UserDialogs::current().showMessage(m_window, message.text, message.title, message.icon,
                                                          {QStringLiteral("Protokoll öffnen"), QStringLiteral("Ordner öffnen")});
    if (choice == 0)
        return;
    const QFileInfo logFile(message.logFilePath);
    const QString target = choice == 1 ? logFile.absoluteFilePath() : logFile.absolutePath();
    QWidget *window = m_window;
    openWithSystem(window, target, [window, target, file = choice == 1] {
        UserDialogs::current().showMessage(
            window,
            (file ? QStringLiteral("Für die Protokolldatei ist auf diesem Rechner kein Programm eingerichtet, das sie öffnet:")
                  : QStringLiteral("Auf diesem Rechner ist kein Programm eingerichtet, das den Ordner öffnet:"))
                + u'\n' + QDir::toNativeSeparators(target),
            QStringLiteral("Tarvel"), MessageIcon::Exclamation);
    });
}
