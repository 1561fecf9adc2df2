#include "programsetup.h"

#include "qtnotes.h"

#include <QCoreApplication>
#include <QLocale>

namespace {

// Qt's own warnings ("QSqlQuery::exec: database not open") are English notes
// for developers; the program says what went wrong in its own German words.
// Under test (TARVEL_QT_WARNINGS=1) every warning but the platform's notes
// reaches standard error, so that a thread fault cannot pass unseen.
QtMessageHandler qtsOwnHandler = nullptr;
bool showWarnings = false;

void keepQtWarningsBack(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool shown = type == QtCriticalMsg || type == QtFatalMsg
                       || (showWarnings && type == QtWarningMsg && !isPlatformNote(message));
    if (shown)
        qtsOwnHandler(type, context, message);
}

} // namespace

void setUpProgram()
{
    showWarnings = qEnvironmentVariable("TARVEL_QT_WARNINGS") == QLatin1String("1");
    qtsOwnHandler = qInstallMessageHandler(keepQtWarningsBack);
    QCoreApplication::setOrganizationName(QStringLiteral("Tarvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvel"));
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}
