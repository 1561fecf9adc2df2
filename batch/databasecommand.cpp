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

} // namespace

int showDatabase(const BatchOptions &options, std::FILE *out, std::FILE *messages)
{
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
