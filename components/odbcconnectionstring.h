#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// An ODBC connection string taken apart as the ODBC grammar reads it:
// attributes separated by ";" outside braces, each "keyword=value", a value
// in braces holding ";" and "=" with "}}" standing for "}". Empty attributes
// and attributes without "=" are kept as written.
struct OdbcAttribute
{
    QString keyword;       // blanks around it taken away
    QString value;         // braces taken away and "}}" read as "}"
    bool hasValue = false; // written with "="
    QString written;       // the attribute as it stands in the string
};

struct OdbcConnectionString
{
    QList<OdbcAttribute> attributes;
    // False where the string breaks the grammar (a brace never closed, text
    // between a closing brace and the next ";"): the attributes are then
    // those up to the broken one, which is the last and whose value is unknown.
    bool readable = true;

    static OdbcConnectionString parse(QStringView text);
};

// Whether an attribute of this keyword carries a secret. The one list that
// every text without passwords and every check for one goes by.
bool isSecretOdbcKeyword(QStringView keyword);

// The string as it may be shown: the value of every secret attribute, and
// every attribute without "=" (a password's part after a ";" that was not
// braced), as "***". Of a string that cannot be read, only the keywords up to
// where it breaks, every value as "***".
QString shownOdbcConnectionString(const QString &text);

// Whether the string gives a secret, or cannot be read well enough to tell.
bool odbcConnectionStringHoldsSecret(const QString &text);

// The data sources the system's ODBC manager lists (the user's and the
// machine's), by name, sorted; none when there is no manager.
QStringList odbcDataSources();
