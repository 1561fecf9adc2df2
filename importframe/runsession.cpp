#include "runsession.h"

#include "failure.h"
#include "hostwaits.h"
#include "failuretrap.h"
#include "orbeconnection.h"
#include "runskeleton.h"
#include "userdialogs.h"

#include <QPushButton>
#include <QScopeGuard>
#include <QWidget>

namespace {

// The run's output reaches the window this often; the box is filled in pieces.
constexpr int PollMilliseconds = 100;

// Opening the run's own connection is the step before the run's first line.
constexpr int ConnectLine = 10;

// The run's own connection; nothing when a cancel ended its making (the run
// then ends as cancelled before its first row).
std::shared_ptr<OrbeConnection> openRunConnection(const std::optional<DatabaseLocation> &database,
                                                  const RunChannel &channel)
{
    if (!database)
        throw objectNotSet();
    QString reason;
    std::shared_ptr<OrbeConnection> connection = OrbeBase::openConnection(*database, &reason, channel.databaseCancel());
    if (!connection && !channel.cancelRequested())
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
    // The bar says when the run waits for the database, also while it connects.
    HostWaits waits(host);
    channel.databaseCancel()->setObserver(&waits);
    const auto unobserved = qScopeGuard([&channel] { channel.databaseCancel()->setObserver(nullptr); });
    std::shared_ptr<OrbeConnection> &connection = host.windowState().connection;
    if (!runTrapped(job.place, job.import ? ImportProcedure : CheckProcedure,
                    [&](ErrorLine &at) { at(ConnectLine); connection = openRunConnection(job.database, channel); }))
        return;
    job.run(host);
    // The connection is closed by the thread that opened it.
    if (connection)
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
    if (!m_thread.isStarted())
        return;
    m_channel->abandon();
    m_thread.join();
}

void RunSession::start(RunJob job, QPushButton *starter)
{
    if (m_thread.isStarted())
        return;
    m_starter = starter;
    m_closeAfter = false;
    m_quiet = false;
    m_channel = std::make_shared<RunChannel>();
    // The session outlives the thread: its destructor joins it.
    m_thread.start([job = std::move(job), channel = m_channel] { work(job, *channel); },
                   // The end shows at once, not at the next poll.
                   [this] { QMetaObject::invokeMethod(this, &RunSession::poll, Qt::QueuedConnection); });
    m_window->setCursor(Qt::BusyCursor);
    emit runningChanged(true);
    m_cancelButton->setFocus();
    m_poll.start();
}

void RunSession::cancelQuietly()
{
    if (!m_thread.isStarted())
        return;
    m_quiet = true;
    m_channel->cancel();
}

void RunSession::askToCancel(bool thenClose)
{
    // A run the ending program stops is not asked about again.
    if (!m_thread.isStarted() || m_asking || m_quiet)
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
    if (!m_thread.isStarted())
        return;
    RunOutput output = m_channel->takeOutput();
    emit outputReady(&output);
    if (m_asking)
        return;
    askPendingQuestion();
    if (m_thread.isStarted() && m_thread.isFinished())
        finish();
}

void RunSession::askPendingQuestion()
{
    const std::optional<QString> question = m_channel->question();
    if (!question)
        return;
    // A run cancelled meanwhile is not asked about.
    bool yes = false;
    if (!m_channel->cancelRequested() && !m_quiet) {
        m_asking = true;
        yes = UserDialogs::current().confirm(m_window, *question, QStringLiteral("Tarvel"));
        m_asking = false;
    }
    m_channel->answer(yes);
}

void RunSession::finish()
{
    m_poll.stop();
    m_thread.join();
    RunOutput last = m_channel->takeOutput();
    RunEnding ending = m_channel->takeEnding();
    m_channel.reset();
    emit outputReady(&last);
    m_window->unsetCursor();
    emit runningChanged(false);
    // A run cancelled because the program ends shows nothing more.
    if (!m_quiet)
        emit ended(&ending);
    QPushButton *focus = m_starter && m_starter->isEnabled() ? m_starter.data() : m_fallback;
    focus->setFocus();
    // Queued: within the close event that asked, a close would be a no-op.
    if (m_closeAfter)
        QMetaObject::invokeMethod(m_window, &QWidget::close, Qt::QueuedConnection);
}
