#include "databasesetting.h"

#include <QStandardPaths>

namespace DatabaseSetting {

QString place(QSettings::Scope scope)
{
    const QSettings settings(QSettings::NativeFormat, scope, QStringLiteral("Tarvel"), QStringLiteral("Tarvel"));
    if (scope == QSettings::UserScope)
        return settings.fileName();
    // The machine's files are those of every folder of XDG_CONFIG_DIRS, the
    // program's before the organisation's, each in that order: the first
    // that gives the location is where it lies.
    QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    if (!folders.isEmpty())
        folders.removeFirst(); // the user's
    for (const QLatin1String name : {QLatin1String("/Tarvel/Tarvel.conf"), QLatin1String("/Tarvel.conf")}) {
        for (const QString &folder : std::as_const(folders)) {
            const QSettings file(folder + name, QSettings::IniFormat);
            if (!file.value(QStringLiteral("Datenbank/Ort")).toStringList().join(u',').trimmed().isEmpty())
                return folder + name;
        }
    }
    return settings.fileName();
}

} // namespace DatabaseSetting
