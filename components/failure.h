#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// An error as a run's failure trap receives it: a number, the source that raised
// it and a description for the user. Every component throws this type.
class Failure : public std::exception
{
public:
    Failure(long number, QString source, QString description);

    long number() const { return m_number; }
    const QString &source() const { return m_source; }
    const QString &description() const { return m_description; }

    const char *what() const noexcept override { return m_what.constData(); }

private:
    long m_number;
    QString m_source;
    QString m_description;
    QByteArray m_what;
};

// Error numbers. The well-known run-time numbers where one fits, otherwise the
// component's own.
namespace ErrorNumber {
// run time
constexpr long InvalidArgument = 5;      // an argument outside what a call accepts
constexpr long Overflow = 6;
constexpr long OutOfMemory = 7;
constexpr long Cancelled = 18;           // the user stopped the run while it waited
constexpr long TypeMismatch = 13;       // a text that is no number
constexpr long OutOfStringSpace = 14;   // a text (the log) grown beyond its bound
constexpr long FileNotFound = 53;
constexpr long PermissionDenied = 70;   // a locked or unreadable file
constexpr long InternalError = 51;
constexpr long PathFileAccess = 75;
// workbook reader
constexpr long WorkbookUnreadable = 1004; // not a workbook, damaged, formula without result
// database component
constexpr long DatabaseError = 3000;      // the database refused a statement (driver message)
constexpr long NotConnected = 3001;
constexpr long NoCurrentRecord = 3021;
constexpr long NotUpdatable = 3027;       // edit or add on a read-only recordset
constexpr long UpdateWithoutEdit = 3020;
constexpr long InvalidFilter = 3251;
constexpr long FieldNotFound = 3265;
} // namespace ErrorNumber

// Sources named in failures.
namespace ErrorSource {
inline const QString Database = QStringLiteral("OrbeL1");
inline const QString Workbook = QStringLiteral("Arbeitsmappe");
inline const QString Tarvel = QStringLiteral("Tarvel");
} // namespace ErrorSource
