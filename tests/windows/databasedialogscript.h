#pragma once

#include "databasedialog.h"
#include "modmain.h"
#include "testplatform.h"

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <functional>

// The window program as a test starts it, with settings and data of the
// test's own in folder: the user's settings below HOME in test mode, the
// machine's and the data where redirectDataFolder puts them.
inline void startLikeTheProgram(const QString &folder)
{
    qputenv("HOME", folder.toUtf8());
    QProcessEnvironment own;
    redirectDataFolder(own, folder);
    for (const QString &name : own.keys())
        qputenv(qPrintable(name), own.value(name).toUtf8());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("Tarvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarvel"));
    QApplication::setQuitOnLastWindowClosed(false);
    ModMain::installErrorPresenter();
}

// Acts on the modal "Datenbank wählen" once it shows, then closes it if the
// act left it open (a failed check must not leave the test waiting).
inline void whenDatabaseDialogShows(std::function<void(DatabaseDialog &)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto *dialog = qobject_cast<DatabaseDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer->stop();
        timer->deleteLater();
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    timer->start();
}

// The program's settings of the scope, as it reads them.
inline void writeDatabaseSetting(QSettings::Scope scope, const QString &location, bool fixed = false)
{
    QSettings settings(QSettings::NativeFormat, scope, QStringLiteral("Tarvel"), QStringLiteral("Tarvel"));
    settings.setValue(QStringLiteral("Datenbank/Ort"), location);
    settings.setValue(QStringLiteral("Datenbank/Festgelegt"), fixed);
}

inline void removeDatabaseSettings()
{
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
        QSettings(QSettings::NativeFormat, scope, QStringLiteral("Tarvel"), QStringLiteral("Tarvel")).remove(QStringLiteral("Datenbank"));
}
