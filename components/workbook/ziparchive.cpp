#include "ziparchive.h"

#include "sheetreaders.h"

#include <zip.h>

#include <memory>

namespace workbook {

namespace {
// A part read whole is a small one (relationships, styles, workbook); this only
// stops zip bombs. Sheets are streamed.
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

zip_file *ZipArchive::open(const QString &name, bool required, quint64 &size) const
{
    const zip_int64_t index = zip_name_locate(m_zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
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
    return [file, name](char *buffer, qsizetype wanted) {
        const zip_int64_t n = zip_fread(file.get(), buffer, zip_uint64_t(wanted));
        if (n < 0)
            refuseDamaged(QStringLiteral("Teil „%1“").arg(name));
        return qsizetype(n);
    };
}

} // namespace workbook
