// tarvel-batch as built, on databases shared with others: two imports of
// overlapping workbooks at the same time, again and again (afterwards every
// collection and hunting year has exactly the records one import after the
// other leaves); two takings back of one import at once; a read-only
// database file; regional settings.
#include "assessments.h"
#include "failure.h"
#include "orberecordset.h"
#include "qtwarnings.h"
#include "testdatabase.h"
#include "testfiles.h"
#include "testmain.h"
#include "testplatform.h"
#include "testworkbook.h"
#include "undodata.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const int Rounds = qEnvironmentVariableIsSet("TARVEL_TEST_SANITIZERS") ? 2 : 12; // one each way shows a memory fault
const QStringList ColumnsWithoutKey{"IdJagdbezirksSammlung", "JagdjahrVon", "IdWildart", "JagdjahrBis",
                                    "IdVerbissbelastung", "IdForstlicheAbschussEmpfehlung"};

// The cooperatives of the ranges (first, last), each with the years 2024 and
// 2027. A row's codes follow from its number, so where the two workbooks
// overlap they agree, and the order in which the imports store a row does not
// change the result.
QString cooperativeWorkbook(const QString &path, const QList<std::pair<int, int>> &ranges)
{
    WorkbookRows rows{{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"}};
    for (const auto &[first, last] : ranges) {
        for (int number = first; number <= last; ++number) {
            for (int year : {2024, 2027})
                rows << QVariantList{number, year, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "HG",
                                     1 + number % 4, 1 + number % 5};
        }
    }
    return writeXlsx(path, rows);
}

// The records before each round: every third cooperative has its 2024 record.
void resetRecords(TestDatabase &db)
{
    db.execute(QStringLiteral("DELETE FROM ForstlichesGutachtenZurAbschussplanung"));
    db.execute(QStringLiteral(
        "INSERT INTO ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, JagdjahrVon, "
        "JagdjahrBis, IdVerbissbelastung, IdForstlicheAbschussEmpfehlung) SELECT JagdbezirksSammlung_ID_PK, "
        "(SELECT min(Wildart_ID_PK) FROM Wildart WHERE Wildart_Name <> 'Rehwild'), 2024, 2026, 14, 19 "
        "FROM JagdbezirksSammlung WHERE JagdbezirksSammlung_ID_PK % 3 = 0"));
}

} // namespace

class ConcurrentImportsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dataHome;
    int m_runs = 0;
    static constexpr int Nobody = 65534;

    // Starts tarvel-batch on the workbook (copied into a folder of its own, so
    // that the log files of two runs never meet); returns that folder. With a
    // user id, as that unprivileged user, whom file permissions stop. An undo
    // takes the import's log file where it is.
    QString startImport(QProcess &process, const QString &database, const QString &workbook,
                        const QString &run = QStringLiteral("import"), const QString &locale = QString(),
                        int user = 0)
    {
        const QString folder = m_dataHome.filePath(QStringLiteral("lauf%1").arg(++m_runs));
        const bool undo = run == QLatin1String("undo");
        const QString copy = undo ? workbook : folder + QStringLiteral("/hg.xlsx");
        if (!QDir().mkpath(folder) || (!undo && !QFile::copy(workbook, copy)))
            qFatal("cannot copy the workbook to %s", qPrintable(folder));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("TARVEL_DATABASE"));
        redirectDataFolder(environment, m_dataHome.path());
        if (!locale.isEmpty()) {
            environment.insert(QStringLiteral("LANG"), locale);
            environment.insert(QStringLiteral("LC_ALL"), locale);
        }
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder);
        QStringList command{QStringLiteral(TARVEL_BATCH), run, QStringLiteral("--cooperative"),
                            QStringLiteral("--database"), database, copy};
        if (undo)
            command.removeAt(2);
        if (user && lacking(Need::TwoUsers).isEmpty()) {
            environment.insert(QStringLiteral("HOME"), m_dataHome.path());
            process.setProcessEnvironment(environment);
            QFile::setPermissions(m_dataHome.path(), QFile::Permissions(0x7777));
            QFile::setPermissions(folder, QFile::Permissions(0x7777));
            command = asUser(user, command);
        }
        process.start(command.first(), command.mid(1));
        return folder;
    }

    // Empty when the import ended with status 0, else what it said.
    static QString failureOf(QProcess &process)
    {
        // The wait can also end early (under Wine now and then): what QProcess says then.
        if (!process.waitForFinished(120000))
            return QStringLiteral("tarvel-batch endet nicht (%1, Zustand %2)").arg(process.errorString()).arg(process.state());
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return {};
        return QStringLiteral("Status %1: %2").arg(process.exitCode())
            .arg(QString::fromUtf8(process.readAllStandardError()));
    }

