// Times the four runs on large generated workbooks against a large database:
// 10,000 districts and 10,000 cooperatives, a 10,000-row workbook of each kind.
//
//   tarvel_bench LOCATION [ROWS [WORKBOOK]]
//
// LOCATION is an SQLite file that does not exist yet, or the URL of an empty
// PostgreSQL database (the form TARVEL_DATABASE takes). With WORKBOOK (a
// district workbook, e.g. from tarvel_bigworkbook) only the district check
// runs, on that workbook. Each run's line ends with the process's peak memory
// so far.
#include "cooperativeruns.h"
#include "districtruns.h"
#include "orbebase.h"
#include "orbeconnection.h"
#include "orberecordset.h"
#include "testrunhost.h"
#include "testworkbook.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

namespace {

void fail(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::exit(1);
}

// Through Qt's driver directly, so texts are bound as UTF-8 bytes on MariaDB,
// as the component binds them (Qt would send their terminating NUL along).
void insertMany(QSqlDatabase database, bool mariadb, const QString &statement, int count,
                const std::function<QVariantList(int)> &values)
{
    QSqlQuery query(database);
    if (!query.prepare(statement))
        fail(query.lastError().text());
    for (int i = 1; i <= count; ++i) {
        for (const QVariant &value : values(i))
            query.addBindValue(mariadb && value.typeId() == QMetaType::QString ? value.toString().toUtf8() : value);
        if (!query.exec())
            fail(query.lastError().text());
    }
}

// Collections 1..n of kind 1 with one district each, known in two hunting
// years; collections n+1..2n of kind 2 (cooperatives, numbers "1".."n"); a
// record for every other district in 2021 so the import both adds and updates.
void fillDatabase(OrbeConnection &connection, int n)
{
    QSqlDatabase database = connection.database();
    const bool mariadb = connection.dialect().isMariaDb();
    database.transaction();
    insertMany(database, mariadb, "insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, "
               "JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK, JagdbezirksSammlung_Lfdnr, JagdbezirksSammlung_Name) "
               "values (?, ?, ?, ?)", 2 * n, [n](int i) {
                   return QVariantList{i, i <= n ? 1 : 2, QString::number(i <= n ? 100000 + i : i - n),
                                       QStringLiteral("Sammlung %1").arg(i)};
               });
    insertMany(database, mariadb, "insert into Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) values (?, ?)", n,
               [](int i) { return QVariantList{i, i}; });
    insertMany(database, mariadb, "insert into JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, "
               "JagdbezirkDatenBayern_Lfdnr, JagdbezirkDatenBayern_Jagdjahr, JagdbezirkDatenBayern_Reviername) "
               "values (?, ?, ?, ?)", 2 * n, [n](int i) {
                   const int district = (i - 1) % n + 1;
                   return QVariantList{district, district, i <= n ? 2019 : 2022, QStringLiteral("Revier %1").arg(district)};
               });
    insertMany(database, mariadb, "insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, "
               "JagdjahrVon, JagdjahrBis, IdVerbissbelastung, IdAenderungVerbissbelastung) values (?, "
               "(select min(Wildart_ID_PK) from Wildart), 2021, 2023, 12, 31)", n / 2,
               [](int i) { return QVariantList{2 * i}; });
    if (!database.commit())
        fail(database.lastError().text());
    // A database in use has its statistics; a freshly filled one must get them.
    connection.execute(mariadb ? QStringLiteral("ANALYZE TABLE JagdbezirksSammlung, Jagdbezirk, JagdbezirkDatenBayern, "
                                                "ForstlichesGutachtenZurAbschussplanung")
                               : QStringLiteral("ANALYZE"));
}

// The process's peak so far, which bounds the peak of each run timed so far.
long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

double timed(const char *name, TestRunHost &host, bool (*run)(RunHost &), ErrorReportCapture &errors)
{
    QElapsedTimer clock;
    clock.start();
    run(host);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (!errors.reports.isEmpty())
        fail(QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(name), errors.reports[0].toText()));
    std::printf("  %-28s %7.2f s   log %6lld kB   peak %4ld MB\n", name, seconds,
                (long long)(host.log.size() * 2 / 1024), peakMegabytes());
    std::fflush(stdout);
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // error reports stay out of the user's files
    const QStringList arguments = application.arguments();
    if (arguments.size() < 2)
        fail("usage: tarvel_bench LOCATION [ROWS [WORKBOOK]]");
    const QString location = arguments[1];
    const int rows = arguments.size() > 2 ? arguments[2].toInt() : 10000;
    // A server's database (PostgreSQL, or one through ODBC) is made empty.
    const bool server = location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("odbc:"));

    QString reason;
    if (!server && !OrbeBase::createDatabaseFile(location, &reason))
        fail(reason);
    OrbeBase base;
    if (!base.ConnectTo(location) || !base.Connection())
        fail("no database at " + location);
    auto connection = base.Connection();
    if (server)
        connection->createSchema();

    QElapsedTimer clock;
    clock.start();
    fillDatabase(*connection, rows);
    std::printf("%s, %d rows (database filled in %.1f s)\n", qPrintable(connection->Description()), rows,
                clock.nsecsElapsed() / 1e9);

    QTemporaryDir folder;
    WorkbookRows district{{"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr"}};
    WorkbookRows cooperative{{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"}};
    for (int i = 1; i < rows; ++i) {
        // every 20th number is unknown
        const int number = i % 20 == 0 ? 900000 + i : i;
        district << QVariantList{QStringLiteral("Z%1").arg(i), number, QVariant(), QStringLiteral("Revier %1").arg(i),
                                 i % 4 + 1, i % 4, 2021};
        cooperative << QVariantList{number, 2021 + i % 2, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg",
                                    QStringLiteral("HG %1").arg(i), "zu_hoch", i % 5 + 1};
    }

    ErrorReportCapture errors;
    TestRunHost host;
    host.state.connection = connection;
    host.state.workbookFolder = folder.path() + u'/';

    if (arguments.size() > 3) {
        host.state.workbookPath = arguments[3];
        timed("district check", host, runDistrictCheck, errors);
        return 0;
    }

    host.state.workbookPath = writeXlsx(folder.filePath("bezirke.xlsx"), district);
    timed("district check", host, runDistrictCheck, errors);
    timed("district import (add/update)", host, runDistrictImport, errors);
    timed("district import (update)", host, runDistrictImport, errors);

    host.state.workbookPath = writeXlsx(folder.filePath("hegegemeinschaften.xlsx"), cooperative);
    timed("cooperative check", host, runCooperativeCheck, errors);
    timed("cooperative import (add)", host, runCooperativeImport, errors);
    timed("cooperative import (update)", host, runCooperativeImport, errors);
    return 0;
}
