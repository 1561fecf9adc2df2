#include "odbcconnectionstring.h"

namespace {

const QString Hidden = QStringLiteral("***");

// psqlODBC's PQOPT passes options to its client library, password= among them.
const QStringList SecretKeywords{QStringLiteral("PQOPT")};
// PWD, PASSWORD, TLSKEYPWD, SSLPASSWORD, SSLKEYPASSWORD, a driver's own
// AUTHTOKEN or CLIENT_SECRET, ...
const QStringList SecretParts{QStringLiteral("PWD"), QStringLiteral("PASS"), QStringLiteral("SECRET"),
                              QStringLiteral("TOKEN"), QStringLiteral("CREDENTIAL")};

// Reads a braced value from text[at] (the "{"); the position after its
// closing brace, or -1 when it is never closed.
qsizetype readBraced(QStringView text, qsizetype at, QString &value)
{
    for (qsizetype i = at + 1; i < text.size(); ++i) {
        if (text[i] != u'}') {
            value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == u'}') {
            value += u'}';
            ++i;
        } else {
            return i + 1;
        }
    }
    return -1;
}

qsizetype skipBlanks(QStringView text, qsizetype at)
{
    while (at < text.size() && text[at].isSpace())
        ++at;
    return at;
}

} // namespace

OdbcConnectionString OdbcConnectionString::parse(QStringView text)
{
    OdbcConnectionString result;
    qsizetype start = 0;
    while (true) {
        OdbcAttribute attribute;
        qsizetype at = start;
        while (at < text.size() && text[at] != u'=' && text[at] != u';')
            ++at;
        attribute.keyword = text.mid(start, at - start).trimmed().toString();
        if (at < text.size() && text[at] == u'=') {
            attribute.hasValue = true;
            // A brace after blanks still opens a braced value: read so, a
            // secret in it is cut whole whichever way a driver reads it.
            const qsizetype valueStart = skipBlanks(text, at + 1);
            if (valueStart < text.size() && text[valueStart] == u'{') {
                at = readBraced(text, valueStart, attribute.value);
                if (at >= 0)
                    at = skipBlanks(text, at);
                if (at < 0 || (at < text.size() && text[at] != u';')) {
                    result.readable = false;
                    result.attributes << attribute;
                    return result;
                }
            } else {
                at = valueStart;
                while (at < text.size() && text[at] != u';')
                    ++at;
                attribute.value = text.mid(valueStart, at - valueStart).toString();
            }
        }
        attribute.written = text.mid(start, at - start).toString();
        result.attributes << attribute;
        if (at >= text.size())
            return result;
        start = at + 1;
    }
}

bool isSecretOdbcKeyword(QStringView keyword)
{
    const QString upper = keyword.trimmed().toString().toUpper();
    if (SecretKeywords.contains(upper))
        return true;
    for (const QString &part : SecretParts) {
        if (upper.contains(part))
            return true;
    }
    return false;
}

QString shownOdbcConnectionString(const QString &text)
{
    const OdbcConnectionString parsed = OdbcConnectionString::parse(text);
    QStringList shown;
    for (const OdbcAttribute &attribute : parsed.attributes) {
        if (!attribute.hasValue && attribute.keyword.isEmpty())
            shown << attribute.written;
        else if (!attribute.hasValue)
            shown << Hidden;
        else if (!parsed.readable || attribute.keyword.isEmpty() || isSecretOdbcKeyword(attribute.keyword))
            shown << attribute.keyword + u'=' + Hidden;
        else
            shown << attribute.written;
    }
    return shown.join(u';');
}

bool odbcConnectionStringHoldsSecret(const QString &text)
{
    const OdbcConnectionString parsed = OdbcConnectionString::parse(text);
    if (!parsed.readable)
        return true;
    for (const OdbcAttribute &attribute : parsed.attributes) {
        if (attribute.hasValue && !attribute.value.isEmpty() && isSecretOdbcKeyword(attribute.keyword))
            return true;
    }
    return false;
}
