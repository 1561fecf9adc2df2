#pragma once

#include "orberecordset.h"
#include "testdatabase.h"
#include "testrunhost.h"
#include "testworkbook.h"

#include <QDir>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

// A run host on a fresh database and a folder for the workbook and the log
// files that the run writes next to it.
struct RunFixture
{
    explicit RunFixture(TestDatabase &database)
        : database(database)
    {
        host.state.connection = database.connection();
        host.state.workbookFolder = folder.path() + u'/';
    }

    QString workbook(const QString &fileName, const WorkbookRows &rows)
    {
        const QString path = folder.filePath(fileName);
        host.state.workbookPath = fileName.endsWith(QLatin1String(".csv")) ? writeCsv(path, rows)
                                                                             : writeXlsx(path, rows);
        return path;
    }

    QStringList logFiles() const
    {
        return QDir(folder.path()).entryList({QStringLiteral("ProtokollTarvel*")}, QDir::Files);
    }

    // One value of the database as text, e.g. scalar("select count(*) from Wildart").
    QString scalar(const QString &statement)
    {
        auto result = database.connection()->OpenRecordset(statement, OpenMode::Lookup);
        return result->HasCurrent() ? result->Fields().Item(0).text() : QStringLiteral("<keine Zeile>");
    }

    // Fields of the assessment record of a collection and first year, joined
    // by blanks; "fehlt" when there is none.
    QString record(int collection, int year, const QStringList &columns)
    {
        auto rs = database.connection()->OpenRecordset(
            QStringLiteral("select * from ForstlichesGutachtenZurAbschussplanung where IdJagdbezirksSammlung = %1 "
                           "and JagdjahrVon = %2").arg(collection).arg(year), OpenMode::Lookup);
        if (!rs->HasCurrent())
            return QStringLiteral("fehlt");
        QStringList values;
        for (const QString &column : columns)
            values << rs->Fields().Item(column).text();
        return values.join(u' ');
    }

    qint32 rehwildKey()
    {
        return scalar(QStringLiteral("select Wildart_ID_PK from Wildart where Wildart_Name = 'Rehwild' and Wildart_Aktiv = True"))
            .toInt();
    }

    TestDatabase &database;
    QTemporaryDir folder;
    TestRunHost host;
    ErrorReportCapture errors;
};
