// Two imports of overlapping workbooks into one database at the same time, as
// two tarvel-batch processes, again and again: afterwards every collection and
// hunting year has exactly the records one import after the other leaves.
#include "failure.h"
#include "orberecordset.h"
#include "testdatabase.h"
#include "testworkbook.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const int Rounds = qEnvironmentVariableIsSet("TARVEL_TEST_SANITIZERS") ? 2 : 12; // one each way shows a memory fault

// Every assessment record without its generated key, in key order.
QString records(OrbeConnection &connection)
{
    auto rs = connection.OpenRecordset(
        QStringLiteral("select * from ForstlichesGutachtenZurAbschussplanung order by IdJagdbezirksSammlung, JagdjahrVon"),
        OpenMode::Lookup);
    QStringList rows;
    for (; rs->HasCurrent(); rs->MoveNext()) {
        QStringList values;
        for (const char *column : {"IdJagdbezirksSammlung", "JagdjahrVon", "IdWildart", "JagdjahrBis",
                                   "IdVerbissbelastung", "IdForstlicheAbschussEmpfehlung"})
            values << rs->Fields().Item(QString::fromLatin1(column)).text();
        rows << values.join(u' ');
    }
    return rows.join(u'\n');
}

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

    // Starts tarvel-batch importing the workbook (copied into a folder of its
    // own, so that the log files of two runs never meet).
    void startImport(QProcess &process, const QString &database, const QString &workbook)
    {
        const QString folder = m_dataHome.filePath(QStringLiteral("lauf%1").arg(++m_runs));
        const QString copy = folder + QStringLiteral("/hg.xlsx");
        if (!QDir().mkpath(folder) || !QFile::copy(workbook, copy))
            qFatal("cannot copy the workbook to %s", qPrintable(folder));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("TARVEL_DATABASE"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_dataHome.path());
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder);
        process.start(QStringLiteral(TARVEL_BATCH),
                      {QStringLiteral("import"), QStringLiteral("--cooperative"), QStringLiteral("--database"),
                       database, copy});
    }

    // Empty when the import ended with status 0, else what it said.
    static QString failureOf(QProcess &process)
    {
        if (!process.waitForFinished(120000))
            return QStringLiteral("tarvel-batch endet nicht");
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return {};
        return QStringLiteral("Status %1: %2").arg(process.exitCode())
            .arg(QString::fromUtf8(process.readAllStandardError()));
    }

private slots:
    void initTestCase() { QVERIFY(m_dataHome.isValid()); }

    void overlappingImports_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("uniqueIndex");
        for (const QString &kind : TestDatabase::kinds()) {
            QTest::newRow(qPrintable(kind)) << kind << true;
            // A database made before the schema had its unique index: the
            // imports alone must keep the records single.
            QTest::newRow(qPrintable(kind + QStringLiteral(" without unique index"))) << kind << false;
        }
    }
    void overlappingImports()
    {
        QFETCH(QString, kind);
        QFETCH(bool, uniqueIndex);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        if (!uniqueIndex)
            db.execute(QStringLiteral("DROP INDEX ForstlichesGutachten_Sammlung_Jahr_IX"));
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
        const QString oneAfterTheOther = records(*db.connection());
        QCOMPARE(oneAfterTheOther.count(u'\n') + 1, 140);

        for (int round = 1; round <= Rounds; ++round) {
            resetRecords(db);
            QProcess a;
            QProcess b;
            // The second starts first every other round.
            startImport(round % 2 ? a : b, db.location(), round % 2 ? first : second);
            startImport(round % 2 ? b : a, db.location(), round % 2 ? second : first);
            QCOMPARE(failureOf(a), QString());
            QCOMPARE(failureOf(b), QString());
            QVERIFY2(records(*db.connection()) == oneAfterTheOther,
                     qPrintable(QStringLiteral("Runde %1:\n%2").arg(round).arg(records(*db.connection()))));
        }
    }
};

QTEST_GUILESS_MAIN(ConcurrentImportsTest)
#include "tst_concurrentimports.moc"
