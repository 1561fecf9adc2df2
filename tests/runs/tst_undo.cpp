// Taking an import back. Each case imports a workbook of tests/data/runs,
// then previews the taking back, takes it back and takes it back once more:
// what the undo data, the preview and both logs say must read as the golden
// file undo-<case>.txt, the preview must foretell the counts, and every table
// must end as before the import, row for row and column for column, but for
// the records the case leaves. And undo data that must not be taken back.
#include "conversions.h"
#include "cooperativeruns.h"
#include "districtruns.h"
#include "importlog.h"
#include "runfixture.h"
#include "testmain.h"
#include "testplatform.h"
#include "undorun.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QString Data = QStringLiteral(TARVEL_TEST_DATA "/runs/");

// Every table, every row and column.
QString tables(OrbeConnection &connection)
{
    QString text;
    for (const char *table : {"JagdbezirksSammlungsArt", "JagdbezirksSammlung", "Jagdbezirk", "JagdbezirkDatenBayern",
                              "Wildart", "Verbissbelastung", "ForstlicheAbschussEmpfehlung", "AenderungVerbissbelastung",
                              "ForstlichesGutachtenZurAbschussplanung"}) {
        for (auto rs = connection.OpenRecordset(QStringLiteral("select * from %1 order by 1").arg(table), OpenMode::Lookup);
             rs->HasCurrent(); rs->MoveNext()) {
            text += QString::fromLatin1(table) + u':';
            for (int i = 0; i < rs->Fields().Count(); ++i)
                text += u' ' + undoValueText(rs->Fields().Item(i).Value());
            text += u'\n';
        }
    }
    return text;
}

// Undo data with each confirmation right after its entry: an import that
// saves its rows in batches writes a batch's entries before it confirms any.
QString confirmedInPlace(const QString &undoData)
{
    static const QRegularExpression confirmation(QStringLiteral("^(Nicht g|G)espeichert (\\d+)$"));
    QStringList lines = undoData.split(u'\n');
    QHash<QString, QString> confirmations;
    lines.removeIf([&](const QString &line) {
        const QRegularExpressionMatch match = confirmation.match(line);
        if (match.hasMatch())
            confirmations.insert(QStringLiteral("Ende ") + match.captured(2), line);
        return match.hasMatch();
    });
    QStringList placed;
    for (const QString &line : std::as_const(lines))
        placed << line << (confirmations.contains(line) ? QStringList{confirmations.value(line)} : QStringList());
    return placed.join(u'\n');
}

// An import of the case's workbook; the path of its log file.
QString import(RunFixture &f, bool district, const QString &workbook)
{
    f.host.state.workbookPath = f.folder.filePath(QStringLiteral("mappe.csv"));
    if (!QFile::copy(Data + workbook + QStringLiteral(".csv"), f.host.state.workbookPath))
        return {};
    district ? runDistrictImport(f.host) : runCooperativeImport(f.host);
    return f.folder.filePath(f.logFiles().value(0));
}

} // namespace

class UndoTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        // Through ODBC the plain round trips only.
        const QStringList plain{"district", "cooperative"};
        // Another user's change in between; a killed import, its last record
        // saved but not confirmed and an entry after it cut short; a record
        // another table refers to; a user who may not delete (PostgreSQL).
        const QStringList more{"district-cancelled", "cooperative-cancelled", "district-failed", "cooperative-failed",
                               "district-changed", "cooperative-killed", "district-killed", "cooperative-referred",
                               "district-no-delete-right"};
        for (const QString &kind : TestDatabase::kinds()) {
            for (const QString &name : plain + (kind.startsWith("odbc") ? QStringList() : more)) {
                if (!name.endsWith("right") || kind == "postgresql")
                    QTest::addRow("%s: %s", qPrintable(kind), qPrintable(name)) << kind << name;
            }
        }
    }
    void roundTrip()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        const bool district = name.startsWith("district");
        seed(db, district ? "district" : "cooperative");
        RunFixture f(db);
        f.host.cancelAfterRow = name.endsWith("cancelled") ? 4 : 0;
        const QString before = tables(*db.connection());
        const QString logFile = import(f, district, (district ? "district-" : "cooperative-")
                                                        + QString(name.endsWith("failed") ? "failure" : district ? "mixed" : "blocks"));
        const QString undoPath = undoDataPath(logFile);
        QByteArray undoData = fileBytes(undoPath);
        QString text = QStringLiteral("### Rücknahmedaten\n") + confirmedInPlace(QString::fromUtf8(undoData).remove(u'\r'));
        const QString records = QStringLiteral("ForstlichesGutachtenZurAbschussplanung");
        const QString newest = f.scalar("select max(IdForstlichesGutachten) from " + records);
        if (name.endsWith("changed"))
            db.execute("update " + records + " set Bemerkung = 'von Hand' where IdForstlichesGutachten = " + newest);
        if (name.endsWith("killed")) {
            const qsizetype confirmation = undoData.lastIndexOf("Gespeichert ");
            const int last = undoData.mid(confirmation + 12).trimmed().toInt();
            undoData.truncate(confirmation);
            QVERIFY(writeFileBytes(undoPath, undoData + "\r\nEintrag " + QByteArray::number(last + 1) + ": Zeile 99 hinzugef"));
        }
        if (name.endsWith("referred")) {
            db.execute("create table Verweis (Gutachten integer references " + records + " (IdForstlichesGutachten))");
            db.execute("insert into Verweis values (" + newest + ")");
        }
        OrbeBase limited; // a user who may read, add and change, not delete
        const QString role = "ohne_loeschen_" + db.serverDatabase();
        const auto dropRole = qScopeGuard([&] {
            if (limited.Disconnect()) {
                db.execute("DROP OWNED BY " + role);
                db.execute("DROP ROLE " + role);
            }
        });
        if (name.endsWith("right")) {
            db.execute("CREATE ROLE " + role + " LOGIN");
            db.execute("GRANT SELECT, INSERT, UPDATE ON ALL TABLES IN SCHEMA public TO " + role);
            QVERIFY(limited.ConnectTo(db.locationFor(role)));
            f.host.state.connection = limited.Connection();
        }

        const std::variant<UndoData, QString> read = readUndoData(logFile);
        QVERIFY2(read.index() == 0, read.index() ? qPrintable(std::get<QString>(read)) : "");
        f.host.cancelAfterRow = 0;
        QList<UndoOutcome> outcomes;
        for (const QString title : {"Vorschau", "Rücknahme", "Rücknahme noch einmal"}) {
            f.host.messages.clear();
            const bool preview = title == QLatin1String("Vorschau");
            outcomes << (preview ? previewUndo : takeBack)(f.host, std::get<UndoData>(read), logFile);
            const UndoOutcome &outcome = outcomes.last();
            text += QStringLiteral("### %1: %2 zurück, %3 schon, %4 belassen%5\n")
                        .arg(title).arg(outcome.takenBack).arg(outcome.alreadyBack).arg(outcome.left)
                        .arg(outcome.completed ? "" : ", nicht beendet")
                    + QString(f.host.log).remove(u'\r');
            for (const TestRunHost::Message &message : f.host.messages)
                text += QStringLiteral("--- Meldung:\n") + QString(message.text).remove(u'\r') + u'\n';
        }
        // What the database refuses no preview can foretell.
        if (!name.endsWith("referred") && !name.endsWith("right"))
            QCOMPARE(std::tuple(outcomes[0].takenBack, outcomes[0].alreadyBack, outcomes[0].left),
                     std::tuple(outcomes[1].takenBack, outcomes[1].alreadyBack, outcomes[1].left));
        const QStringList rows = tables(*db.connection()).split(u'\n');
        QStringList changed;
        for (const QString &row : rows + before.split(u'\n')) {
            if (rows.contains(row) != before.contains(row + u'\n'))
                changed << (rows.contains(row) ? "+ " : "- ") + row;
        }
        text += QStringLiteral("### Tabellen gegenüber vor dem Import:\n") + changed.join(u'\n') + u'\n';

        static const QRegularExpression isoTime(QStringLiteral("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d"));
        static const QRegularExpression driverWords(QStringLiteral("(nicht zurückgenommen: Datensatz \\d+: [^(]*\\([^)]*\\)).*"));
        text = f.alikeEverywhere(text)
                   .replace(singleLine(databaseIdentity(*f.host.state.database)), "<Datenbank>")
                   .replace(isoTime, "<Zeit>")
                   .replace(driverWords, "\\1 …");
        // Where the system tells which side of a reference refused, it says so.
        compareWithGolden(Data + "undo-" + name + (name.endsWith("referred") ? "-" + kind : QString()) + ".txt", text);
    }

    void badData_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("missing") << "remove" << "Zu diesem Import gibt es keine Rücknahmedaten: die Datei „<undo>“ fehlt.";
        QTest::newRow("cut inside its header") << "cut 80" << "sie enden mitten im Kopf (nach Zeile 2)";
        QTest::newRow("an entry before the last damaged")
            << "replace Ende 1\r\n=" << "Zeile 16 ist beschädigt, in Eintrag 1 steht eine beschädigte Spalte, oder sein Ende "
                                        "fehlt: „Gespeichert 1“";
        QTest::newRow("another format") << "log file" << "sie sind keine Rücknahmedaten von Tarvel (die erste Zeile lautet "
                                                          "„Protokoll für: Forstliches Tarvel“)";
        QTest::newRow("no text") << "binary" << "sie sind kein UTF-8-Text";
        QTest::newRow("a number that does not fit")
            << "replace IdForstlichesGutachten 2=IdForstlichesGutachten 99999999999999999999"
            << "Zeile 7 ist beschädigt, der Schlüssel des Datensatzes ist unlesbar";
        QTest::newRow("a value outside the code tables") << "replace : 11 -> 14=: 11 -> 15"
                                                         << "Eintrag 3 (Zeile 5) hat für IdVerbissbelastung den Wert 15, den die "
                                                            "Tabelle Verbissbelastung nicht kennt";
        QTest::newRow("a value of the wrong type") << "replace JagdjahrVon: 2021=JagdjahrVon: \"2021\""
                                                   << "Eintrag 1 (Zeile 2) hat für JagdjahrVon den Wert \"2021\", keine ganze Zahl";
        QTest::newRow("the other kind's column") << "replace IdAenderungVerbissbelastung: 30=IdForstlicheAbschussEmpfehlung: 16"
                                                 << "Eintrag 3 (Zeile 5) schreibt IdForstlicheAbschussEmpfehlung, das nur ein "
                                                    "Import von Hegegemeinschaften schreibt, in Rücknahmedaten eines Imports von "
                                                    "Jagdbezirken";
        QTest::newRow("a key the table lacks") << "replace IdForstlichesGutachten=Gutachtennummer"
                                               << "Eintrag 1 (Zeile 2) nennt den Datensatz mit Gutachtennummer, das keine "
                                                  "Spalte der Tabelle ForstlichesGutachtenZurAbschussplanung ist";
        QTest::newRow("a key that is no name") << "replace IdForstlichesGutachten=Bemerkung; drop"
                                               << "Zeile 7 ist beschädigt, der Schlüssel des Datensatzes ist unlesbar";
        QTest::newRow("sparse file of 2 GB") << "sparse" << "sie sind 2147483648 Bytes groß; ein Import schreibt höchstens 64 MB";
        QTest::newRow("a link to a device") << "device" << "sie sind keine gewöhnliche Datei";
        QTest::newRow("an entry said not saved that is not there")
            << "replace Gespeichert 3=Nicht gespeichert 4" << "er bestätigt keinen vollständigen Eintrag";
    }
    // Each refused in German, naming the undo data, and nothing written.
    void badData()
    {
        QFETCH(QString, change);
        QFETCH(QString, refusal);
        if (change == "device" && !lacking(Need::SpecialFiles).isEmpty())
            QSKIP(qPrintable(lacking(Need::SpecialFiles)));
        TARVEL_OPEN_TEST_DATABASE(db, "sqlite");
        seed(db, "district");
        RunFixture f(db);
        const QString logFile = import(f, true, "district-mixed");
        const QString path = undoDataPath(logFile);
        const QString imported = tables(*db.connection());
        QByteArray bytes = fileBytes(path);
        if (change.startsWith("replace ")) {
            const QByteArray from = change.mid(8).section(u'=', 0, 0).toUtf8();
            QVERIFY2(bytes.contains(from), from.constData());
            bytes.replace(bytes.indexOf(from), from.size(), change.section(u'=', 1).toUtf8());
        }
        if (change.startsWith("cut "))
            bytes.truncate(change.mid(4).toInt());
        if (change == "log file" || change == "binary")
            bytes = change == "binary" ? QByteArray("\x89PNG\r\n\x1a\n\xff\xfe\n") : fileBytes(logFile);
        QVERIFY(QFile::remove(path));
        if (change == "sparse")
            QVERIFY(writeFileBytes(path, bytes) && QFile::resize(path, qint64(1) << 31));
        else if (change == "device")
            QVERIFY(QFile::link("/dev/zero", path));
        else if (change != "remove")
            QVERIFY(writeFileBytes(path, bytes));

        const std::variant<UndoData, QString> read = readUndoData(logFile);
        QString said = read.index() == 1 ? std::get<QString>(read) : takeBack(f.host, std::get<UndoData>(read), logFile).refusal;
        QVERIFY2(said.contains(QString(refusal).replace("<undo>", QDir::toNativeSeparators(path)))
                     && said.endsWith("Es wurde nichts geändert."),
                 qPrintable(said));
        QCOMPARE(tables(*db.connection()), imported);
        QCOMPARE(QDir(f.folder.path()).entryList({"Rücknahme*"}), QStringList());
    }

    // An entry its batch did not save is passed over: its record stays.
    void notSavedPassedOver()
    {
        TARVEL_OPEN_TEST_DATABASE(db, "sqlite");
        seed(db, "district");
        RunFixture f(db);
        const QString logFile = import(f, true, "district-mixed");
        QByteArray bytes = fileBytes(undoDataPath(logFile));
        QVERIFY(writeFileBytes(undoDataPath(logFile), bytes.replace("\r\nGespeichert 2\r\n", "\r\nNicht gespeichert 2\r\n")));
        const std::variant<UndoData, QString> read = readUndoData(logFile);
        QVERIFY2(read.index() == 0, read.index() ? qPrintable(std::get<QString>(read)) : "");
        QCOMPARE(std::get<UndoData>(read).entries.size(), 2);
        QCOMPARE(takeBack(f.host, std::get<UndoData>(read), logFile).takenBack, 2);
        QCOMPARE(f.scalar("select IdJagdbezirksSammlung * 10000 + JagdjahrVon from ForstlichesGutachtenZurAbschussplanung "
                          "where IdJagdbezirksSammlung <> 104"),
                 QStringLiteral("1032022"));
    }
};

TARVEL_TEST_GUILESS_MAIN(UndoTest)
#include "tst_undo.moc"
