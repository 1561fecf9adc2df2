#include "orbeerrorreport.h"

#include "consoletext.h"
#include "orbetools.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

ApplicationInfo ApplicationInfo::current()
{
    ApplicationInfo info;
    info.title = QCoreApplication::applicationName();
    if (info.title.isEmpty())
        info.title = QStringLiteral("Tarvel");
    if (QCoreApplication::instance())
        info.path = QCoreApplication::applicationDirPath();
    return info;
}

QString ErrorReportEntry::toText() const
{
    return QStringLiteral("Fehler in %1\n"
                          "Ort: %2\n"
                          "Prozedur: %3\n"
                          "Fehlernummer: %4\n"
                          "Quelle: %5\n"
                          "Beschreibung: %6\n"
                          "Zeile: %7\n")
        .arg(application, place, procedure, QString::number(number), source, description,
             QString::number(line));
}

QString ErrorReportEntry::messageText() const
{
    return QStringLiteral("Fehler in %1, Prozedur %2\n\n"
                          "Fehlernummer: %3\n"
                          "Quelle: %4\n"
                          "Beschreibung: %5\n"
                          "Fehlerzeile: %6")
        .arg(place, procedure, QString::number(number), source, description, QString::number(line));
}

OrbeErrorReport &OrbeErrorReport::global()
{
    static OrbeErrorReport report;
    return report;
}

OrbeErrorReport::Presenter OrbeErrorReport::setPresenter(Presenter presenter)
{
    Presenter previous = std::move(m_presenter);
    m_presenter = std::move(presenter);
    return previous;
}

void OrbeErrorReport::ReportError(const ApplicationInfo &application, const QString &place,
                                  const QString &procedure, long number, const QString &source,
                                  const QString &description, int line)
{
    ErrorReportEntry entry;
    entry.application = application.title;
    entry.place = place;
    entry.procedure = procedure;
    entry.number = number;
    entry.source = source;
    entry.description = description;
    entry.line = line;

    const QString logPath = errorLogPath();
    QDir().mkpath(QFileInfo(logPath).absolutePath());
    QFile log(logPath);
    const QByteArray record = (QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))
                               + u'\n' + entry.toText() + u'\n').toUtf8();
    // A full disk shows only when the written bytes leave the buffer. A log
    // that is no file (a device, a pipe that nobody reads) is not written:
    // a pipe would hold the program.
    const QFileInfo existing(logPath);
    if ((existing.exists() && !existing.isFile()) || !log.open(QIODevice::WriteOnly | QIODevice::Append)
        || log.write(record) != record.size() || !log.flush())
        writeUtf8(stderr, QStringLiteral("Tarvel: Fehlerprotokoll %1 nicht beschreibbar\n").arg(logPath).toUtf8());
    log.close();

    if (m_presenter) {
        m_presenter(entry);
    } else {
        writeUtf8(stderr, entry.toText().toUtf8());
    }
}

QString OrbeErrorReport::errorLogPath()
{
    return OrbeTools::dataFolder() + QStringLiteral("Fehlerprotokoll.txt");
}
