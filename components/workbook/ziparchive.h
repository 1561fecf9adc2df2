#pragma once

#include "xmlscanner.h"

#include <QByteArray>
#include <QString>

struct zip;
struct zip_file;

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
    // The member inflated as it is read, for parts too large to hold whole;
    // refuses when it is missing. Damage shows where it is reached, a wrong
    // checksum at the member's end. The source must not outlive the archive.
    ByteSource stream(const QString &name) const;

private:
    // The member's index, or -1.
    qint64 locate(const QString &name) const;
    // The open member and its size; null when it is missing and not `required`.
    zip_file *open(const QString &name, bool required, quint64 &size) const;

    zip *m_zip = nullptr;
};

} // namespace workbook
