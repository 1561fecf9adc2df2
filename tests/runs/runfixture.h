#pragma once

#include "orberecordset.h"
#include "testdatabase.h"
#include "testfiles.h"
#include "testrunhost.h"
#include "testworkbook.h"

#include <QDir>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

// A window's reference rows, from the statements of tests/data/runs/<window>.sql;
// only the assessment records when recordsOnly.
inline void seed(TestDatabase &db, const QString &window, bool recordsOnly = false)
{
    const QByteArray script = fileBytes(QStringLiteral(TARVEL_TEST_DATA "/runs/") + window + QStringLiteral(".sql"));
    QString statements;
    for (const QString &line : QString::fromUtf8(script).split(u'\n'))
        statements += line.startsWith(QLatin1String("--")) ? QString() : line + u'\n';
    for (const QString &statement : statements.split(u';')) {
        if (!statement.trimmed().isEmpty()
            && (!recordsOnly || statement.contains(QLatin1String("ForstlichesGutachtenZurAbschussplanung"))))
            db.execute(statement);
    }
}

// A record of the assessment table as "collection/first year" -> {key or
// "neu", species name, last year, pressure, cull, change, remark}.
using Records = QMap<QString, QStringList>;
inline Records assessments(TestDatabase &db)
{
    auto rs = db.connection()->OpenRecordset(
        QStringLiteral("select IdForstlichesGutachten, IdJagdbezirksSammlung, JagdjahrVon, "
                       "(select Wildart_Name from Wildart where Wildart_ID_PK = IdWildart), JagdjahrBis, "
                       "IdVerbissbelastung, IdForstlicheAbschussEmpfehlung, IdAenderungVerbissbelastung, Bemerkung "
                       "from ForstlichesGutachtenZurAbschussplanung"),
        OpenMode::Lookup);
    Records records;
    while (rs->HasCurrent()) {
        OrbeFields fields = rs->Fields();
        QString key = fields.Item(1).text() + u'/' + fields.Item(2).text();
        while (records.contains(key))
            key += u'+'; // a second record of a collection and year shows, too
        QStringList values{fields.Item(0).text()};
        for (int i = 3; i < fields.Count(); ++i)
            values << fields.Item(i).text();
        records.insert(key, values);
        rs->MoveNext();
    }
    return records;
}

// The records one per line, for comparisons that show the difference.
inline QStringList lines(const Records &records)
{
    QStringList result;
    for (auto it = records.cbegin(); it != records.cend(); ++it)
        result << it.key() + QStringLiteral(": ") + it.value().join(u' ');
    return result;
}

// A run host on a fresh database and a folder for the workbook and the log
// files that the run writes next to it.
struct RunFixture
{
    explicit RunFixture(TestDatabase &database)
        : database(database)
    {
        host.state.connection = database.connection();
        host.state.database = OrbeBase::parseLocation(database.location());
        host.state.workbookFolder = folder.path() + u'/';
    }

    QString workbook(const QString &fileName, const WorkbookRows &rows)
    {
        const QString path = folder.filePath(fileName);
        host.state.workbookPath = writeXlsx(path, rows);
        return path;
    }

    // text as a golden file holds it: the folder's path as "<Ordner>", also
    // where the system's separators name it (a refused workbook's path on
    // Windows), and a date and time under any regional settings that write
    // the day first as "<Zeit>" (with the number a second log file of the
    // same second gets).
    QString alikeEverywhere(QString text) const
    {
        static const QRegularExpression time(
            QStringLiteral("\\d\\d?\\.\\d\\d?\\.\\d{4} \\d\\d?[:_]\\d\\d[:_]\\d\\d( \\(\\d+\\))?"));
        return text.replace(QDir::toNativeSeparators(folder.path() + u'/'), QStringLiteral("<Ordner>/"))
            .replace(folder.path(), QStringLiteral("<Ordner>"))
            .replace(QDir::toNativeSeparators(folder.path()), QStringLiteral("<Ordner>"))
            .replace(time, QStringLiteral("<Zeit>"));
    }

    QStringList logFiles() const
    {
        return QDir(folder.path()).entryList({QStringLiteral("ProtokollTarvel*.txt")}, QDir::Files);
    }

    // The one log file's content; a marker unlike any log when there is not exactly one.
    QByteArray onlyLogFile() const
    {
        const QStringList files = logFiles();
        return files.size() == 1 ? fileBytes(folder.filePath(files[0])) : "<%1 Protokolldateien>" + QByteArray::number(files.size());
    }

    // One value of the database as text, e.g. scalar("select count(*) from Wildart").
    QString scalar(const QString &statement)
    {
        auto result = database.connection()->OpenRecordset(statement, OpenMode::Lookup);
        return result->HasCurrent() ? result->Fields().Item(0).text() : QStringLiteral("<keine Zeile>");
    }

    TestDatabase &database;
    QTemporaryDir folder;
    TestRunHost host;
    ErrorReportCapture errors;
};
