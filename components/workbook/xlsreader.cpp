// Excel 97-2003 workbooks (.xls): the OLE2 container through libgsf, the BIFF8
// records read here, every length and offset checked. Formula cells read as
// their stored results: an empty cell would end the caller's data.
// libgsf pulls in GLib, whose headers must come before Qt's keyword macros.
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-utils.h>

#include "sheetreaders.h"

#include <QHash>

#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace workbook {

namespace {

namespace Rec {
constexpr quint16 Formula = 0x0006;
constexpr quint16 FormulaBiff3 = 0x0206; // older kinds, still written by some producers
constexpr quint16 FormulaBiff4 = 0x0406;
constexpr quint16 Eof = 0x000A;
constexpr quint16 DateMode = 0x0022;
constexpr quint16 Continue = 0x003C;
constexpr quint16 BoundSheet = 0x0085;
constexpr quint16 MulRk = 0x00BD;
constexpr quint16 Sst = 0x00FC;
constexpr quint16 LabelSst = 0x00FD;
constexpr quint16 RString = 0x00D6;
constexpr quint16 Xf = 0x00E0;
constexpr quint16 Number = 0x0203;
constexpr quint16 Label = 0x0204;
constexpr quint16 BoolErr = 0x0205;
constexpr quint16 String = 0x0207;
constexpr quint16 Array = 0x0221;
constexpr quint16 Table = 0x0236;
constexpr quint16 Rk = 0x027E;
constexpr quint16 Format = 0x041E;
constexpr quint16 ShrFmla = 0x04BC;
constexpr quint16 Bof = 0x0809;
} // namespace Rec

constexpr qint64 kMaxStreamSize = 256ll * 1024 * 1024;

[[noreturn]] void refuseOldFormat()
{
    refuse(QStringLiteral("Das Dateiformat Excel 5.0/95 oder älter wird nicht unterstützt. "
                          "Bitte die Arbeitsmappe als .xlsx oder als Excel 97-2003 (.xls) speichern."));
}

struct GObjectGuard
{
    gpointer object;
    ~GObjectGuard()
    {
        if (object)
            g_object_unref(object);
    }
};

QByteArray workbookStream(const QByteArray &data)
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // libgsf reports damaged containers as GLib criticals on stderr as
        // well as by its return values; the latter become our Failure.
        g_log_set_handler("libgsf:msole", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
                          [](const gchar *, GLogLevelFlags, const gchar *, gpointer) {}, nullptr);
    });

    GsfInput *input = gsf_input_memory_new(reinterpret_cast<const guint8 *>(data.constData()), data.size(), FALSE);
    GObjectGuard inputGuard{input};
    GError *error = nullptr;
    GsfInfile *ole = gsf_infile_msole_new(input, &error);
    if (error)
        g_error_free(error);
    if (!ole)
        refuseDamaged(QStringLiteral("OLE-Container nicht lesbar"));
    GObjectGuard oleGuard{ole};

    int workbookIndex = -1;
    bool oldBook = false;
    bool encryptedPackage = false;
    const int children = gsf_infile_num_children(ole);
    for (int i = 0; i < children; ++i) {
        const char *name = gsf_infile_name_by_index(ole, i);
        if (!name)
            continue;
        if (g_ascii_strcasecmp(name, "Workbook") == 0)
            workbookIndex = i;
        else if (g_ascii_strcasecmp(name, "Book") == 0)
            oldBook = true;
        else if (g_ascii_strcasecmp(name, "EncryptedPackage") == 0)
            encryptedPackage = true; // a password-protected xlsx
    }
    if (encryptedPackage)
        refusePassword();
    if (workbookIndex < 0) {
        if (oldBook)
            refuseOldFormat();
        refuse(QStringLiteral("Die Datei ist ein OLE-Dokument, aber keine Excel-Arbeitsmappe."));
    }
    // Opening a stream over missing blocks warns under GLib's default domain.
    const guint quiet = g_log_set_handler(nullptr, G_LOG_LEVEL_WARNING,
                                          [](const gchar *, GLogLevelFlags, const gchar *, gpointer) {}, nullptr);
    GsfInput *stream = gsf_infile_child_by_index(ole, workbookIndex);
    g_log_remove_handler(nullptr, quiet);
    if (!stream)
        refuseDamaged(QStringLiteral("Datenstrom „Workbook“"));
    GObjectGuard streamGuard{stream};
    const gsf_off_t size = gsf_input_size(stream);
    if (size < 0 || size > kMaxStreamSize)
        refuseDamaged(QStringLiteral("Datenstrom „Workbook“"));
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    if (size > 0 && !gsf_input_read(stream, size_t(size), reinterpret_cast<guint8 *>(bytes.data())))
        refuseDamaged(QStringLiteral("Datenstrom „Workbook“ abgeschnitten"));
    return bytes;
}

