#pragma once

#include <QByteArray>
#include <QString>

struct zip;

namespace workbook {

// A zip package read from memory (xlsx, ods). Damaged or truncated archives
// refuse on open; a damaged member refuses when read.
class ZipArchive
{
public:
    explicit ZipArchive(const QByteArray &data);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool contains(const QString &name) const;
    // The member's bytes; refuses when it is missing and `required`, else empty.
    QByteArray read(const QString &name, bool required = true) const;

private:
    zip *m_zip = nullptr;
};

} // namespace workbook
