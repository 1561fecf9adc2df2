#pragma once

#include "workbooklayout.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <variant>

struct DatabaseLocation;

// What an import keeps to be taken back, its undo data: a plain UTF-8 text
// beside its log file, named as the log file with ".undo" for ".txt". A
// header names the database, the kind and the start; then one entry per
// saved record, written before the record's commit and confirmed after it.
// The README describes the format.

// The first line of undo data, which names its format.
inline const QString UndoDataHeading = QStringLiteral("Tarvel-Rücknahmedaten, Fassung 1");

// The most undo data an import may write, and a taking back reads, in bytes.
constexpr qint64 UndoDataLimit = 64 * 1024 * 1024;

// A column the import wrote: an update's value before and the value
// written, an added record's value after the insert; each as undoValueText
// writes it.
struct UndoColumn
{
    QString name;
    QString before; // empty for an added record
    QString after;
};

struct UndoEntry
{
    int number = 0; // 1, 2, ... in the order saved
    int row = 0;    // the workbook's row
    bool added = false;
    QString keyColumn; // the table's primary key (IdForstlichesGutachten)
    qint64 key = 0;
    QList<UndoColumn> columns;
    bool confirmed = false; // its commit was confirmed
};

struct UndoHeader
{
    WorkbookKind kind = WorkbookKind::District;
    QString database; // databaseIdentity()
    QString logFile;  // the log file's name
    QDateTime started;
};

struct UndoData
{
    UndoHeader header;
    QList<UndoEntry> entries; // in the order saved; none that was confirmed as not saved
    // The entry a killed import left incomplete at the end, named for the
    // taking back's log; empty when there is none.
    QString incompleteLast;
};

// A value as the undo data writes it: NULL, a whole number, or a text in
// double quotes with \" \\ and \uXXXX for control characters.
QString undoValueText(const QVariant &value);
// The value of such a text that is NULL or a whole number.
std::optional<QVariant> undoValue(const QString &text);
// As the taking back's log shows it: NULL as "leer".
QString shownUndoValue(const QString &text);

// "Jagdbezirk" or "Hegegemeinschaft", as the header names the kind.
QString undoKindName(WorkbookKind kind);

// The undo data's path beside the log file at logFilePath.
QString undoDataPath(const QString &logFilePath);

// The text of the header, of an entry, and of an entry's confirmation that
// it was saved or was not (an import that sends several rows at once writes
// every entry before any is saved), each ending in CR LF.
QString undoHeaderText(const UndoHeader &header);
QString undoEntryText(const UndoEntry &entry);
QString undoConfirmationText(int number, bool saved);

// The database as undo data names it, normalised and without user or
// password: an SQLite file by its full path, a PostgreSQL database by host,
// port and name (or its service), an ODBC connection by its data source.
QString databaseIdentity(const DatabaseLocation &location);

// Why undo data cannot be taken back, in German: the data at path (its log
// file's path) is named, then why, then that nothing was changed.
QString unusableUndoData(const QString &path, const QString &why);

// Reads the undo data of the import whose log file is logFilePath (or the
// undo data itself at that path). Returns the data, or why it is missing,
// unreadable, damaged or of another format, in German.
std::variant<UndoData, QString> readUndoData(const QString &logFilePath);