double f64(QByteArrayView b, qsizetype at)
{
    quint64 bits = quint64(le32(b, at)) | quint64(le32(b, at + 4)) << 32;
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

struct Record
{
    quint16 type = 0;
    QByteArrayView body;
    std::vector<QByteArrayView> continues; // following CONTINUE records
};

class RecordStream
{
public:
    RecordStream(QByteArrayView data, qsizetype start)
        : m_data(data)
        , m_pos(start)
    {
        if (start < 0 || start > data.size())
            refuseDamaged(QStringLiteral("Blattverweis außerhalb der Datei"));
    }

    Record next()
    {
        Record record = readOne();
        while (peekType() == Rec::Continue)
            record.continues.push_back(readOne().body);
        return record;
    }

private:
    Record readOne()
    {
        if (m_pos + 4 > m_data.size())
            refuseDamaged(QStringLiteral("Datensätze enden vorzeitig"));
        Record record;
        record.type = le16(m_data, m_pos);
        const quint16 length = le16(m_data, m_pos + 2);
        if (m_pos + 4 + length > m_data.size())
            refuseDamaged(QStringLiteral("Datensatz abgeschnitten"));
        record.body = m_data.sliced(m_pos + 4, length);
        m_pos += 4 + length;
        return record;
    }

    int peekType() const
    {
        return m_pos + 4 <= m_data.size() ? le16(m_data, m_pos) : -1;
    }

    QByteArrayView m_data;
    qsizetype m_pos;
};

// Reads across a record and its CONTINUE records. Character data split at a
// record boundary goes on with a fresh flags byte (compressed or UTF-16).
class ContinuedReader
{
public:
    explicit ContinuedReader(const Record &record, qsizetype start = 0)
    {
        m_segments.push_back(record.body);
        m_segments.insert(m_segments.end(), record.continues.begin(), record.continues.end());
        m_pos = start;
    }

    bool atEnd()
    {
        while (m_segment < m_segments.size() && m_pos >= m_segments[m_segment].size()) {
            ++m_segment;
            m_pos = 0;
        }
        return m_segment >= m_segments.size();
    }

    quint8 byte()
    {
        if (atEnd())
            refuseDamaged(QStringLiteral("Text abgeschnitten"));
        return quint8(m_segments[m_segment][m_pos++]);
    }

    quint16 word()
    {
        const quint8 low = byte();
        return quint16(low | byte() << 8);
    }

    quint32 dword()
    {
        const quint16 low = word();
        return quint32(low) | quint32(word()) << 16;
    }

    void skip(quint64 count)
    {
        while (count > 0) {
            if (atEnd())
                refuseDamaged(QStringLiteral("Text abgeschnitten"));
            const quint64 take = std::min<quint64>(count, quint64(m_segments[m_segment].size() - m_pos));
            m_pos += qsizetype(take);
            count -= take;
        }
    }

    QString characters(quint32 count, bool wide)
    {
        QString text;
        text.reserve(qsizetype(std::min<quint32>(count, 65535)));
        while (count > 0) {
            if (m_segment >= m_segments.size())
                refuseDamaged(QStringLiteral("Text abgeschnitten"));
            if (m_pos >= m_segments[m_segment].size()) {
                ++m_segment;
                m_pos = 0;
                if (m_segment >= m_segments.size() || m_segments[m_segment].isEmpty())
                    refuseDamaged(QStringLiteral("Text abgeschnitten"));
                wide = m_segments[m_segment][m_pos++] & 0x01;
                continue;
            }
            const QByteArrayView seg = m_segments[m_segment];
            const qsizetype available = seg.size() - m_pos;
            const quint32 take = std::min<quint32>(count, quint32(wide ? available / 2 : available));
            if (take == 0)
                refuseDamaged(QStringLiteral("Text zerteilt"));
            for (quint32 i = 0; i < take; ++i) {
                if (wide) {
                    text += QChar(char16_t(le16(seg, m_pos)));
                    m_pos += 2;
                } else {
                    text += QChar(char16_t(quint8(seg[m_pos++]))); // compressed: Latin-1
                }
            }
            count -= take;
        }
        return text;
    }

    // XLUnicodeString (16-bit count) or ShortXLUnicodeString (8-bit count).
    QString unicodeString(bool shortCount = false)
    {
        const quint32 count = shortCount ? byte() : word();
        const quint8 flags = byte();
        const quint16 runs = (flags & 0x08) ? word() : 0;
        const quint32 extended = (flags & 0x04) ? dword() : 0;
        QString text = characters(count, flags & 0x01);
        skip(quint64(runs) * 4);
        skip(extended);
        return text;
    }

private:
    std::vector<QByteArrayView> m_segments;
    size_t m_segment = 0;
    qsizetype m_pos = 0;
};

void need(const Record &record, qsizetype size)
{
    if (record.body.size() < size)
        refuseDamaged(QStringLiteral("Datensatz 0x%1 zu kurz").arg(record.type, 4, 16, QLatin1Char('0')));
}

void checkBof(const Record &record)
{
    if (record.type == 0x0009 || record.type == 0x0209 || record.type == 0x0409)
        refuseOldFormat(); // BIFF2 to BIFF4
    if (record.type != Rec::Bof)
        refuse(QStringLiteral("Die Datei ist keine Excel-Arbeitsmappe."));
    need(record, 4);
    if (le16(record.body, 0) != 0x0600)
        refuseOldFormat();
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    case 0x2A: return QStringLiteral("#N/A");
    default: return QStringLiteral("#FEHLER!");
    }
}

