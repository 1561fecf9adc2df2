#include "undoflow.h"

#include "conversions.h"
#include "userdialogs.h"
#include "windowmemory.h"

UndoFlow::UndoFlow(QWidget *window, StartRun start)
    : m_window(window)
    , m_start(std::move(start))
{
}

void UndoFlow::begin(const std::optional<DatabaseLocation> &database)
{
    UserDialogs &dialogs = UserDialogs::current();
    const std::optional<QString> chosen = dialogs.chooseOpenFile(
        m_window, {QStringLiteral("Protokolle von Importen (ProtokollTarvel*.txt)"), QStringLiteral("Alle Dateien (*)")},
        lastWorkbookFolder());
    if (!chosen)
        return;
    std::variant<UndoData, QString> read = readUndoData(*chosen);
    if (const QString *unreadable = std::get_if<QString>(&read)) {
        dialogs.showMessage(m_window, *unreadable, QStringLiteral("Tarvel"), MessageIcon::Exclamation);
        return;
    }
    auto plan = std::make_shared<Plan>(Plan{std::get<UndoData>(std::move(read)), *chosen, {}});
    const QString here = database ? singleLine(databaseIdentity(*database)) : QString();
    if (database && here != plan->data.header.database
        && !dialogs.confirm(m_window,
                            QStringLiteral("Der Import wurde auf einer anderen Datenbank gemacht: %1. Tarvel arbeitet mit "
                                           "%2.\n\nTrotzdem fortfahren?").arg(plan->data.header.database, here),
                            QStringLiteral("Tarvel")))
        return;
    m_plan = plan;
    m_stage = Stage::Preview;
    m_start([plan](RunHost &host) {
        plan->outcome = previewUndo(host, plan->data, plan->logFile);
        return plan->outcome.completed;
    });
}

void UndoFlow::runEnded()
{
    if (std::exchange(m_stage, Stage::None) != Stage::Preview || !m_plan->outcome.completed)
        return;
    UserDialogs &dialogs = UserDialogs::current();
    if (m_plan->outcome.takenBack == 0) {
        dialogs.showMessage(m_window,
                            QStringLiteral("Es ist nichts zurückzunehmen: kein Datensatz hält mehr, was der Import "
                                           "schrieb."),
                            QStringLiteral("Tarvel"), MessageIcon::Information);
        return;
    }
    if (!dialogs.confirm(m_window, QStringLiteral("Import vom %1 zurücknehmen?").arg(dateTimeText(m_plan->data.header.started)),
                         QStringLiteral("Tarvel")))
        return;
    m_stage = Stage::TakingBack;
    m_start([plan = m_plan](RunHost &host) {
        plan->outcome = takeBack(host, plan->data, plan->logFile);
        return plan->outcome.completed;
    });
}
