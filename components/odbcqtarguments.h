#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What Qt's ODBC driver is given so that the ODBC driver receives a
// connection string as the user wrote it, with Tarvel's own attributes after
// it: the defaults only where the user's string lacks their keyword, the
// overriding ones always, last (the MariaDB driver takes the last of a
// keyword; a driver that takes the first, as ODBC has it, keeps the user's).
//
// Qt's driver (6.4) rewrites the string before it connects: a ".dsn"
// anywhere in it, in any case, makes it a file data source ("FILEDSN=" put in
// front); without "DRIVER=" or "SERVER=" it puts "DSN=" in front; a user and
// a password it appends as ";UID=…;PWD=…", unescaped. So a leading "DSN=" or
// "FILEDSN=" is left for Qt to put back, and UID and PWD travel as the user
// and password, as written (braces included). Another value holding ".dsn"
// cannot reach the driver intact: refused, with the reason in German.
struct QtOdbcArguments
{
    QString databaseName;
    QString user;
    QString password;
};
struct OwnOdbcAttributes
{
    QStringList defaults;
    QStringList overriding;
};
std::optional<QtOdbcArguments> qtOdbcArguments(const QString &connectionString, const OwnOdbcAttributes &own,
                                               QString *refusal);
