// Fills a database with demo hunting districts, cooperatives and a few
// existing assessment records, through the database component, so that the
// sample workbooks of this folder find, miss and update records. Running it
// again changes nothing.
//
//   tarvel-demodb [location]
//
// location as TARVEL_DATABASE takes it; a SQLite file that does not exist is
// created with the schema, an empty PostgreSQL or MariaDB database (also
// through ODBC) receives it. Without it the database TARVEL_DATABASE names,
// or the program's own default database, is filled; never one a setting
// names, which may be the office's.

#include "failure.h"
#include "orbebase.h"
#include "orbeconnection.h"
#include "orberecordset.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

struct District
{
    int lfdnr;
    const char *reviername;
    int kind; // of its collection: 1 district-wise, 2 a cooperative's own
    QList<int> years;
};

struct Cooperative
{
    const char *hgnr;
    const char *name;
};

const QList<District> Districts{
    {12, "Musterrevier", 1, {2018, 2021}},
    {15, "Waldhausen", 1, {2021}},
    {27, "Eichenhöhe", 1, {2018, 2021}},
    {31, "Am Steinbühl", 1, {2021}},
    {102, "Obere Au", 1, {2021}},
    {77, "Genossenschaftsjagd Selb", 2, {2021}}, // its collection is of kind 2: never a district match
};

const QList<Cooperative> Cooperatives{
    {"448", "Naila"}, {"449", "Helmbrechts"}, {"451", "Münchberg"}, {"460", "Selb"}, {"O'Brien", "Testname mit Apostroph"},
};

// The key of the row found by statement, or of the row added by add().
template<typename Add>
QVariant ensure(OrbeConnection &connection, const QString &statement, const char *key, Add add, bool &added)
{
    auto rs = connection.OpenRecordset(statement, OpenMode::Editable);
    added = !rs->HasRecords();
    if (added) {
        rs->AddNew();
        add(rs->Fields());
        rs->Update();
    }
    return rs->Fields().Item(QString::fromLatin1(key)).Value();
}

QString quoted(const QString &text)
{
    return u'\'' + QString(text).replace(u'\'', QLatin1String("''")) + u'\'';
}

