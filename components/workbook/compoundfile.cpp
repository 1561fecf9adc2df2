// The compound-file container of .xls workbooks. Sector n begins at byte
// (n + 1) * sector size, after the header; chains of sectors run through the
// FAT, small streams through the mini FAT inside the mini stream, which is
// itself a chain of the root entry. The reader copies one stream once and
// keeps nothing else of the file.
#include "compoundfile.h"

#include "sheetreaders.h"

#include <algorithm>
#include <cstring>

namespace workbook {

namespace {

constexpr QByteArrayView kSignature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr qsizetype kHeaderSize = 512;
constexpr int kHeaderFatSectors = 109;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kEntrySize = 128;
constexpr quint32 kMiniSectorSize = 64;
constexpr quint32 kMiniStreamCutoff = 4096; // smaller streams live in the mini stream
constexpr quint8 kStreamEntry = 2;
constexpr quint8 kRootEntry = 5;

namespace Header {
constexpr qsizetype SectorShift = 30;
constexpr qsizetype MiniSectorShift = 32;
constexpr qsizetype FatSectors = 44;
constexpr qsizetype FirstDirectorySector = 48;
constexpr qsizetype MiniStreamCutoff = 56;
constexpr qsizetype FirstMiniFatSector = 60;
constexpr qsizetype FirstExtensionSector = 68;
constexpr qsizetype FatSectorList = 76;
} // namespace Header

namespace Entry {
constexpr qsizetype NameLength = 64;
constexpr qsizetype Type = 66;
constexpr qsizetype LeftSibling = 68;
constexpr qsizetype RightSibling = 72;
constexpr qsizetype Child = 76;
constexpr qsizetype StartSector = 116;
constexpr qsizetype Size = 120;
} // namespace Entry

[[noreturn]] void refuseContainer(const QString &what)
{
    refuseDamaged(QStringLiteral("OLE-Container: %1").arg(what));
}

[[noreturn]] void refuseShortStream()
{
    refuseContainer(QStringLiteral("Datenstrom kürzer als angegeben"));
}

QString entryName(QByteArrayView entry)
{
    const int length = std::min(le16(entry, Entry::NameLength) / 2, 32);
    QString name;
    for (int i = 0; i < length; ++i) {
        const char16_t ch = le16(entry, 2 * i);
        if (ch == 0)
            break;
        name += QChar(ch);
    }
    return name;
}

} // namespace

CompoundFile::CompoundFile(QByteArrayView data)
    : m_data(data)
{
    if (data.size() < kHeaderSize || !data.startsWith(kSignature))
        refuseContainer(QStringLiteral("Kopf unvollständig"));
    // Version and byte order mark say nothing the sector size does not: a
    // writer's slip there is let pass, as other readers do.
    m_shift = le16(data, Header::SectorShift);
    if ((m_shift != 9 && m_shift != 12) || le16(data, Header::MiniSectorShift) != 6
        || le32(data, Header::MiniStreamCutoff) != kMiniStreamCutoff)
        refuseContainer(QStringLiteral("Kopf ungültig"));
    m_sectorSize = 1u << m_shift;
    m_fileSectors = quint32((data.size() - 1) / m_sectorSize);
    readFatSectors();
    m_directory = chain(le32(data, Header::FirstDirectorySector));
    if (m_directory.empty() || quint8(entry(0)[Entry::Type]) != kRootEntry)
        refuseContainer(QStringLiteral("Wurzelverzeichnis fehlt"));
}

void CompoundFile::walk(quint32 first, Bounds bounds, const std::function<quint32(quint32)> &next,
                        const std::function<bool(quint32)> &visit)
{
    std::vector<bool> seen(size_t(std::min(bounds.entries, bounds.present)));
    for (quint32 sector = first; sector != kEndOfChain; sector = next(sector)) {
        if (sector >= bounds.entries)
            refuseContainer(QStringLiteral("Sektornummer %1 ungültig").arg(sector));
        if (sector >= bounds.present)
            refuseContainer(QStringLiteral("Sektorkette verlässt die Datei"));
        if (seen[sector])
            refuseContainer(QStringLiteral("Sektorkette läuft im Kreis"));
        seen[sector] = true;
        if (!visit(sector))
            return;
    }
}

std::vector<quint32> CompoundFile::chain(quint32 first) const
{
    std::vector<quint32> sectors;
    walk(first, fatBounds(), [this](quint32 s) { return fatEntry(s); }, [&](quint32 s) {
        sectors.push_back(s);
        return true;
    });
    return sectors;
}

CompoundFile::Bounds CompoundFile::fatBounds() const
{
    return {quint64(m_fat.size()) * (m_sectorSize / 4), m_fileSectors};
}

quint32 CompoundFile::fatEntry(quint32 sector) const
{
    const quint32 perSector = m_sectorSize / 4;
    return le32(this->sector(m_fat[sector / perSector]), qsizetype(sector % perSector) * 4);
}

void CompoundFile::readFatSectors()
{
    const quint32 count = le32(m_data, Header::FatSectors);
    if (count > m_fileSectors)
        refuseContainer(QStringLiteral("Zuordnungstabelle größer als die Datei"));
    m_fat.reserve(count);
    for (int i = 0; i < kHeaderFatSectors && m_fat.size() < count; ++i)
        m_fat.push_back(le32(m_data, Header::FatSectorList + 4 * i));
    // Beyond the header's 109, extension sectors list the FAT's sectors, each
    // ending in the number of the next extension sector.
    const quint32 perSector = m_sectorSize / 4 - 1;
    const auto nextExtension = [&](quint32 s) { return le32(sector(s), qsizetype(perSector) * 4); };
    if (m_fat.size() < count)
        walk(le32(m_data, Header::FirstExtensionSector), {m_fileSectors, m_fileSectors}, nextExtension, [&](quint32 s) {
            const QByteArrayView list = sector(s);
            for (quint32 i = 0; i < perSector && m_fat.size() < count; ++i)
                m_fat.push_back(le32(list, qsizetype(i) * 4));
            return m_fat.size() < count;
        });
    if (m_fat.size() < count)
        refuseContainer(QStringLiteral("Zuordnungstabelle unvollständig"));
    for (quint32 s : m_fat)
        sector(s); // refuses one outside the file
}

QByteArrayView CompoundFile::sector(quint32 number) const
{
    const qint64 at = (qint64(number) + 1) << m_shift;
    if (number >= m_fileSectors || at + m_sectorSize > m_data.size())
        refuseContainer(QStringLiteral("Sektor %1 liegt außerhalb der Datei").arg(number));
    return m_data.sliced(at, m_sectorSize);
}

QByteArrayView CompoundFile::entry(quint32 id) const
{
    const quint32 perSector = m_sectorSize / kEntrySize;
    if (id / perSector >= m_directory.size())
        refuseContainer(QStringLiteral("Verzeichniseintrag %1 fehlt").arg(id));
    return sector(m_directory[id / perSector]).sliced(qsizetype(id % perSector) * kEntrySize, kEntrySize);
}

quint64 CompoundFile::streamSize(QByteArrayView entry) const
{
    // Files with 512-byte sectors may hold anything in the upper half.
    const quint64 high = m_shift == 9 ? 0 : le32(entry, Entry::Size + 4);
    return high << 32 | le32(entry, Entry::Size);
}

std::optional<CompoundFile::Stream> CompoundFile::find(QStringView name) const
{
    // The root's children form a tree through their sibling links; all of it
    // is walked, so that a cycle is seen wherever the name stands.
    const quint64 entries = quint64(m_directory.size()) * (m_sectorSize / kEntrySize);
    std::vector<bool> seen(static_cast<size_t>(entries));
    seen[0] = true;
    std::vector<quint32> pending{le32(entry(0), Entry::Child)};
    std::optional<Stream> found;
    while (!pending.empty()) {
        const quint32 id = pending.back();
        pending.pop_back();
        if (id >= entries)
            continue; // the mark for none, or a link out of range, which other readers pass over too
        if (seen[id])
            refuseContainer(QStringLiteral("Verzeichnis läuft im Kreis"));
        seen[id] = true;
        const QByteArrayView e = entry(id);
        pending.push_back(le32(e, Entry::LeftSibling));
        pending.push_back(le32(e, Entry::RightSibling));
        if (!found && quint8(e[Entry::Type]) == kStreamEntry && entryName(e).compare(name, Qt::CaseInsensitive) == 0)
            found = Stream{le32(e, Entry::StartSector), streamSize(e)};
    }
    return found;
}

QByteArray CompoundFile::read(const Stream &stream) const
{
    if (stream.size > quint64(m_data.size()))
        refuseShortStream();
    QByteArray bytes(qsizetype(stream.size), Qt::Uninitialized);
    if (stream.size == 0)
        return bytes;
    if (stream.size < kMiniStreamCutoff)
        copyMini(stream, bytes.data());
    else
        copyRegular(stream, bytes.data());
    return bytes;
}

void CompoundFile::copyRegular(const Stream &stream, char *out) const
{
    quint64 done = 0;
    walk(stream.start, fatBounds(), [this](quint32 s) { return fatEntry(s); }, [&](quint32 s) {
        const qint64 at = (qint64(s) + 1) << m_shift;
        const quint64 take = std::min<quint64>(m_sectorSize, stream.size - done);
        if (at + qint64(take) > m_data.size())
            refuseShortStream();
        std::memcpy(out + done, m_data.data() + at, take);
        done += take;
        return done < stream.size;
    });
    if (done < stream.size)
        refuseShortStream();
}

void CompoundFile::copyMini(const Stream &stream, char *out) const
{
    // The mini stream is the root entry's chain; the mini FAT a chain of its own.
    const QByteArrayView root = entry(0);
    const std::vector<quint32> miniStream = chain(le32(root, Entry::StartSector));
    const std::vector<quint32> miniFat = chain(le32(m_data, Header::FirstMiniFatSector));
    const quint64 miniStreamSize = std::min<quint64>(streamSize(root), quint64(miniStream.size()) * m_sectorSize);
    const quint32 perSector = m_sectorSize / 4;
    const Bounds bounds{quint64(miniFat.size()) * perSector,
                        (miniStreamSize + kMiniSectorSize - 1) / kMiniSectorSize};
    const auto next = [&](quint32 m) { return le32(sector(miniFat[m / perSector]), qsizetype(m % perSector) * 4); };
    quint64 done = 0;
    walk(stream.start, bounds, next, [&](quint32 m) {
        const quint64 position = quint64(m) * kMiniSectorSize;
        const quint64 take = std::min<quint64>(kMiniSectorSize, stream.size - done);
        if (position + take > miniStreamSize)
            refuseShortStream();
        const qint64 at = ((qint64(miniStream[position >> m_shift]) + 1) << m_shift) + qint64(position % m_sectorSize);
        if (at + qint64(take) > m_data.size())
            refuseShortStream();
        std::memcpy(out + done, m_data.data() + at, take);
        done += take;
        return done < stream.size;
    });
    if (done < stream.size)
        refuseShortStream();
}

} // namespace workbook
