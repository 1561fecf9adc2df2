#pragma once

#include "runfixture.h"
#include "testplatform.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
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

// A test database with the runs' districts and cooperatives, and a folder for
// the workbooks, the log files and the program's data folder (default
// database, error log).
struct BatchFixture : RunFixture
{
    explicit BatchFixture(TestDatabase &database)
        : RunFixture(database)
    {
        seed(database, "district");
        seed(database, "cooperative");
    }

    // The rows of a workbook of the kind ("district" or "cooperative"): the
    // headings, one found and one unknown row.
    static WorkbookRows kindRows(const QString &kind)
    {
        if (kind == QLatin1String("district"))
            return {{"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr"},
                    {"A1", 12, QVariant(), "Hofberg", 3, 0, 2021},
                    {"A2", 999, QVariant(), "Unbekannt", 1, 1, 2021}};
        return {{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"},
                {448, 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Naila", 3, 4},
                {999, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Unbekannt", 2, 2}};
    }

    // Such a workbook, and after its rows the given ones.
    QString kindWorkbook(const QString &kind, const QString &fileName, const WorkbookRows &more = {})
    {
        return workbook(fileName, kindRows(kind) + more);
    }

    // The imported record of the found row: species, pressure code; "fehlt"
    // when there is none.
    QString importedRecord(const QString &kind)
    {
        const QStringList values = assessments(database).value(kind == QLatin1String("district") ? "101/2021" : "301/2024");
        return values.isEmpty() ? QStringLiteral("fehlt") : values[1] + u' ' + values[3];
    }

    // Starts the built tarvel-batch (or program) in the fixture's folder. It sees neither
    // the caller's database nor its data folder: TARVEL_DATABASE is set only
    // when databaseVariable is not null, and the data folder is in dataHome.
    void start(QProcess &process, QStringList arguments, const QString &databaseVariable = QString(),
               const QString &program = QStringLiteral(TARVEL_BATCH))
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("TARVEL_DATABASE"));
        if (!databaseVariable.isNull())
            environment.insert(QStringLiteral("TARVEL_DATABASE"), databaseVariable);
        redirectDataFolder(environment, dataHome.path());
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder.path());
        process.start(program, arguments);
    }

    // Runs it, or another program of the build, to its end.
    BatchResult batch(const QStringList &arguments, const QString &databaseVariable = QString(),
                      const QString &program = QStringLiteral(TARVEL_BATCH))
    {
        QProcess process;
        start(process, arguments, databaseVariable, program);
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

    // Writes the user's or the machine's setting of the database for the
    // programs start() starts; false where the system keeps it in the
    // registry, which every program shares.
    bool writeSetting(bool machine, const QString &location, bool fixed = false)
    {
        const QString file = settingsFile(dataHome.path(), machine);
        if (file.isEmpty())
            return false;
        QSettings settings(file, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Datenbank/Ort"), location);
        settings.setValue(QStringLiteral("Datenbank/Festgelegt"), fixed);
        settings.sync();
        return settings.status() == QSettings::NoError;
    }

    // The program's data folder in dataHome.
    QString dataFolder()
    {
        QProcessEnvironment environment;
        return redirectDataFolder(environment, dataHome.path());
    }

    QTemporaryDir dataHome;
};