int fill(OrbeConnection &connection)
{
    int added = 0;
    bool wasAdded = false;
    for (const District &district : Districts) {
        const QString name = QString::fromUtf8(district.reviername);
        const QString collectionNumber = QStringLiteral("R%1").arg(district.lfdnr);
        const QVariant collection = ensure(
            connection,
            QStringLiteral("select * from JagdbezirksSammlung where JagdbezirksSammlung_Lfdnr = %1")
                .arg(quoted(collectionNumber)),
            "JagdbezirksSammlung_ID_PK",
            [&](OrbeFields fields) {
                fields.Item(QStringLiteral("JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK")).setValue(district.kind);
                fields.Item(QStringLiteral("JagdbezirksSammlung_Lfdnr")).setValue(collectionNumber);
                fields.Item(QStringLiteral("JagdbezirksSammlung_Name")).setValue(QStringLiteral("Revier ") + name);
            },
            wasAdded);
        added += wasAdded;
        const QVariant huntingDistrict = ensure(
            connection,
            QStringLiteral("select * from Jagdbezirk where Jagdbezirk_Sammlung_ID_FK = %1").arg(valueText(collection)),
            "Jagdbezirk_ID_PK",
            [&](OrbeFields fields) {
                fields.Item(QStringLiteral("Jagdbezirk_Sammlung_ID_FK")).setValue(collection);
                fields.Item(QStringLiteral("Jagdbezirk_Name")).setValue(name);
            },
            wasAdded);
        added += wasAdded;
        for (int year : district.years) {
            ensure(connection,
                   QStringLiteral("select * from JagdbezirkDatenBayern where JagdbezirkDatenBayern_Jagdbezirk_ID_FK = %1"
                                  " and JagdbezirkDatenBayern_Jagdjahr = %2")
                       .arg(valueText(huntingDistrict))
                       .arg(year),
                   "JagdbezirkDatenBayern_ID_PK",
                   [&](OrbeFields fields) {
                       fields.Item(QStringLiteral("JagdbezirkDatenBayern_Jagdbezirk_ID_FK")).setValue(huntingDistrict);
                       fields.Item(QStringLiteral("JagdbezirkDatenBayern_Lfdnr")).setValue(district.lfdnr);
                       fields.Item(QStringLiteral("JagdbezirkDatenBayern_Jagdjahr")).setValue(year);
                       // The name of the older year differs, so a lookup shows which year it took.
                       fields.Item(QStringLiteral("JagdbezirkDatenBayern_Reviername"))
                           .setValue(year == district.years.last() ? name : name + QStringLiteral(" (alt)"));
                   },
                   wasAdded);
            added += wasAdded;
        }
    }

    QHash<QString, QVariant> cooperativeKeys;
    for (const Cooperative &cooperative : Cooperatives) {
        const QString hgnr = QString::fromUtf8(cooperative.hgnr);
        cooperativeKeys[hgnr] = ensure(
            connection,
            QStringLiteral("select * from JagdbezirksSammlung where JagdbezirksSammlung_Lfdnr = %1"
                           " and JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK = 2")
                .arg(quoted(hgnr)),
            "JagdbezirksSammlung_ID_PK",
            [&](OrbeFields fields) {
                fields.Item(QStringLiteral("JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK")).setValue(2);
                fields.Item(QStringLiteral("JagdbezirksSammlung_Lfdnr")).setValue(hgnr);
                fields.Item(QStringLiteral("JagdbezirksSammlung_Name")).setValue(QString::fromUtf8(cooperative.name));
            },
            wasAdded);
        added += wasAdded;
    }

    auto species = connection.OpenRecordset(
        QStringLiteral("select * from Wildart where Wildart_Aktiv = True and Wildart_Name IN ('Rehwild')"), OpenMode::Lookup);
    const QVariant roe = species->Fields().Item(QStringLiteral("Wildart_ID_PK")).Value();

    // Existing records, which an import of the sample workbooks updates.
    auto district12 = connection.OpenRecordset(
        QStringLiteral("select * from JagdbezirksSammlung where JagdbezirksSammlung_Lfdnr = 'R12'"), OpenMode::Lookup);
    const QList<std::pair<QVariant, int>> records{
        {district12->Fields().Item(QStringLiteral("JagdbezirksSammlung_ID_PK")).Value(), 11},
        {cooperativeKeys.value(QStringLiteral("448")), 14},
    };
    for (const auto &record : records) {
        // Not a structured binding: clang 14 (the sanitizer build) cannot capture one.
        const QVariant &collection = record.first;
        const int code = record.second;
        ensure(connection,
               QStringLiteral("select * from ForstlichesGutachtenZurAbschussplanung where IdJagdbezirksSammlung = %1"
                              " and JagdjahrVon = 2021")
                   .arg(valueText(collection)),
               "IdJagdbezirksSammlung",
               [&](OrbeFields fields) {
                   fields.Item(QStringLiteral("IdJagdbezirksSammlung")).setValue(collection);
                   fields.Item(QStringLiteral("IdWildart")).setValue(roe);
                   fields.Item(QStringLiteral("JagdjahrVon")).setValue(2021);
                   fields.Item(QStringLiteral("JagdjahrBis")).setValue(2023);
                   fields.Item(QStringLiteral("IdVerbissbelastung")).setValue(code);
                   fields.Item(QStringLiteral("Bemerkung")).setValue(QStringLiteral("Demodatensatz"));
               },
               wasAdded);
        added += wasAdded;
    }
    return added;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tarvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvel"));
    const QStringList args = app.arguments();
    // Installed under another name than it is built with: it names itself as called.
    const QString usage = QStringLiteral("Aufruf: %1 [Datenbank]\n"
                                         "  Datenbank: Pfad einer SQLite-Datei (wird angelegt, wenn es sie nicht gibt)\n"
                                         "             oder postgresql://benutzer@host[:port]/datenbank (Passwort in ~/.pgpass)\n"
                                         "             oder odbc: mit einer ODBC-Verbindungszeichenfolge, etwa\n"
                                         "             odbc:DSN=Jagdverwaltung (PostgreSQL, MariaDB oder SQLite dahinter);\n"
                                         "             eine leere PostgreSQL- oder MariaDB-Datenbank erhält die Tabellen\n"
                                         "  Ohne Angabe: TARVEL_DATABASE oder die eingebaute Standarddatenbank\n"
                                         "  (nie die Datenbank einer Einstellung).\n")
                              .arg(QFileInfo(args.value(0)).fileName());
    if (args.size() == 2 && (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h"))) {
        std::fputs(usage.toUtf8().constData(), stdout);
        return 0;
    }
    if (args.size() > 2 || (args.size() == 2 && args[1].startsWith(u'-'))) {
        std::fputs(usage.toUtf8().constData(), stderr);
        return 2;
    }

    const QString variable = qEnvironmentVariable("TARVEL_DATABASE").trimmed();
    const QString location = args.size() == 2 ? args[1] : variable.isEmpty() ? OrbeBase::defaultDatabasePath() : variable;
    const auto parsed = OrbeBase::parseLocation(location);
    if (parsed && parsed->kind == DatabaseLocation::Kind::SQLite && !QFileInfo::exists(parsed->path)) {
        QString reason;
        if (!OrbeBase::createDatabaseFile(parsed->path, &reason)) {
            std::fprintf(stderr, "tarvel-demodb: %s\n", qPrintable(reason));
            return 1;
        }
    }
    OrbeBase base;
    try {
        base.ConnectTo(location);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "tarvel-demodb: %s\n", failure.description().toUtf8().constData());
        return 2;
    }
    auto connection = base.Connection();
    if (!connection)
        return 1; // the reason is on standard error already

    try {
        // An empty server database (made with createdb or CREATE DATABASE)
        // gets the schema first. Asked by a statement: through ODBC the
        // catalogue functions of some drivers find no tables.
        bool schema = true;
        try {
            connection->OpenRecordset(QStringLiteral("select count(*) from JagdbezirksSammlung"), OpenMode::Lookup);
        } catch (const Failure &) {
            schema = false;
        }
        if (!schema)
            connection->createSchema();
        const int added = fill(*connection);
        std::printf("%s: %d Datensätze angelegt%s\n", qPrintable(connection->Description()), added,
                    added == 0 ? " (Demodaten waren schon vorhanden)" : "");
    } catch (const Failure &failure) {
        std::fprintf(stderr, "tarvel-demodb: Fehler %ld (%s): %s\n", failure.number(), qPrintable(failure.source()),
                     qPrintable(failure.description()));
        return 1;
    }
    base.Disconnect();
    return 0;
}
