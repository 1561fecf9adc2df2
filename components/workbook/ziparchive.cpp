#include "ziparchive.h"

#include "sheetreaders.h"

#include <zip.h>

#include <algorithm>
#include <memory>

namespace workbook {

namespace {
// A part read whole is a small one (relationships, styles, workbook); this only
// stops zip bombs. Sheets are streamed.
constexpr zip_uint64_t kMaxMemberSize = 512ull * 1024 * 1024;
// Workbook parts pack ten- to fifty-fold; padding packs a thousandfold, and
// inflating gigabytes of it would hold a run for minutes. A part may inflate
// to kMinInflatedBound or kMaxInflationRatio times its packed size.
constexpr zip_uint64_t kMinInflatedBound = 64ull * 1024 * 1024;
constexpr zip_uint64_t kMaxInflationRatio = 150;
// libzip's consistency check wants the sizes and checksum in a member's local
// header, but an archive written as a stream has them only in a data
// descriptor after the data (its local header may even ask for a newer zip
// version than its central entry). Consistent: every central entry's name
// and method agree with its local header, and its checksum and sizes with the
// local header or, where the local header defers them, with the descriptor.
bool consistentAsStream(QByteArrayView zip)
{
    const qsizetype end = zip.lastIndexOf("PK\x05\x06");
    if (end < 0 || end + 22 > zip.size())
        return false;
    qsizetype central = le32(zip, end + 16);
    for (int entry = le16(zip, end + 10); entry > 0; --entry) {
        if (central + 46 > zip.size() || !zip.sliced(central).startsWith("PK\x01\x02"))
            return false;
        const qsizetype nameSize = le16(zip, central + 28);
        const qsizetype local = le32(zip, central + 42);
        const quint32 crc = le32(zip, central + 16);
        const qint64 packed = le32(zip, central + 20);
        const qint64 size = le32(zip, central + 24);
        if (local + 30 + nameSize > zip.size() || !zip.sliced(local).startsWith("PK\x03\x04")
            || central + 46 + nameSize > zip.size() || le16(zip, local + 8) != le16(zip, central + 10)
            || le16(zip, local + 26) != nameSize || zip.sliced(local + 30, nameSize) != zip.sliced(central + 46, nameSize))
            return false;
        qsizetype facts = local + 14; // crc, packed and inflated size
        bool wide = false;
        if (le16(zip, local + 6) & 0x08) {
            facts = local + 30 + nameSize + le16(zip, local + 28) + packed;
            if (facts + 4 <= zip.size() && le32(zip, facts) == 0x08074b50)
                facts += 4;
            wide = facts + 20 <= zip.size() && le32(zip, facts + 4) == packed && le32(zip, facts + 8) == 0
                   && le32(zip, facts + 12) == size;
        }
        if (facts + (wide ? 20 : 12) > zip.size() || le32(zip, facts) != crc
            || le32(zip, facts + 4) != packed || le32(zip, facts + (wide ? 12 : 8)) != size)
            return false;
        central += 46 + nameSize + le16(zip, central + 30) + le16(zip, central + 32);
    }
    return true;
}

} // namespace

ZipArchive::ZipArchive(const QByteArray &data)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(data.constData(), zip_uint64_t(data.size()), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        refuseDamaged();
    }
    m_zip = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!m_zip && zip_error_code_zip(&error) == ZIP_ER_INCONS && consistentAsStream(data)) {
        zip_error_fini(&error);
        zip_error_init(&error);
        m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    }
    if (!m_zip) {
        zip_source_free(source);
        const int code = zip_error_code_zip(&error);
        zip_error_fini(&error);
        if (code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_NOPASSWD)
            refusePassword();
        refuseDamaged(QStringLiteral("ZIP-Archiv nicht lesbar"));
    }
    zip_error_fini(&error);
}

ZipArchive::~ZipArchive()
{
    if (m_zip)
        zip_discard(m_zip);
}

qint64 ZipArchive::locate(const QString &name) const
{
    qint64 index = zip_name_locate(m_zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
    // Some archivers write Windows paths (xl\workbook.xml).
    if (index < 0 && name.contains(u'/'))
        index = zip_name_locate(m_zip, QString(name).replace(u'/', u'\\').toUtf8().constData(), ZIP_FL_NOCASE);
    return index;
}

bool ZipArchive::contains(const QString &name) const
{
    return locate(name) >= 0;
}

zip_file *ZipArchive::open(const QString &name, bool required, quint64 &size) const
{
    const zip_int64_t index = locate(name);
    if (index < 0) {
        if (required)
            refuseDamaged(QStringLiteral("Teil „%1“ fehlt").arg(name));
        return nullptr;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_zip, zip_uint64_t(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        refuseDamaged(QStringLiteral("Teil „%1“").arg(name));
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        refusePassword();
    if (!(stat.valid & ZIP_STAT_COMP_SIZE)
        || stat.size > std::max(kMinInflatedBound, kMaxInflationRatio * stat.comp_size))
        refuse(QStringLiteral("Teil „%1“ wäre entpackt %2 MB groß, mehr als das %3-Fache seiner gepackten "
                              "Größe; so packt sich keine Arbeitsmappe.")
                   .arg(name)
                   .arg(stat.size / (1024 * 1024))
                   .arg(kMaxInflationRatio));
    zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file)
        refuseDamaged(QStringLiteral("Teil „%1“").arg(name));
    size = stat.size;
    return file;
}

QByteArray ZipArchive::read(const QString &name, bool required) const
{
    quint64 size = 0;
    zip_file_t *file = open(name, required, size);
    if (!file)
        return {};
    if (size > kMaxMemberSize) {
        zip_fclose(file);
        refuse(QStringLiteral("Die Arbeitsmappe ist zu groß."));
    }
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    zip_int64_t total = 0;
    bool failed = false;
    while (total < zip_int64_t(size)) {
        const zip_int64_t n = zip_fread(file, bytes.data() + total, size - zip_uint64_t(total));
        if (n <= 0) {
            failed = true;
            break;
        }
        total += n;
    }
    // Reading past the end makes libzip verify the checksum.
    char probe;
    if (!failed && zip_fread(file, &probe, 1) != 0)
        failed = true;
    zip_fclose(file);
    if (failed)
        refuseDamaged(QStringLiteral("Teil „%1“").arg(name));
    return bytes;
}

ByteSource ZipArchive::stream(const QString &name) const
{
    quint64 size = 0;
    const std::shared_ptr<zip_file_t> file(open(name, true, size), zip_fclose);
    // The size the archive states is what open() bounded: a part that
    // inflates to more is damaged, however much more it holds.
    return [file, name, left = size](char *buffer, qsizetype wanted) mutable {
        const zip_int64_t n = zip_fread(file.get(), buffer, std::min<zip_uint64_t>(zip_uint64_t(wanted), left + 1));
        if (n < 0 || zip_uint64_t(n) > left)
            refuseDamaged(QStringLiteral("Teil „%1“").arg(name));
        left -= zip_uint64_t(n);
        return qsizetype(n);
    };
}

} // namespace workbook