struct Globals
{
    std::vector<QString> sharedStrings;
    std::vector<quint16> xfFormats; // format id per XF record
    QHash<int, QString> formats;
    bool date1904 = false;
    std::optional<quint32> firstSheetPos;
    quint8 firstSheetType = 0;

    QString formatted(quint16 xf, double value) const
    {
        const int id = xf < xfFormats.size() ? xfFormats[xf] : 0;
        return formattedNumber(value, numberFormat(id, formats.value(id)), date1904);
    }
};

Globals readGlobals(QByteArrayView stream)
{
    Globals globals;
    RecordStream records(stream, 0);
    checkBof(records.next());
    for (;;) {
        const Record record = records.next();
        switch (record.type) {
        case Rec::Eof:
            return globals;
        case Rec::DateMode:
            need(record, 2);
            globals.date1904 = le16(record.body, 0) == 1;
            break;
        case Rec::Xf:
            need(record, 4);
            globals.xfFormats.push_back(le16(record.body, 2));
            break;
        case Rec::Format: {
            need(record, 2);
            ContinuedReader reader(record, 2);
            globals.formats.insert(le16(record.body, 0), reader.unicodeString());
            break;
        }
        case Rec::BoundSheet:
            need(record, 6);
            if (!globals.firstSheetPos) {
                globals.firstSheetPos = le32(record.body, 0);
                globals.firstSheetType = quint8(record.body[5]);
            }
            break;
        case Rec::Sst: {
            need(record, 8);
            const quint32 unique = le32(record.body, 4);
            ContinuedReader reader(record, 8);
            // A string takes at least three bytes: a crafted count cannot make us reserve much.
            qsizetype bytes = record.body.size();
            for (const auto &c : record.continues)
                bytes += c.size();
            globals.sharedStrings.reserve(size_t(std::min<qint64>(unique, bytes / 3 + 1)));
            for (quint32 i = 0; i < unique && !reader.atEnd(); ++i)
                globals.sharedStrings.push_back(reader.unicodeString());
            break;
        }
        default:
            break;
        }
    }
}

