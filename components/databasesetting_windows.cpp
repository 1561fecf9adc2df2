#include "databasesetting.h"

namespace DatabaseSetting {

QString place(QSettings::Scope scope)
{
    // Qt names the program's key "\HKEY_LOCAL_MACHINE\Software\Tarvel\Tarvel".
    const QSettings settings(QSettings::NativeFormat, scope, QStringLiteral("Tarvel"), QStringLiteral("Tarvel"));
    QString key = settings.fileName();
    if (key.startsWith(u'\\'))
        key.remove(0, 1);
    return key + QStringLiteral("\\Datenbank");
}

} // namespace DatabaseSetting
