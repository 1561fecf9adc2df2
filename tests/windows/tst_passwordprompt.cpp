// A PostgreSQL server that asks for a password no file gives: the window
// program asks once and keeps what was typed for the program run (the check
// and "Übernehmen" of "Datenbank wählen" and the runs' connections take it);
// it is written nowhere. tarvel-batch never asks.
#include "databasedialogscript.h"
#include "databaseform.h"
#include "modmain.h"
#include "orbebase.h"
#include "orbeconnection.h"
#include "privatecluster.h"
#include "scripteddialogs.h"
#include "startwindow.h"
#include "testfiles.h"
#include "testmain.h"
#include "testplatform.h"

#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

class TestPasswordPrompt : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_files;

private slots:
    void initTestCase()
    {
        QVERIFY(m_files.isValid());
        startLikeTheProgram(m_files.path());
    }

    void askedOnceKeptWrittenNowhere()
    {
        PrivateCluster cluster(true);
        if (!cluster.unavailableReason().isEmpty()) {
            if (qEnvironmentVariable("TARVEL_REQUIRE_POSTGRES") == QLatin1String("1"))
                QFAIL(qPrintable(cluster.unavailableReason()));
            QSKIP(qPrintable(cluster.unavailableReason()));
        }
        {
            OrbeBase admin; // over the socket, which asks for no password
            QVERIFY(admin.ConnectTo(cluster.location()));
            admin.Connection()->createSchema();
        }
        qputenv("PGPASSFILE", m_files.filePath(QStringLiteral("keine")).toUtf8());
        const QString location = QStringLiteral("postgresql://postgres@127.0.0.1:%1/postgres?sslmode=require").arg(cluster.port());
        writeDatabaseSetting(QSettings::UserScope, location);
        QProcess batch;
        batch.start(QStringLiteral(TARVEL_BATCH), {QStringLiteral("database"), QStringLiteral("--database"), location});
        QVERIFY(batch.waitForFinished(60000));
        QCOMPARE(batch.exitCode(), 3);
        QVERIFY(QString::fromUtf8(batch.readAllStandardError()).contains(OrbeBase::passwordWantedCause()));

        ScriptedDialogs dialogs;
        dialogs.passwordAnswers << PrivateCluster::password();
        ModMain::Main();
        QVERIFY(ModMain::startWindow());
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].text, QStringLiteral("Kennwort für postgres auf 127.0.0.1"));
        whenDatabaseDialogShows([](DatabaseDialog &dialog) {
            QCOMPARE(dialog.form()->kind(), DatabaseForm::PostgresServer);
            QVERIFY(dialog.form()->password()->text().isEmpty());
            dialog.check();
            QVERIFY2(dialog.result()->text().endsWith(QLatin1String(" passt zu Tarvel.")), qPrintable(dialog.result()->text()));
            dialog.apply();
        });
        ModMain::startWindow()->cmdDatenbank_Click();
        QCOMPARE(dialogs.messages.size(), 1);
        QString failure;
        QVERIFY2(OrbeBase::openConnection(*ModMain::orbeBase()->connectedLocation(), &failure), qPrintable(failure));
        ModMain::release();

        // Every file of the test's data and settings, and every setting.
        QByteArray written;
        QDirIterator files(m_files.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext())
            written += fileBytes(files.next());
        for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
            QSettings settings(QSettings::NativeFormat, scope, QStringLiteral("Tarvel"), QStringLiteral("Tarvel"));
            for (const QString &key : settings.allKeys())
                written += settings.value(key).toString().toUtf8();
        }
        QVERIFY(written.contains("postgresql://postgres@127.0.0.1:"));
        QVERIFY(!written.contains(PrivateCluster::password().toUtf8()));
        QVERIFY(!written.contains(QUrl::toPercentEncoding(PrivateCluster::password())));
        removeDatabaseSettings();
    }
};

TARVEL_TEST_MAIN(TestPasswordPrompt)
#include "tst_passwordprompt.moc"
