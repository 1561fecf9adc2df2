#include "programsetup.h"

#include <QCoreApplication>
#include <QLocale>

namespace {

// Qt's own warnings ("QSqlQuery::exec: database not open") are English notes
// for developers; the program says what went wrong in its own German words.
QtMessageHandler qtsOwnHandler = nullptr;

void keepQtWarningsBack(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        qtsOwnHandler(type, context, message);
}

} // namespace

void setUpProgram()
{
    qtsOwnHandler = qInstallMessageHandler(keepQtWarningsBack);
    QCoreApplication::setOrganizationName(QStringLiteral("Tarvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvel"));
    if (QLocale::system().language() == QLocale::C)
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}
