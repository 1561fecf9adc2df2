// Text files as German spreadsheet users save them: ';' (or ',') separated,
// Windows-1252 or UTF-8, CR LF or LF. Values stay text exactly as they stand.
#include "sheetreaders.h"

#include <QIODevice>
#include <QStringDecoder>

#include <array>
#include <optional>

namespace workbook {

namespace {

[[noreturn]] void refuseNotText()
{
    refuse(QStringLiteral("Die Datei ist keine Arbeitsmappe: weder Excel- noch OpenDocument-Format "
                          "und auch keine Textdatei (CSV)."));
}

// Windows-1252 is Latin-1 but for 0x80 to 0x9F. Decoded here, as Qt without
// ICU (the Windows build) knows no Windows-1252. Its five unassigned bytes
// become U+FFFD, which decode() refuses.
QString decodeWindows1252(QByteArrayView data)
{
    static constexpr std::array<char16_t, 32> high{
        u'€', u'\uFFFD', u'‚', u'ƒ', u'„', u'…', u'†', u'‡', u'ˆ', u'‰', u'Š', u'‹', u'Œ', u'\uFFFD', u'Ž', u'\uFFFD',
        u'\uFFFD', u'‘', u'’', u'“', u'”', u'•', u'–', u'—', u'˜', u'™', u'š', u'›', u'œ', u'\uFFFD', u'ž', u'Ÿ'};
    QString text = QString::fromLatin1(data);
    for (QChar &ch : text) {
        if (ch.unicode() >= 0x80 && ch.unicode() <= 0x9F)
            ch = QChar(high[ch.unicode() - 0x80]);
    }
    return text;
}

QString decode(QByteArrayView data)
{
    QString text;
    if (data.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(QByteArrayView(data).sliced(3));
        if (utf8.hasError())
            refuseNotText();
    } else if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                             QStringDecoder::Flag::Stateless);
        text = utf16(QByteArrayView(data).sliced(2));
        if (utf16.hasError())
            refuseNotText();
    } else {
        if (data.contains('\0'))
            refuseNotText();
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(data);
        if (utf8.hasError()) {
            // Not UTF-8: the spreadsheet's "CSV (Trennzeichen-getrennt)" writes Windows-1252.
            text = decodeWindows1252(data);
        }
    }
    // Binary junk decodes too; control characters (C1 included) and bytes
    // that Windows-1252 leaves unassigned show it is none of our text.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        if ((ch < 0x20 && ch != u'\t' && ch != u'\n' && ch != u'\r' && !(ch == 0x1A && i == text.size() - 1))
            || (ch >= 0x7F && ch <= 0x9F) || ch == 0xFFFD)
            refuseNotText();
    }
    if (text.endsWith(QChar(0x1A)))
        text.chop(1); // DOS end-of-file mark
    const QString head = text.left(64).trimmed().toLower();
    if (head.startsWith(u"<?xml") || head.startsWith(u"<html") || head.startsWith(u"<!doctype")
        || head.startsWith(u"<table"))
        refuse(QStringLiteral("Die Datei ist eine XML- oder HTML-Tabelle. Bitte als .xlsx, .xls, .ods oder "
                              "CSV speichern."));
    return text;
}

