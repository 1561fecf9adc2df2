#include "runchannel.h"

#include "orbewaits.h"

namespace {

thread_local RunChannel *t_reportsHere = nullptr;

} // namespace

RunOutput RunChannel::takeOutput()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_output, RunOutput());
}

RunEnding RunChannel::takeEnding()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_ending, RunEnding());
}

RunChannel::RunChannel()
    : m_databaseCancel(std::make_shared<DatabaseCancel>())
{
}

void RunChannel::cancel()
{
    m_cancel = true;
    m_databaseCancel->request();
}

std::optional<QString> RunChannel::question() const
{
    const std::lock_guard lock(m_mutex);
    return m_answer ? std::nullopt : m_question;
}

void RunChannel::answer(bool yes)
{
    const std::lock_guard lock(m_mutex);
    m_answer = yes;
    m_answered.notify_all();
}

void RunChannel::abandon()
{
    cancel();
    const std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_answered.notify_all();
}

bool RunChannel::ask(const QString &question)
{
    std::unique_lock lock(m_mutex);
    m_question = question;
    m_answer.reset();
    m_answered.wait(lock, [this] { return m_answer || m_abandoned; });
    m_question.reset();
    return m_answer.value_or(false) && !m_abandoned;
}

RunChannel::ReportsHere::ReportsHere(RunChannel &channel)
{
    t_reportsHere = &channel;
}

RunChannel::ReportsHere::~ReportsHere()
{
    t_reportsHere = nullptr;
}

bool RunChannel::takeReport(const ErrorReportEntry &entry)
{
    if (!t_reportsHere)
        return false;
    t_reportsHere->change([&](RunOutput &, RunEnding &ending) { ending.failure = entry; });
    return true;
}

WindowRunHost::WindowRunHost(RunChannel &channel, QString place, ImportWindowState state, QString logSoFar)
    : m_channel(channel)
    , m_place(std::move(place))
    , m_state(std::move(state))
    , m_log(std::move(logSoFar))
{
}

void WindowRunHost::clearLog()
{
    m_log.clear();
    m_channel.change([](RunOutput &output, RunEnding &) {
        output.logCleared = true;
        output.log.clear();
    });
}

void WindowRunHost::appendLog(const QString &piece)
{
    m_log += piece;
    m_channel.change([&](RunOutput &output, RunEnding &) { output.log += piece; });
}

void WindowRunHost::setProgressMaximum(float maximum)
{
    m_channel.change([&](RunOutput &output, RunEnding &) { output.progressMaximum = maximum; });
}

void WindowRunHost::setProgressValue(float value)
{
    m_channel.change([&](RunOutput &output, RunEnding &) { output.progressValue = value; });
}

void WindowRunHost::setImportEnabled(bool enabled)
{
    m_channel.change([&](RunOutput &output, RunEnding &) { output.importEnabled = enabled; });
}

void WindowRunHost::showMessage(const QString &text, const QString &title, MessageIcon icon)
{
    m_channel.change([&](RunOutput &, RunEnding &ending) { ending.messages << RunMessage{text, title, icon, {}}; });
}

void WindowRunHost::showSummary(const RunSummary &summary)
{
    m_channel.change([&](RunOutput &output, RunEnding &) { output.summary = summary; });
}

void WindowRunHost::showLogFileAfterFailure(const QString &path, const QString &failure)
{
    m_channel.change([&](RunOutput &, RunEnding &ending) {
        ending.logFileKnown = true;
        ending.logFilePath = path;
        ending.logFileFailure = failure;
    });
}

void WindowRunHost::showImportFinished(const QString &text, const QString &logFilePath)
{
    m_channel.change([&](RunOutput &, RunEnding &ending) {
        ending.messages << RunMessage{text, QStringLiteral("Tarvel"), MessageIcon::Information, logFilePath};
    });
}

void WindowRunHost::showWait(const DatabaseWait &wait)
{
    const QString text = waitText(wait, QStringLiteral("Abbrechen beendet das Warten"));
    m_channel.change([&](RunOutput &output, RunEnding &) { output.wait = text; });
}

void WindowRunHost::endWait()
{
    m_channel.change([](RunOutput &output, RunEnding &) { output.wait = QString(); });
}
