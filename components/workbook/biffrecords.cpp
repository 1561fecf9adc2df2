#include "biffrecords.h"

#include <cstring>

namespace workbook {

namespace {

constexpr quint16 kContinue = 0x003C;

} // namespace

BiffRecordStream::BiffRecordStream(QByteArrayView data, qsizetype start)
    : m_data(data)
    , m_pos(start)
{
    if (start < 0 || start > data.size())
        refuseDamaged(QStringLiteral("Blattverweis außerhalb der Datei"));
}

BiffRecord BiffRecordStream::next()
{
    BiffRecord record = readOne();
    const qsizetype continuesStart = m_pos;
    while (peekType() == kContinue)
        readOne();
    record.continues = m_data.sliced(continuesStart, m_pos - continuesStart);
    return record;
}

BiffRecord BiffRecordStream::readOne()
{
    if (m_pos + 4 > m_data.size())
        refuseDamaged(QStringLiteral("Datensätze enden vorzeitig"));
    BiffRecord record;
    record.type = le16(m_data, m_pos);
    const quint16 length = le16(m_data, m_pos + 2);
    if (m_pos + 4 + length > m_data.size())
        refuseDamaged(QStringLiteral("Datensatz abgeschnitten"));
    record.body = m_data.sliced(m_pos + 4, length);
    m_pos += 4 + length;
    return record;
}

int BiffRecordStream::peekType() const
{
    return m_pos + 4 <= m_data.size() ? le16(m_data, m_pos) : -1;
}

ContinuedReader::ContinuedReader(const BiffRecord &record, qsizetype start)
    : m_segment(record.body)
    , m_rest(record.continues)
    , m_pos(start)
{
}

bool ContinuedReader::nextSegment()
{
    if (m_rest.isEmpty())
        return false;
    const qsizetype length = le16(m_rest, 2); // checked by the record stream
    m_segment = m_rest.sliced(4, length);
    m_rest = m_rest.sliced(4 + length);
    m_pos = 0;
    return true;
}

bool ContinuedReader::atEnd()
{
    while (m_pos >= m_segment.size())
        if (!nextSegment())
            return true;
    return false;
}

quint8 ContinuedReader::byte()
{
    if (atEnd())
        refuseDamaged(QStringLiteral("Text abgeschnitten"));
    return quint8(m_segment[m_pos++]);
}

quint16 ContinuedReader::word()
{
    const quint8 low = byte();
    return quint16(low | byte() << 8);
}

quint32 ContinuedReader::dword()
{
    const quint16 low = word();
    return quint32(low) | quint32(word()) << 16;
}

void ContinuedReader::skip(quint64 count)
{
    while (count > 0) {
        if (atEnd())
            refuseDamaged(QStringLiteral("Text abgeschnitten"));
        const quint64 take = std::min<quint64>(count, quint64(m_segment.size() - m_pos));
        m_pos += qsizetype(take);
        count -= take;
    }
}

void ContinuedReader::characters(quint32 count, bool wide, QString *text)
{
    if (text)
        text->reserve(qsizetype(std::min<quint32>(count, 65535)));
    while (count > 0) {
        if (m_pos >= m_segment.size()) {
            // Characters go on in the next CONTINUE record after a flags byte of their own.
            if (!nextSegment() || m_segment.isEmpty())
                refuseDamaged(QStringLiteral("Text abgeschnitten"));
            wide = m_segment[m_pos++] & 0x01;
            continue;
        }
        const QByteArrayView seg = m_segment;
        const qsizetype available = seg.size() - m_pos;
        const quint32 take = std::min<quint32>(count, quint32(wide ? available / 2 : available));
        if (take == 0)
            refuseDamaged(QStringLiteral("Text zerteilt"));
        for (quint32 i = 0; text && i < take; ++i) {
            if (wide)
                *text += QChar(char16_t(le16(seg, m_pos + 2 * i)));
            else
                *text += QChar(char16_t(quint8(seg[m_pos + i]))); // compressed: Latin-1
        }
        m_pos += wide ? 2 * take : take;
        count -= take;
    }
}

void ContinuedReader::unicodeString(QString *text)
{
    const quint32 count = word();
    const quint8 flags = byte();
    const quint16 runs = (flags & 0x08) ? word() : 0;
    const quint32 extended = (flags & 0x04) ? dword() : 0;
    characters(count, flags & 0x01, text);
    skip(quint64(runs) * 4);
    skip(extended);
}

QString ContinuedReader::unicodeString()
{
    QString text;
    unicodeString(&text);
    return text;
}

void ContinuedReader::skipUnicodeString()
{
    unicodeString(nullptr);
}

void refuseOldFormat()
{
    refuse(QStringLiteral("Das Dateiformat Excel 5.0/95 oder älter wird nicht unterstützt. "
                          "Bitte die Arbeitsmappe als .xlsx oder als Excel 97-2003 (.xls) speichern."));
}

void checkBof(const BiffRecord &record)
{
    if (record.type == 0x0009 || record.type == 0x0209 || record.type == 0x0409)
        refuseOldFormat(); // BIFF2 to BIFF4
    if (record.type != RecordType::Bof)
        refuse(QStringLiteral("Die Datei ist keine Excel-Arbeitsmappe."));
    need(record, 4);
    if (le16(record.body, 0) != 0x0600)
        refuseOldFormat();
}

void need(const BiffRecord &record, qsizetype size)
{
    if (record.body.size() < size)
        refuseDamaged(QStringLiteral("Datensatz 0x%1 zu kurz").arg(record.type, 4, 16, QLatin1Char('0')));
}

double f64(QByteArrayView bytes, qsizetype at)
{
    const quint64 bits = quint64(le32(bytes, at)) | quint64(le32(bytes, at + 4)) << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double rkValue(quint32 rk)
{
    double value;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

} // namespace workbook