// The separator that splits the first records most evenly, preferring ';'
// (the German default) on a tie: "1;2,5" is two fields, not three. Nothing
// while the text read so far holds too few records to tell.
std::optional<QChar> detectDelimiter(QStringView text, bool atEnd)
{
    constexpr std::array<char16_t, 3> candidates{u';', u',', u'\t'};
    constexpr int kRecords = 10;
    std::array<std::vector<int>, 3> counts;
    std::array<int, 3> current{};
    bool quoted = false;
    int records = 0;
    for (qsizetype i = 0; i < text.size() && records < kRecords; ++i) {
        const QChar ch = text[i];
        if (ch == u'"') {
            quoted = !quoted;
        } else if (!quoted && (ch == u'\n' || ch == u'\r')) {
            if (ch == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            for (size_t c = 0; c < candidates.size(); ++c)
                counts[c].push_back(std::exchange(current[c], 0));
            ++records;
        } else if (!quoted) {
            for (size_t c = 0; c < candidates.size(); ++c)
                current[c] += ch == candidates[c];
        }
    }
    if (records < kRecords && !atEnd)
        return std::nullopt;
    if (records < kRecords)
        for (size_t c = 0; c < candidates.size(); ++c)
            if (current[c] > 0 || counts[c].empty())
                counts[c].push_back(current[c]);

    // Consistent: the same non-zero count in every record looked at.
    for (size_t c = 0; c < candidates.size(); ++c) {
        const auto &n = counts[c];
        if (!n.empty() && n.front() > 0 && std::all_of(n.begin(), n.end(), [&](int v) { return v == n.front(); }))
            return candidates[c];
    }
    // Otherwise the one the heading line uses most.
    size_t best = 0;
    for (size_t c = 1; c < candidates.size(); ++c)
        if (!counts[c].empty() && counts[c].front() > counts[best].front())
            best = c;
    return candidates[best];
}

// Excel writes and honours a first line "sep=;" naming the separator: it is
// no data, and is cut off. Without it, the separator detectDelimiter() finds.
std::optional<QChar> takeDelimiter(QString &text, bool atEnd)
{
    if (text.size() >= 5 && text.startsWith(u"sep=", Qt::CaseInsensitive)
        && (text.size() == 5 || text[5] == u'\r' || text[5] == u'\n')) {
        const QChar delimiter = text[4];
        qsizetype next = 5;
        if (next < text.size() && text[next] == u'\r')
            ++next;
        if (next < text.size() && text[next] == u'\n')
            ++next;
        text.remove(0, next);
        return delimiter;
    }
    return detectDelimiter(text, atEnd);
}

// Splits the text into the cells of a sheet, row by row.
class CsvParser
{
public:
    CsvParser(QStringView text, QChar delimiter, bool atEnd, SheetBuilder sheet)
        : m_text(text)
        , m_delimiter(delimiter)
        , m_atEnd(atEnd)
        , m_sheet(std::move(sheet))
    {
    }

    // The rows down to the builder's last row; nothing when they go on past
    // the end of the text read so far (which ends with a line break).
    std::optional<Worksheet> rows();

private:
    // From the opening quote at m_pos to the closing one, where m_pos then
    // stands: delimiters and line breaks inside belong to the value. False
    // when the text read so far ends inside the field.
    bool quotedField();
    // Ends the row at the line break at m_pos; true when no further row is kept.
    bool endRow();
    // Moves m_pos onto the LF of a CR LF.
    void passCrLf()
    {
        if (m_text[m_pos] == u'\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == u'\n')
            ++m_pos;
    }

    QStringView m_text;
    QChar m_delimiter;
    bool m_atEnd;
    SheetBuilder m_sheet;
    qsizetype m_pos = 0;
    int m_row = 1;
    int m_column = 1;
    int m_line = 1; // of the text: a quoted field may span lines
    QString m_field;
    bool m_atFieldStart = true;
};

std::optional<Worksheet> CsvParser::rows()
{
    for (; m_pos < m_text.size(); ++m_pos) {
        const QChar ch = m_text[m_pos];
        if (ch == u'"' && m_atFieldStart) {
            if (!quotedField())
                return std::nullopt;
        } else if (ch == m_delimiter) {
            m_sheet.set(m_row, m_column, std::exchange(m_field, QString()));
            ++m_column;
            m_atFieldStart = true;
        } else if (ch == u'\r' || ch == u'\n') {
            if (endRow())
                return m_sheet.take(); // lines come in order: nothing further is needed
        } else {
            m_field += ch;
            m_atFieldStart = false;
        }
        if (m_column > kMaxColumns)
            refuse(QStringLiteral("Zeile %1 hat mehr als %2 Spalten.").arg(m_line).arg(kMaxColumns));
        if (m_field.size() > kMaxCellChars)
            m_sheet.set(m_row, m_column, m_field); // refuses it, naming the cell
    }
    if (!m_atEnd)
        return std::nullopt;
    m_sheet.set(m_row, m_column, m_field);
    return m_sheet.take();
}

bool CsvParser::quotedField()
{
    const int quoteLine = m_line;
    m_atFieldStart = false;
    for (++m_pos;; ++m_pos) {
        if (m_pos >= m_text.size()) {
            if (!m_atEnd)
                return false;
            refuse(QStringLiteral("Das Anführungszeichen in Zeile %1 wird nicht geschlossen.").arg(quoteLine));
        }
        const QChar ch = m_text[m_pos];
        if (ch == u'"') {
            if (m_pos + 1 >= m_text.size() || m_text[m_pos + 1] != u'"')
                return true;
            m_field += u'"';
            ++m_pos;
        } else if (ch == u'\r' || ch == u'\n') {
            passCrLf();
            ++m_line;
            m_field += u'\n';
        } else {
            m_field += ch;
            if (m_field.size() > kMaxCellChars)
                m_sheet.set(m_row, m_column, m_field); // refuses it, naming the cell
        }
    }
}

bool CsvParser::endRow()
{
    passCrLf();
    m_sheet.set(m_row, m_column, std::exchange(m_field, QString()));
    ++m_row;
    ++m_line;
    m_column = 1;
    m_atFieldStart = true;
    if (m_row > kMaxRows && m_pos + 1 < m_text.size())
        refuse(QStringLiteral("Die Datei hat mehr als %1 Zeilen.").arg(kMaxRows));
    return !m_sheet.keeps(m_row);
}

// The rows of `text` down to the builder's last row; nothing when they go on
// past the end of the text read so far (which ends with a line break).
std::optional<Worksheet> parse(QString text, bool atEnd, SheetBuilder sheet)
{
    const std::optional<QChar> delimiter = takeDelimiter(text, atEnd);
    if (!delimiter)
        return std::nullopt;
    return CsvParser(text, *delimiter, atEnd, std::move(sheet)).rows();
}

// The length of the bytes up to and including the last line break, so that a
// cut there splits no character.
qsizetype wholeLines(QByteArrayView bytes)
{
    const bool littleEndian = bytes.startsWith("\xFF\xFE");
    if (littleEndian || bytes.startsWith("\xFE\xFF")) {
        for (qsizetype i = (bytes.size() & ~qsizetype(1)) - 2; i >= 2; i -= 2) {
            const char low = bytes[littleEndian ? i : i + 1];
            if (bytes[littleEndian ? i + 1 : i] == 0 && (low == '\n' || low == '\r'))
                return i + 2;
        }
        return 0;
    }
    for (qsizetype i = bytes.size() - 1; i >= 0; --i)
        if (bytes[i] == '\n' || bytes[i] == '\r')
            return i + 1;
    return 0;
}

} // namespace

Worksheet readCsv(QIODevice &text, int lastRow)
{
    // The file is read in growing pieces until the needed rows are complete; a
    // piece is parsed from the start again, so the separator and the encoding
    // are judged as if the read part were the whole file.
    QByteArray bytes;
    qsizetype piece = 1024 * 1024;
    for (;;) {
        const qsizetype filled = bytes.size();
        bytes.resize(filled + piece);
        const qint64 got = text.read(bytes.data() + filled, piece);
        if (got < 0)
            throw ReadError{ErrorNumber::PermissionDenied,
                            QStringLiteral("Die Datei ist nicht lesbar (%1).").arg(text.errorString())};
        bytes.resize(filled + qsizetype(got));
        const bool atEnd = got == 0 || text.atEnd();
        const qsizetype complete = wholeLines(bytes);
        // A line holding more text than all kept rows may (at up to four bytes
        // a character, besides separators) is refused before it is decoded.
        if (bytes.size() - complete > 4 * kMaxSheetChars + 3 * kMaxColumns)
            refuseTooMuchText();
        const qsizetype usable = atEnd ? bytes.size() : complete;
        if (usable > 0) {
            if (std::optional<Worksheet> sheet = parse(decode(QByteArrayView(bytes).first(usable)), atEnd,
                                                       SheetBuilder(lastRow)))
                return std::move(*sheet);
        }
        if (atEnd) // only an empty text ends here
            return Worksheet();
        if (bytes.size() >= kMaxReadSize)
            refuse(QStringLiteral("Die Datei ist zu groß."));
        piece = bytes.size();
    }
}

} // namespace workbook
