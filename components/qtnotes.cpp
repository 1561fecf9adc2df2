#include "qtnotes.h"

namespace {

const QString PlatformNotes = QStringLiteral(
    R"(This plugin does not support (propagateSizeHints\(\)|raise\(\)|QPlatformServices::openDocument\(\))|)"
    R"(QStandardPaths: (XDG_RUNTIME_DIR|runtime directory)|)"
    R"("?QODBCResult::\w+: Unable to |QODBCDriver::checkHasSQLFetchScroll: )");

} // namespace

bool isPlatformNote(const QString &message)
{
    static const QRegularExpression notes(QStringLiteral("^(%1)").arg(PlatformNotes));
    return notes.match(message).hasMatch();
}

QRegularExpression unexpectedQtMessage()
{
    return QRegularExpression(QStringLiteral("^(?!(%1)).*").arg(PlatformNotes),
                              QRegularExpression::DotMatchesEverythingOption);
}
