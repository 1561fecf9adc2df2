#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <functional>
#include <optional>
#include <vector>

namespace workbook {

// The OLE2 compound file that holds the streams of an .xls workbook, read from
// memory: its header, the sector allocation table (FAT) with the extension
// sectors beyond the header's 109 entries, the directory, the mini stream with
// its own table; sectors of 512 or 4096 bytes. Every sector number, chain and
// directory link is checked: a damaged container refuses as damaged
// (ReadError), and nothing is read beyond the data's end.
class CompoundFile
{
public:
    // Refuses data whose header, allocation table or directory is damaged.
    explicit CompoundFile(QByteArrayView data);

    struct Stream
    {
        quint32 start = 0;
        quint64 size = 0;
    };
    // The stream of this name in the root storage, the name compared without
    // regard to case; none when there is no such stream.
    std::optional<Stream> find(QStringView name) const;
    // The stream's bytes in one piece; refuses a stream whose sectors do not
    // hold the size its directory entry states.
    QByteArray read(const Stream &stream) const;

private:
    // The sectors a chain may name: those its table has entries for, and of
    // those the ones present (in the file, or in the mini stream).
    struct Bounds
    {
        quint64 entries;
        quint64 present;
    };
    // Calls visit(sector) along the chain from `first` while it returns true,
    // until the chain ends; refuses a chain that loops or names a sector out
    // of bounds. `next` gives a sector's successor.
    static void walk(quint32 first, Bounds bounds, const std::function<quint32(quint32)> &next,
                     const std::function<bool(quint32)> &visit);
    // The sectors of a chain through the FAT.
    std::vector<quint32> chain(quint32 first) const;
    Bounds fatBounds() const;
    quint32 fatEntry(quint32 sector) const;
    void readFatSectors();
    // A whole sector, as the tables and the directory need them.
    QByteArrayView sector(quint32 number) const;
    QByteArrayView entry(quint32 id) const;
    quint64 streamSize(QByteArrayView entry) const;
    void copyRegular(const Stream &stream, char *out) const;
    void copyMini(const Stream &stream, char *out) const;

    QByteArrayView m_data;
    int m_shift = 9;
    quint32 m_sectorSize = 512;
    quint32 m_fileSectors = 0;        // sectors that begin inside the data
    std::vector<quint32> m_fat;       // the sectors that hold the FAT
    std::vector<quint32> m_directory; // the directory's sectors
};

} // namespace workbook