// Cell records need not come in row order, so the whole sheet is read; the
// builder drops what lies below the kept rows.
void readSheet(QByteArrayView stream, const Globals &globals, SheetBuilder &sheet)
{
    RecordStream records(stream, qsizetype(*globals.firstSheetPos));
    checkBof(records.next());
    int nesting = 1; // charts embedded in the sheet bring their own BOF/EOF
    // A formula whose text result follows in a STRING record.
    bool pendingString = false;
    int pendingRow = 0;
    int pendingColumn = 0;

    auto cell = [&](const Record &record, int &row, int &column) {
        need(record, 6);
        row = le16(record.body, 0) + 1;
        column = le16(record.body, 2) + 1;
        if (column > kMaxColumns)
            refuseDamaged(QStringLiteral("Spalte außerhalb des Tabellenblatts"));
    };
    auto number = [&](int row, int column, quint16 xf, double value) {
        sheet.set(row, column, globals.formatted(xf, value));
    };

    for (;;) {
        const Record record = records.next();
        if (pendingString && record.type != Rec::String && record.type != Rec::ShrFmla
            && record.type != Rec::Array && record.type != Rec::Table)
            refuseFormulaWithoutResult(pendingRow, pendingColumn);
        if (record.type == Rec::Bof) {
            ++nesting;
            continue;
        }
        if (record.type == Rec::Eof) {
            if (--nesting == 0)
                return;
            continue;
        }
        if (nesting > 1)
            continue;

        int row = 0;
        int column = 0;
        switch (record.type) {
        case Rec::Number:
            need(record, 14);
            cell(record, row, column);
            number(row, column, le16(record.body, 4), f64(record.body, 6));
            break;
        case Rec::Rk:
            need(record, 10);
            cell(record, row, column);
            number(row, column, le16(record.body, 4), rkValue(le32(record.body, 6)));
            break;
        case Rec::MulRk: {
            need(record, 6);
            cell(record, row, column);
            const qsizetype count = (record.body.size() - 6) / 6;
            for (qsizetype i = 0; i < count; ++i) {
                const qsizetype at = 4 + i * 6;
                number(row, column + int(i), le16(record.body, at), rkValue(le32(record.body, at + 2)));
            }
            break;
        }
        case Rec::LabelSst: {
            need(record, 10);
            cell(record, row, column);
            const quint32 index = le32(record.body, 6);
            if (index >= globals.sharedStrings.size())
                refuseDamaged(QStringLiteral("Zelle %1 verweist auf einen fehlenden Text").arg(cellReference(row, column)));
            sheet.set(row, column, globals.sharedStrings[index]);
            break;
        }
        case Rec::Label:
        case Rec::RString: {
            cell(record, row, column);
            ContinuedReader reader(record, 6);
            sheet.set(row, column, reader.unicodeString());
            break;
        }
        case Rec::BoolErr:
            need(record, 8);
            cell(record, row, column);
            sheet.set(row, column, record.body[7] ? errorText(quint8(record.body[6])) : booleanText(record.body[6] != 0));
            break;
        case Rec::Formula:
        case Rec::FormulaBiff3:
        case Rec::FormulaBiff4: {
            need(record, 16);
            cell(record, row, column);
            if (!sheet.keeps(row))
                break; // a missing result there matters to no one
            const QByteArrayView result = record.body.sliced(6, 8);
            if (quint8(result[6]) == 0xFF && quint8(result[7]) == 0xFF) {
                switch (quint8(result[0])) {
                case 0: // text, in the STRING record that follows
                    pendingString = true;
                    pendingRow = row;
                    pendingColumn = column;
                    break;
                case 1:
                    sheet.set(row, column, booleanText(result[2] != 0));
                    break;
                case 2:
                    sheet.set(row, column, errorText(quint8(result[2])));
                    break;
                case 3: // the empty text
                    break;
                default:
                    refuseFormulaWithoutResult(row, column);
                }
            } else {
                number(row, column, le16(record.body, 4), f64(record.body, 6));
            }
            break;
        }
        case Rec::String:
            if (pendingString) {
                ContinuedReader reader(record);
                sheet.set(pendingRow, pendingColumn, reader.unicodeString());
                pendingString = false;
            }
            break;
        case 0x0002: // INTEGER, NUMBER, LABEL, BOOLERR and STRING of Excel 2.x:
        case 0x0003: // their layout differs, and a cell skipped would end the
        case 0x0004: // caller's data early (its FORMULA shares 0x0006, read above)
        case 0x0005:
        case 0x0007:
            refuseDamaged(QStringLiteral("Zellwert im Datensatz 0x%1 eines älteren Formats")
                              .arg(record.type, 4, 16, QLatin1Char('0')));
        default:
            break; // BLANK, MULBLANK, formatting, objects
        }
    }
}

} // namespace

Worksheet readXls(const QByteArray &data, int lastRow)
{
    // Excel 2.x-4.x files are a bare record stream, later ones an OLE2 container.
    QByteArray stream = data.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") ? workbookStream(data) : data;
    decryptWithDefaultPassword(stream);
    const Globals globals = readGlobals(stream);
    if (!globals.firstSheetPos)
        refuse(QStringLiteral("Die Arbeitsmappe enthält kein Tabellenblatt."));
    if (globals.firstSheetType != 0)
        refuse(QStringLiteral("Das erste Blatt der Arbeitsmappe ist kein Tabellenblatt."));
    SheetBuilder sheet(lastRow);
    readSheet(stream, globals, sheet);
    return sheet.take();
}

} // namespace workbook
