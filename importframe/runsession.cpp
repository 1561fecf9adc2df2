#include "runsession.h"

#include "failure.h"
#include "failuretrap.h"
#include "orbeconnection.h"
#include "runskeleton.h"
#include "userdialogs.h"

#include <QPushButton>
#include <QThread>
#include <QWidget>

namespace {

// The run's output reaches the window this often; the box is filled in pieces.
constexpr int PollMilliseconds = 100;

// Opening the run's own connection is the step before the run's first line.
constexpr int ConnectLine = 10;

std::shared_ptr<OrbeConnection> openRunConnection(const std::optional<DatabaseLocation> &database)
{
    if (!database)
        throw objectNotSet();
    QString reason;
    std::shared_ptr<OrbeConnection> connection = OrbeBase::openConnection(*database, &reason);
    if (!connection)
        throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                      QStringLiteral("Die Verbindung zur Datenbank lässt sich für den Lauf nicht öffnen: %1").arg(reason));
    return connection;
}

// On the run's thread: the layout question, the connection, the run.
void work(const RunJob &job, RunChannel &channel)
{
    const RunChannel::ReportsHere reports(channel);
    channel.change([&](RunOutput &, RunEnding &ending) { ending.import = job.import; });
    const LayoutFinding layout = examineLayout(job.state.workbookPath, job.kind);
    if (layout.verdict != LayoutFinding::Verdict::Fits
        && !channel.ask(layout.notice + QStringLiteral("\n\nTrotzdem fortfahren?")))
        return;
    if (channel.cancelRequested())
        return;
    WindowRunHost host(channel, job.place, job.state, job.logSoFar);
    std::shared_ptr<OrbeConnection> &connection = host.windowState().connection;
    if (!runTrapped(job.place, job.import ? ImportProcedure : CheckProcedure,
                    [&](ErrorLine &at) { at(ConnectLine); connection = openRunConnection(job.database); }))
        return;
    channel.setConnection(connection);
    job.run(host);
    // The connection is closed by the thread that opened it.
    channel.setConnection(nullptr);
    connection->close();
    connection.reset();
}

} // namespace

Failure objectNotSet()
{
    return Failure(91, ErrorSource::Tarvel, QStringLiteral("Objektvariable oder With-Blockvariable nicht festgelegt"));
}

RunSession::RunSession(QWidget *window, QPushButton *cancelButton, QPushButton *fallback)
    : m_window(window)
    , m_cancelButton(cancelButton)
    , m_fallback(fallback)
{
    m_poll.setInterval(PollMilliseconds);
    connect(&m_poll, &QTimer::timeout, this, &RunSession::poll);
}

RunSession::~RunSession()
{
    if (!m_thread)
        return;
    m_channel->abandon();
    m_thread->wait();
}

void RunSession::start(RunJob job, QPushButton *starter)
{
    if (m_thread)
        return;
    m_starter = starter;
    m_closeAfter = false;
    m_channel = std::make_shared<RunChannel>();
    m_thread.reset(QThread::create([job = std::move(job), channel = m_channel] { work(job, *channel); }));
    // The end shows at once, not at the next poll.
    connect(m_thread.get(), &QThread::finished, this, &RunSession::poll, Qt::QueuedConnection);
    m_window->setCursor(Qt::BusyCursor);
    emit runningChanged(true);
    m_cancelButton->setFocus();
    m_thread->start();
    m_poll.start();
}

void RunSession::askToCancel(bool thenClose)
{
    if (!m_thread || m_asking)
        return;
    m_asking = true;
    const bool yes = UserDialogs::current().confirm(m_window, QStringLiteral("Lauf abbrechen?"), QStringLiteral("Tarvel"));
    m_asking = false;
    if (yes) {
        m_channel->cancel();
        m_closeAfter = m_closeAfter || thenClose;
    }
    poll();
}

void RunSession::poll()
{
    if (!m_thread)
        return;
    RunOutput output = m_channel->takeOutput();
    emit outputReady(&output);
    if (m_asking)
        return;
    askPendingQuestion();
    if (m_thread && m_thread->isFinished())
        finish();
}

void RunSession::askPendingQuestion()
{
    const std::optional<QString> question = m_channel->question();
    if (!question)
        return;
    // A run cancelled meanwhile is not asked about.
    bool yes = false;
    if (!m_channel->cancelRequested()) {
        m_asking = true;
        yes = UserDialogs::current().confirm(m_window, *question, QStringLiteral("Tarvel"));
        m_asking = false;
    }
    m_channel->answer(yes);
}

void RunSession::finish()
{
    m_poll.stop();
    m_thread->wait();
    m_thread.reset();
    RunOutput last = m_channel->takeOutput();
    RunEnding ending = m_channel->takeEnding();
    m_channel.reset();
    emit outputReady(&last);
    m_window->unsetCursor();
    emit runningChanged(false);
    emit ended(&ending);
    QPushButton *focus = m_starter && m_starter->isEnabled() ? m_starter.data() : m_fallback;
    focus->setFocus();
    // Queued: within the close event that asked, a close would be a no-op.
    if (m_closeAfter)
        QMetaObject::invokeMethod(m_window, &QWidget::close, Qt::QueuedConnection);
}
