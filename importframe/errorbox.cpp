#include "errorbox.h"

#include "failure.h"
#include "orbeerrorreport.h"
#include "runchannel.h"
#include "userdialogs.h"

#include <QApplication>
#include <QRegularExpression>

#include <utility>

namespace {

// The report's description as the cause and the database's words after it.
// The database component writes "what failed (German cause): driver's words
// (Anweisung: statement)"; the statement is for the details only.
std::pair<QString, QString> causeAndDriverWords(const ErrorReportEntry &entry)
{
    QString text = entry.description.trimmed();
    if (entry.source != ErrorSource::Database)
        return {text, {}};
    const qsizetype statement = text.lastIndexOf(QLatin1String(" (Anweisung: "));
    if (statement > 0 && text.endsWith(u')'))
        text.truncate(statement);
    // Only a colon outside parentheses ends the component's words: after the
    // cause in parentheses, or after what failed where no cause is known.
    const bool driverAfterFirstColon = entry.number == ErrorNumber::DatabaseError || entry.number == ErrorNumber::NotUpdatable;
    int depth = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        const QChar c = text[i];
        depth += c == u'(' ? 1 : c == u')' ? -1 : 0;
        if (depth != 0 || c != u':' || text[i + 1] != u' ')
            continue;
        if ((i > 0 && text[i - 1] == u')') || driverAfterFirstColon)
            return {text.left(i), tidyDriverText(text.mid(i + 2))};
    }
    return {text, {}};
}

// UTF-16 words: an umlaut in a Latin-1 view of UTF-8 bytes would never match.
bool contains(const QString &text, const char16_t *words)
{
    return text.contains(QStringView(words));
}

// One sentence on what helps, where one fits.
QString advice(const ErrorReportEntry &entry, const QString &cause)
{
    switch (entry.number) {
    case ErrorNumber::TypeMismatch:
    case ErrorNumber::Overflow:
        return entry.source == ErrorSource::Tarvel
                   ? QStringLiteral("Bitte berichtigen Sie die genannte Zelle in der Arbeitsmappe und starten Sie den Lauf noch einmal.")
                   : QString();
    case ErrorNumber::OutOfStringSpace:
    case ErrorNumber::OutOfMemory:
        return QStringLiteral("Bitte kürzen Sie die langen Zellen oder teilen Sie die Arbeitsmappe in kleinere.");
    case ErrorNumber::WorkbookUnreadable:
        return QStringLiteral("Bitte öffnen Sie die Arbeitsmappe im Tabellenprogramm, speichern Sie sie als .xlsx und wählen "
                              "Sie diese Datei.");
    case ErrorNumber::FileNotFound:
    case ErrorNumber::PermissionDenied:
        return QStringLiteral("Bitte wählen Sie die Arbeitsmappe neu aus; ist sie in einem anderen Programm geöffnet, "
                              "schließen Sie sie dort.");
    case ErrorNumber::InvalidArgument:
        return entry.source == ErrorSource::Database
                   ? QStringLiteral("Bitte berichtigen Sie die genannte Angabe der Datenbank.") : QString();
    default:
        break;
    }
    if (entry.source != ErrorSource::Database)
        return {};
    if (contains(cause, u"gesperrt"))
        return QStringLiteral("Bitte warten Sie, bis das andere Programm fertig ist, und starten Sie den Lauf dann noch einmal.");
    if (contains(cause, u"ungewiss"))
        return QStringLiteral("Bitte prüfen Sie mit einem Test, sobald der Server wieder antwortet, ob die Zeile gespeichert ist.");
    if (contains(cause, u"antwortet nicht") || contains(cause, u"Verbindung zur Datenbank"))
        return QStringLiteral("Bitte prüfen Sie das Netz und den Datenbankserver (oder fragen Sie Ihre IT) und starten Sie den "
                              "Lauf dann noch einmal.");
    if (contains(cause, u"schreibgeschützt") || contains(cause, u"Berechtigung"))
        return QStringLiteral("Bitte fragen Sie, wer die Datenbank betreut, nach Schreibrechten.");
    if (contains(cause, u"ist voll"))
        return QStringLiteral("Bitte schaffen Sie Platz auf dem Datenträger der Datenbank.");
    if (contains(cause, u"passt nicht zu Tarvel"))
        return QStringLiteral("Bitte wenden Sie sich an Ihre IT: der Datenbank fehlt, was Tarvel braucht.");
    if (contains(cause, u"ersetzt"))
        return QStringLiteral("Bitte schließen Sie Tarvel und starten Sie es neu; dann öffnet es die Datenbank, die jetzt dort liegt.");
    return {};
}

QString sentence(QString text)
{
    if (!text.isEmpty() && !text.endsWith(u'.') && !text.endsWith(u'?') && !text.endsWith(u'!'))
        text += u'.';
    return text;
}

} // namespace

QString tidyDriverText(const QString &text)
{
    static const QRegularExpression qtDriver(QStringLiteral("\\.?\\s*\\bQ(PSQL|SQLITE|SQLITE3): [^\\n]*"));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return QString(text).remove(qtDriver).replace(blanks, QStringLiteral(" ")).trimmed();
}

ErrorBoxText errorBoxText(const ErrorReportEntry &entry, const QString &logFileNote)
{
    const auto [cause, driverWords] = causeAndDriverWords(entry);
    QStringList paragraphs{sentence(cause)};
    const QString help = advice(entry, cause);
    if (!help.isEmpty())
        paragraphs << help;
    if (!logFileNote.isEmpty())
        paragraphs << logFileNote;
    if (!driverWords.isEmpty())
        paragraphs << QStringLiteral("Meldung der Datenbank: ") + driverWords;
    return {paragraphs.join(QStringLiteral("\n\n")), entry.toText()};
}

void showErrorBox(QWidget *parent, const ErrorReportEntry &entry, const QString &logFileNote)
{
    const ErrorBoxText box = errorBoxText(entry, logFileNote);
    const QString title = entry.application.isEmpty() ? QStringLiteral("Tarvel") : entry.application;
    UserDialogs::current().showError(parent, box.text, box.details, title);
}

void presentErrorReport(const ErrorReportEntry &entry)
{
    if (!RunChannel::takeReport(entry))
        showErrorBox(QApplication::activeWindow(), entry);
}
