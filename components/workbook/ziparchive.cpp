#include "ziparchive.h"

#include "sheetreaders.h"

#include <zip.h>

namespace workbook {

namespace {
// An xlsx part of 10,000 rows is a few MB; this only stops zip bombs.
constexpr zip_uint64_t kMaxMemberSize = 512ull * 1024 * 1024;
}

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

bool ZipArchive::contains(const QString &name) const
{
    return zip_name_locate(m_zip, name.toUtf8().constData(), ZIP_FL_NOCASE) >= 0;
}

QByteArray ZipArchive::read(const QString &name, bool required) const
{
    const zip_int64_t index = zip_name_locate(m_zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0) {
        if (required)
            refuseDamaged(QStringLiteral("Teil „%1“ fehlt").arg(name));
        return {};
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_zip, zip_uint64_t(index), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        refuseDamaged(QStringLiteral("Teil „%1“").arg(name));
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        refusePassword();
    if (stat.size > kMaxMemberSize)
        refuse(QStringLiteral("Die Arbeitsmappe ist zu groß."));

    zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file)
        refuseDamaged(QStringLiteral("Teil „%1“").arg(name));
    QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
    zip_int64_t total = 0;
    bool failed = false;
    while (total < zip_int64_t(stat.size)) {
        const zip_int64_t n = zip_fread(file, bytes.data() + total, stat.size - zip_uint64_t(total));
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

} // namespace workbook
