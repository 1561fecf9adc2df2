#pragma once

#include "runfixture.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

// What the batch program did: exit status (-1 when it crashed or did not end)
// and both output streams.
struct BatchResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString errText() const { return QString::fromUtf8(err); }
};

// A test database with one district and one cooperative the workbooks below
// find, and a folder for the workbooks, the log files and the program's data
// folder (default database, error log).
struct BatchFixture : RunFixture
{
    explicit BatchFixture(TestDatabase &database)
        : RunFixture(database)
    {
        // District 12 of collection 101; cooperative 448 (collection 301) with
        // a record of 2018 that the check lists.
        database.execute(
            "insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, "
            "JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK, JagdbezirksSammlung_Lfdnr, "
            "JagdbezirksSammlung_Name) values (101, 1, '1001', 'Eigenjagd Hofberg'), (301, 2, '448', 'HG Naila')");
        database.execute("insert into Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) values (201, 101)");
        database.execute("insert into JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, "
                         "JagdbezirkDatenBayern_Lfdnr, JagdbezirkDatenBayern_Jagdjahr, "
                         "JagdbezirkDatenBayern_Reviername) values (201, 12, 2022, 'Hofberg')");
        database.execute("insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, "
                         "JagdjahrVon, JagdjahrBis, IdVerbissbelastung, IdForstlicheAbschussEmpfehlung) values "
                         "(301, (select min(Wildart_ID_PK) from Wildart where Wildart_Name = 'Rehwild'), 2018, "
                         "2020, 12, 16)");
    }

    // A workbook of the kind ("district" or "cooperative") with one found and
    // one unknown row, and after them the given rows.
    QString kindWorkbook(const QString &kind, const QString &fileName, const WorkbookRows &more = {})
    {
        if (kind == QLatin1String("district"))
            return workbook(fileName, WorkbookRows{{"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr"},
                                                   {"A1", 12, QVariant(), "Hofberg", 3, 0, 2021},
                                                   {"A2", 999, QVariant(), "Unbekannt", 1, 1, 2021}}
                                           + more);
        return workbook(fileName,
                        WorkbookRows{{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast",
                                      "Abschuss"},
                                     {448, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Naila", 3, 4},
                                     {999, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Unbekannt", 2, 2}}
                            + more);
    }

    // The imported record of the found row: species, pressure code.
    QString importedRecord(const QString &kind)
    {
        return record(kind == QLatin1String("district") ? 101 : 301, 2021, {"IdWildart", "IdVerbissbelastung"});
    }

    // Starts the built tarvel-batch. It sees neither the caller's database nor
    // its data folder: TARVEL_DATABASE is set only when databaseVariable is
    // not null, and the data folder is dataHome.
    void start(QProcess &process, const QStringList &arguments, const QString &workingDirectory = QString(),
               const QString &databaseVariable = QString())
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("TARVEL_DATABASE"));
        if (!databaseVariable.isNull())
            environment.insert(QStringLiteral("TARVEL_DATABASE"), databaseVariable);
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.path());
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(workingDirectory.isEmpty() ? folder.path() : workingDirectory);
        process.start(QStringLiteral(TARVEL_BATCH), arguments);
    }

    // Runs it to its end.
    BatchResult batch(const QStringList &arguments, const QString &workingDirectory = QString(),
                      const QString &databaseVariable = QString())
    {
        QProcess process;
        start(process, arguments, workingDirectory, databaseVariable);
        BatchResult result;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        if (process.exitStatus() == QProcess::NormalExit)
            result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    // The program's data folder, as QStandardPaths names it under XDG_DATA_HOME.
    QString dataFolder() const { return dataHome.path() + QStringLiteral("/Tarvel/Tarvel/"); }

    QTemporaryDir dataHome;
};

// A data-driven test's rows: each database kind with each import kind.
inline void addDatabaseAndKindRows()
{
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("kind");
    for (const QString &database : TestDatabase::kinds()) {
        for (const QString kind : {"district", "cooperative"})
            QTest::newRow(qPrintable(database + ' ' + kind)) << database << kind;
    }
}
