#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <utility>

// One record that an editable recordset's Update saved, as a journal keeps it
// to take the save back: its table and primary key, whether it was added or
// updated, and the columns written with what they held before (an update's)
// and what they hold now. An added record lists every column of the new row
// as the database stored it; an update only those it changed. Key columns
// are never among the columns. Values as the recordset holds them.
struct OrbeSavedRecord
{
    QString table;
    bool added = false;
    QList<std::pair<QString, QVariant>> key;
    QStringList columns;
    QVariantList before; // an update's; empty for an added record
    QVariantList after;
};

// Told of every save of a connection's editable recordsets
// (OrbeConnection::setSaveJournal), on the connection's thread. Saves sent
// several at once (OrbeConnection::sendSaves) are each told before any is
// sent, then confirmed in the same order as committed or not saved; one
// whose commit got no answer is neither, nor is any after it.
class OrbeSaveJournal
{
public:
    virtual ~OrbeSaveJournal() = default;
    // The record is written, its transaction not yet committed. A failure
    // thrown here rolls the save back.
    virtual void written(const OrbeSavedRecord &record) = 0;
    // The oldest record told and not yet confirmed is committed.
    virtual void committed() noexcept = 0;
    // The oldest record told and not yet confirmed was not saved: the
    // database refused or skipped its transaction, or found the record other
    // than read and wrote nothing.
    virtual void notSaved() noexcept = 0;
};