private slots:
    void init() { failOnQtWarnings(); }
    void initTestCase() { QVERIFY(m_dataHome.isValid()); }

    void overlappingImports_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("uniqueIndex");
        QTest::addColumn<bool>("rollbackJournal");
        for (const QString &kind : TestDatabase::kinds()) {
            QTest::newRow(qPrintable(kind)) << kind << true << false;
            // A database made before the schema had its unique index: the
            // imports alone must keep the records single.
            QTest::newRow(qPrintable(kind + QStringLiteral(" without unique index"))) << kind << false << false;
        }
        // Rows sent in batches across a link with delay, each batch's records read before.
        QTest::newRow("postgresql-delayed without unique index") << QStringLiteral("postgresql-delayed") << false << false;
        // A file that another program made keeps its journal mode, and two
        // imports starting at once both get in.
        QTest::newRow("sqlite rollback journal") << QStringLiteral("sqlite") << true << true;
    }
    void overlappingImports()
    {
        QFETCH(QString, kind);
        QFETCH(bool, uniqueIndex);
        QFETCH(bool, rollbackJournal);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        // Small batches, so that the two imports' batches interleave.
        qputenv("TARVEL_BATCH_ROWS", kind.endsWith("delayed") ? "7" : "");
        auto journalMode = [&] {
            return db.connection()->OpenRecordset(QStringLiteral("PRAGMA journal_mode"), OpenMode::Lookup)
                ->Fields().Item(0).text();
        };
        // MariaDB's foreign key then needs an index of its own, as InnoDB made it.
        const bool mariadb = db.connection()->system() == DatabaseSystem::MariaDB;
        if (!uniqueIndex && mariadb)
            db.execute(QStringLiteral("CREATE INDEX Sammlung_IX ON ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung)"));
        if (!uniqueIndex)
            db.execute(QStringLiteral("DROP INDEX ForstlichesGutachten_Sammlung_Jahr_IX")
                       + (mariadb ? " ON ForstlichesGutachtenZurAbschussplanung" : ""));
        for (int n = 1; n <= 70; ++n)
            db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (%1, 2, '%2', 'HG')").arg(1000 + n).arg(5000 + n));
        QTemporaryDir folder;
        // Both begin with the same thirty cooperatives (sixty rows), so that
        // the two imports reach the same records at the same time.
        const QString first = cooperativeWorkbook(folder.filePath(QStringLiteral("a.xlsx")), {{5021, 5050}, {5001, 5020}});
        const QString second = cooperativeWorkbook(folder.filePath(QStringLiteral("b.xlsx")), {{5021, 5050}, {5051, 5070}});

        resetRecords(db);
        {
            QProcess process;
            startImport(process, db.location(), first);
            QCOMPARE(failureOf(process), QString());
            startImport(process, db.location(), second);
            QCOMPARE(failureOf(process), QString());
        }
        const QString oneAfterTheOther = assessments(*db.connection(), ColumnsWithoutKey);
        QCOMPARE(oneAfterTheOther.count(u'\n') + 1, 140);

        for (int round = 1; round <= Rounds; ++round) {
            resetRecords(db);
            if (rollbackJournal)
                db.execute(QStringLiteral("PRAGMA journal_mode = DELETE"));
            QProcess a;
            QProcess b;
            // The second starts first every other round.
            startImport(round % 2 ? a : b, db.location(), round % 2 ? first : second);
            startImport(round % 2 ? b : a, db.location(), round % 2 ? second : first);
            QCOMPARE(failureOf(a), QString());
            QCOMPARE(failureOf(b), QString());
            QVERIFY2(assessments(*db.connection(), ColumnsWithoutKey) == oneAfterTheOther,
                     qPrintable(QStringLiteral("Runde %1:\n%2").arg(round).arg(assessments(*db.connection(), ColumnsWithoutKey))));
            if (rollbackJournal)
                QCOMPARE(journalMode(), QStringLiteral("delete"));
        }
    }

    // Each record is taken back by one of the two, and the records end as
    // before the import, every column.
    void twoUndosAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << QStringLiteral("sqlite");
        QTest::newRow("postgresql") << QStringLiteral("postgresql");
    }
    void twoUndosAtOnce()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        for (int n = 1; n <= 70; ++n)
            db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (%1, 2, '%2', 'HG')").arg(1000 + n).arg(5000 + n));
        resetRecords(db);
        const QString before = assessments(*db.connection());
        QTemporaryDir folder;
        QProcess import;
        const QString logFolder = startImport(import, db.location(), cooperativeWorkbook(folder.filePath("a.xlsx"), {{5001, 5070}}));
        QCOMPARE(failureOf(import), QString());
        const QString logFile = logFolder + u'/' + QDir(logFolder).entryList({QStringLiteral("ProtokollTarvel*.txt")}).value(0);
        QProcess a;
        QProcess b;
        startImport(a, db.location(), logFile, QStringLiteral("undo"));
        startImport(b, db.location(), logFile, QStringLiteral("undo"));
        QCOMPARE(failureOf(a), QString());
        QCOMPARE(failureOf(b), QString());
        const QList<UndoEntry> entries = std::get<UndoData>(readUndoData(logFile)).entries;
        const qsizetype written = std::count_if(entries.cbegin(), entries.cend(), [](const UndoEntry &entry) {
            return entry.added || !entry.columns.isEmpty();
        });
        QVERIFY(written > 100);
        QCOMPARE((a.readAllStandardOutput() + b.readAllStandardOutput()).count(") zurückgenommen: "), written);
        QCOMPARE(assessments(*db.connection()), before);
    }

    // Read-only for the user who runs Tarvel: the check works, the import
    // ends at its first save, and the file stays as it was (its journal mode
    // included).
    void readOnlyDatabaseFile()
    {
        TARVEL_OPEN_TEST_DATABASE(db, QStringLiteral("sqlite"));
        db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (1001, 2, '5001', 'HG')"));
        db.execute(QStringLiteral("PRAGMA journal_mode = DELETE"));
        db.base().Disconnect();
        const QString file = db.location();
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QFile::setPermissions(QFileInfo(file).path(), QFile::Permissions(0x7755));
        // Wine as root writes a read-only file (as root does on Linux).
        if (!lacking(Need::TwoUsers).isEmpty() && QFile(file).open(QIODevice::Append))
            QSKIP("running with rights that write any file");
        const QByteArray before = fileBytes(file);
        QTemporaryDir folder;
        const QString workbook = cooperativeWorkbook(folder.filePath(QStringLiteral("a.xlsx")), {{5001, 5002}});

        QProcess check;
        startImport(check, file, workbook, QStringLiteral("check"), QString(), Nobody);
        QCOMPARE(failureOf(check), QString());
        QVERIFY(check.readAllStandardOutput().contains("Zum importieren: 5001"));
        QProcess import;
        const QString logFolder = startImport(import, file, workbook, QStringLiteral("import"), QString(), Nobody);
        QVERIFY(import.waitForFinished(120000));
        QCOMPARE(import.exitCode(), 1);
        const QString said = QString::fromUtf8(import.readAllStandardError());
        QVERIFY2(said.contains(QStringLiteral("Die Datenbank ist schreibgeschützt")), qPrintable(said));
        QCOMPARE(fileBytes(file), before);
        // The log so far goes to its file, and standard error names it.
        const QStringList logFiles = QDir(logFolder).entryList({QStringLiteral("ProtokollTarvel*.txt")});
        QCOMPARE(logFiles.size(), 1);
        QVERIFY2(said.contains(QStringLiteral("Protokolldatei: ") + logFolder + u'/' + logFiles[0]), qPrintable(said));
    }

    // A check by another user, who may only read a shared WAL database,
    // leaves its "-wal" and "-shm" files behind, which the owner cannot
    // write: the owner's import names them and their owner instead of a
    // read-only database.
    void sharedWalDatabase()
    {
        if (!lacking(Need::TwoUsers).isEmpty())
            QSKIP(qPrintable(lacking(Need::TwoUsers)));
        TARVEL_OPEN_TEST_DATABASE(db, QStringLiteral("sqlite"));
        db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (1001, 2, '5001', 'HG')"));
        db.base().Disconnect();
        const QString file = db.location();
        const QString folder = QFileInfo(file).path();
        constexpr int Owner = 1000;
        QVERIFY(QFile::setPermissions(folder, QFile::Permissions(0x7777)) && changeOwner(file, Owner));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        QTemporaryDir workbooks;
        const QString workbook = cooperativeWorkbook(workbooks.filePath(QStringLiteral("a.xlsx")), {{5001, 5001}});

        QProcess check;
        startImport(check, file, workbook, QStringLiteral("check"), QString(), Nobody);
        QCOMPARE(failureOf(check), QString());
        QProcess import;
        startImport(import, file, workbook, QStringLiteral("import"), QString(), Owner);
        const QString said = failureOf(import);
        QVERIFY2(said.startsWith(QStringLiteral("Status 1")) && said.contains(QStringLiteral("(„tarvel.sqlite-wal“ und "
                 "„tarvel.sqlite-shm“ neben der Datenbank gehören dem Benutzer „nobody“")), qPrintable(said));
    }

    // The log file's name holds the regional date and time, whose "/" must
    // not be taken for folders.
    void logFileUnderRegionalSettings_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *locale : {"de_DE.UTF-8", "en_US.UTF-8", "en_GB.UTF-8", "fr_FR.UTF-8", "C"})
            QTest::newRow(locale) << QString::fromLatin1(locale);
    }
    void logFileUnderRegionalSettings()
    {
        QFETCH(QString, locale);
        TARVEL_OPEN_TEST_DATABASE(db, QStringLiteral("sqlite"));
        QTemporaryDir folder;
        const QString workbook = cooperativeWorkbook(folder.filePath(QStringLiteral("a.xlsx")), {{5001, 5002}});
        QProcess import;
        const QString logFolder = startImport(import, db.location(), workbook, QStringLiteral("import"), locale);
        QCOMPARE(failureOf(import), QString());
        const QStringList written = QDir(logFolder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QCOMPARE(written.size(), 3);
        QVERIFY2(written.filter(QRegularExpression(QStringLiteral("^ProtokollTarvel.+\\.(txt|undo)$"))).size() == 2,
                 qPrintable(written.join(u' ')));
    }
};

TARVEL_TEST_GUILESS_MAIN(ConcurrentImportsTest)
#include "tst_concurrentimports.moc"
