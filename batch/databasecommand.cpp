#include "batch.h"

#include "consoletext.h"
#include "databasesetting.h"
#include "failure.h"
#include "orbebase.h"
#include "orbeconnection.h"

namespace {

void print(std::FILE *stream, const QString &text)
{
    writeUtf8(stream, text.toUtf8());
}

// Whether the location may stand in a setting; empty is none at all.
int checkSetting(const QString &location, std::FILE *out, std::FILE *messages)
{
    if (location.trimmed().isEmpty()) {
        print(out, QStringLiteral("Keine Einstellung.\n"));
        return BatchExit::Done;
    }
    QString error;
    const std::optional<DatabaseLocation> parsed = OrbeBase::parseLocation(location, &error);
    const QString refused = parsed ? DatabaseSetting::passwordRefusal(location, QStringLiteral("Die Angabe --setting"))
                             : QStringLiteral("Die Angabe --setting nennt keine gültige Datenbank: ") + error;
    if (!refused.isEmpty()) {
        print(messages, QStringLiteral("tarvel-batch: %1\n").arg(refused));
        return BatchExit::Usage;
    }
    print(out, QStringLiteral("Ort: %1\nAls Einstellung geeignet.\n").arg(parsed->toShownString()));
    return BatchExit::Done;
}

} // namespace

int showDatabase(const BatchOptions &options, std::FILE *out, std::FILE *messages)
{
    if (options.setting)
        return checkSetting(*options.setting, out, messages);
    const DatabaseChoice choice = DatabaseSetting::choose(options.database);
    // A location that cannot be read is not shown: a password in it could
    // not be told apart from the rest.
    const std::optional<DatabaseLocation> location = OrbeBase::parseLocation(choice.location);
    print(out, QStringLiteral("Ort: %1\nHerkunft: %2%3\n")
                   .arg(location ? location->toShownString() : QStringLiteral("(ungültig)"), choice.sourceWord(),
                        choice.place.isEmpty() ? QString() : QStringLiteral(", ") + choice.place));
    OrbeBase base;
    try {
        // Connect writes why it found no database, the refused setting too.
        if (!(options.database ? base.ConnectTo(*options.database) : base.Connect(0)))
            return BatchExit::NoDatabase;
    } catch (const Failure &failure) {
        print(messages, QStringLiteral("Tarvel: keine Datenbankverbindung: %1\n").arg(failure.description()));
        return BatchExit::NoDatabase;
    }
    const QString mismatch = notTarvelsBecause(*base.Connection());
    if (!mismatch.isEmpty()) {
        print(messages, QStringLiteral("Tarvel: %1\n").arg(mismatch));
        return BatchExit::NoDatabase;
    }
    print(out, QStringLiteral("Datenbank: %1, passt zu Tarvel\n").arg(base.Connection()->Description()));
    return BatchExit::Done;
}
