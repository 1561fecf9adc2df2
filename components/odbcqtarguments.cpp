#include "odbcqtarguments.h"

#include "odbcconnectionstring.h"

namespace {

// The value as written after "=", braces and "}}" included.
QString writtenValue(const OdbcAttribute &attribute)
{
    return attribute.written.mid(attribute.written.indexOf(u'=') + 1).trimmed();
}

bool isKeyword(const OdbcAttribute &attribute, QLatin1String keyword)
{
    return attribute.hasValue && attribute.keyword.compare(keyword, Qt::CaseInsensitive) == 0;
}

bool holdsAny(const QString &text, std::initializer_list<QLatin1String> parts)
{
    return std::any_of(parts.begin(), parts.end(),
                       [&](QLatin1String part) { return text.contains(part, Qt::CaseInsensitive); });
}

} // namespace

std::optional<QtOdbcArguments> qtOdbcArguments(const QString &connectionString, const OwnOdbcAttributes &own,
                                               QString *refusal)
{
    const auto refuse = [refusal](const QString &why) -> std::optional<QtOdbcArguments> {
        if (refusal)
            *refusal = why;
        return std::nullopt;
    };
    const OdbcConnectionString parsed = OdbcConnectionString::parse(connectionString);
    if (!parsed.readable)
        return refuse(QStringLiteral("Die ODBC-Verbindung lässt sich nicht lesen: eine geschweifte Klammer ist nicht "
                                     "geschlossen, oder nach ihr folgt noch etwas vor dem nächsten „;“"));
    QtOdbcArguments arguments;
    QList<OdbcAttribute> kept;
    bool userTaken = false;
    bool passwordTaken = false;
    for (const OdbcAttribute &attribute : parsed.attributes) {
        if (isKeyword(attribute, QLatin1String("UID")) && !std::exchange(userTaken, true))
            arguments.user = writtenValue(attribute);
        else if (isKeyword(attribute, QLatin1String("PWD")) && !std::exchange(passwordTaken, true))
            arguments.password = writtenValue(attribute);
        else if (!attribute.written.trimmed().isEmpty())
            kept << attribute;
    }
    for (const QString &preset : own.defaults) {
        const OdbcAttribute attribute = OdbcConnectionString::parse(preset).attributes.value(0);
        if (std::none_of(kept.begin(), kept.end(), [&](const OdbcAttribute &given) {
                return given.keyword.compare(attribute.keyword, Qt::CaseInsensitive) == 0;
            }))
            kept << attribute;
    }
    for (const QString &overriding : own.overriding)
        kept << OdbcConnectionString::parse(overriding).attributes.value(0);
    const bool fileDataSource = !kept.isEmpty() && isKeyword(kept.first(), QLatin1String("FILEDSN"));
    for (qsizetype i = fileDataSource ? 1 : 0; i < kept.size(); ++i) {
        if (kept[i].written.contains(QLatin1String(".dsn"), Qt::CaseInsensitive))
            return refuse(QStringLiteral("Der Wert von „%1“ enthält „.dsn“: Qts ODBC-Treiber nähme die Verbindung dann "
                                         "für eine Datei-Datenquelle (FILEDSN=). Bitte benennen Sie die Datei um oder "
                                         "legen Sie eine Datenquelle (DSN=) an.")
                              .arg(kept[i].keyword));
    }
    QStringList written;
    for (const OdbcAttribute &attribute : std::as_const(kept))
        written << attribute.written.trimmed();
    if (fileDataSource) {
        if (!writtenValue(kept.first()).contains(QLatin1String(".dsn"), Qt::CaseInsensitive))
            return refuse(QStringLiteral("FILEDSN= nennt keine Datei mit der Endung „.dsn“; nur eine solche nimmt Qts "
                                         "ODBC-Treiber als Datei-Datenquelle."));
        written.first() = writtenValue(kept.first());
    } else if (!holdsAny(written.join(u';'), {QLatin1String("DRIVER="), QLatin1String("SERVER=")})) {
        const auto source = std::find_if(kept.begin(), kept.end(),
                                         [](const OdbcAttribute &attribute) { return isKeyword(attribute, QLatin1String("DSN")); });
        if (source == kept.end())
            return refuse(QStringLiteral("Die ODBC-Verbindung nennt weder eine Datenquelle (DSN=) noch einen Treiber "
                                         "(Driver=)."));
        const qsizetype at = source - kept.begin();
        written.removeAt(at);
        written.prepend(writtenValue(kept[at]));
    }
    arguments.databaseName = written.join(u';');
    return arguments;
}
