// Target for the xlsx and ods readers (built twice, each with its own corpus).
//
// An input is either a zip package as it is (starting with "PK"), which tests
// the archive layer, or the package's members unpacked, each after a line
// "==> name <==" (what tests/fuzz/seeds.py writes from the corpus). The second
// form is packed into a stored zip before reading: mutating deflated,
// checksummed members would be refused by the archive layer nearly every time,
// so the XML scanner and the readers behind it would hardly be reached.
#include "fuzzreader.h"

#include <zip.h>

#include <utility>
#include <vector>

namespace {

using Member = std::pair<QByteArray, QByteArray>; // name, content

std::vector<Member> unpackedMembers(const QByteArray &input)
{
    static const QByteArray header = "==> ";
    static const QByteArray headerEnd = " <==\n";
    std::vector<Member> members;
    qsizetype pos = input.startsWith(header) ? 0 : -1;
    while (pos >= 0) {
        const qsizetype nameStart = pos + header.size();
        const qsizetype nameEnd = input.indexOf(headerEnd, nameStart);
        if (nameEnd < 0)
            break;
        const qsizetype contentStart = nameEnd + headerEnd.size();
        const qsizetype next = input.indexOf("\n" + header, contentStart);
        const qsizetype contentEnd = next < 0 ? input.size() : next;
        members.emplace_back(input.mid(nameStart, nameEnd - nameStart),
                             input.mid(contentStart, contentEnd - contentStart));
        pos = next < 0 ? -1 : next + 1;
    }
    return members;
}

// The members as a zip package whose members are stored, not compressed.
QByteArray storedPackage(const std::vector<Member> &members)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t *archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        if (buffer)
            zip_source_free(buffer);
        return {};
    }
    for (const auto &[name, content] : members) {
        zip_source_t *source = zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        if (!source)
            continue;
        const zip_int64_t index = zip_file_add(archive, name.constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
        if (index < 0)
            zip_source_free(source);
        else
            zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    zip_source_keep(buffer);
    QByteArray package;
    if (zip_close(archive) != 0) {
        zip_discard(archive);
    } else if (zip_source_open(buffer) == 0) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_source_stat(buffer, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) {
            package.resize(qsizetype(stat.size));
            if (zip_source_read(buffer, package.data(), stat.size) != zip_int64_t(stat.size))
                package.clear();
        }
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return package;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readOrRefuse(
        [](const QByteArray &input) {
            if (input.startsWith("PK"))
                return workbook::readZipPackage(input);
            const std::vector<Member> members = unpackedMembers(input);
            // The input names no member: nothing of ours to reach.
            if (members.empty())
                workbook::refuseDamaged();
            return workbook::readZipPackage(storedPackage(members));
        },
        data, size);
    return 0;
}
