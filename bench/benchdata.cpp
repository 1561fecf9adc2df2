#include "benchdata.h"

#include "orbebase.h"
#include "orbeconnection.h"
#include "testworkbook.h"

#include <QDir>
#include <QElapsedTimer>
#include "failure.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// Through the component, prepared once and bound per row.
void insertMany(OrbeConnection &connection, const QString &statement, int count,
                const std::function<QVariantList(int)> &values)
{
    try {
        for (int i = 1; i <= count; ++i)
            connection.execute(statement, values(i));
    } catch (const Failure &failure) {
        benchFailed(failure.description());
    }
}

// A record for every other district in 2021.
void insertRecords(OrbeConnection &connection, int n)
{
    insertMany(connection, "insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, "
               "JagdjahrVon, JagdjahrBis, IdVerbissbelastung, IdAenderungVerbissbelastung) values (?, "
               "(select min(Wildart_ID_PK) from Wildart), 2021, 2023, 12, 31)", n / 2,
               [](int i) { return QVariantList{2 * i}; });
}

void fillDatabase(OrbeConnection &connection, int n)
{
    const bool mariadb = connection.system() == DatabaseSystem::MariaDB;
    connection.execute(QStringLiteral("BEGIN"));
    insertMany(connection, "insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, "
               "JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK, JagdbezirksSammlung_Lfdnr, JagdbezirksSammlung_Name) "
               "values (?, ?, ?, ?)", 2 * n, [n](int i) {
                   return QVariantList{i, i <= n ? 1 : 2, QString::number(i <= n ? 100000 + i : i - n),
                                       QStringLiteral("Sammlung %1").arg(i)};
               });
    insertMany(connection, "insert into Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) values (?, ?)", n,
               [](int i) { return QVariantList{i, i}; });
    insertMany(connection, "insert into JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, "
               "JagdbezirkDatenBayern_Lfdnr, JagdbezirkDatenBayern_Jagdjahr, JagdbezirkDatenBayern_Reviername) "
               "values (?, ?, ?, ?)", 2 * n, [n](int i) {
                   const int district = (i - 1) % n + 1;
                   return QVariantList{district, district, i <= n ? 2019 : 2022, QStringLiteral("Revier %1").arg(district)};
               });
    insertRecords(connection, n);
    connection.execute(QStringLiteral("COMMIT"));
    // A database in use has its statistics; a freshly filled one must get them.
    connection.execute(mariadb ? QStringLiteral("ANALYZE TABLE JagdbezirksSammlung, Jagdbezirk, JagdbezirkDatenBayern, "
                                                "ForstlichesGutachtenZurAbschussplanung")
                               : QStringLiteral("ANALYZE"));
}

} // namespace

void benchFailed(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::exit(1);
}

void openFilledDatabase(OrbeBase &base, const QString &location, int n)
{
    // A server's database (PostgreSQL, or one through ODBC) is made empty.
    const bool server = location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("odbc:"));
    QString reason;
    if (!server && !OrbeBase::createDatabaseFile(location, &reason))
        benchFailed(reason);
    if (!base.ConnectTo(location) || !base.Connection())
        benchFailed("no database at " + location);
    auto connection = base.Connection();
    if (server)
        connection->createSchema();
    QElapsedTimer clock;
    clock.start();
    fillDatabase(*connection, n);
    std::printf("%s, %d rows (database filled in %.1f s)\n", qPrintable(connection->Description()), n,
                clock.nsecsElapsed() / 1e9);
    std::fflush(stdout);
}

void resetRecords(OrbeConnection &connection, int n)
{
    connection.execute(QStringLiteral("BEGIN"));
    connection.execute(QStringLiteral("delete from ForstlichesGutachtenZurAbschussplanung"));
    insertRecords(connection, n);
    connection.execute(QStringLiteral("COMMIT"));
}

BenchWorkbooks writeBenchWorkbooks(const QString &folder, int n)
{
    WorkbookRows district{{"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr"}};
    WorkbookRows cooperative{{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"}};
    for (int i = 1; i < n; ++i) {
        // every 20th number is unknown
        const int number = i % 20 == 0 ? 900000 + i : i;
        district << QVariantList{QStringLiteral("Z%1").arg(i), number, QVariant(), QStringLiteral("Revier %1").arg(i),
                                 i % 4 + 1, i % 4, 2021};
        cooperative << QVariantList{number, 2021 + i % 2, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg",
                                    QStringLiteral("HG %1").arg(i), "zu_hoch", i % 5 + 1};
    }
    const QDir dir(folder);
    return {writeXlsx(dir.filePath("bezirke.xlsx"), district), writeXlsx(dir.filePath("hegegemeinschaften.xlsx"), cooperative)};
}
