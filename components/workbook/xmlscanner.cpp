// The XML scanner's window over a part (its UTF-16 and byte-order-mark
// forms included), and what callers read of its tokens: names, attributes,
// decoded text, whole elements. The tokens themselves: xmltokens.cpp.
#include "xmlscanner.h"

#include "sheetreaders.h"

#include <QStringDecoder>

#include <cstring>
#include <memory>

namespace workbook {

namespace {

QByteArrayView localPart(QByteArrayView qname)
{
    const qsizetype colon = qname.lastIndexOf(':');
    return colon < 0 ? qname : qname.sliced(colon + 1);
}

void appendUtf8(QString &out, QByteArrayView bytes)
{
    if (!bytes.isEmpty())
        out += QString::fromUtf8(bytes);
}

// What a source adds to the window at a time.
constexpr qsizetype kChunk = 256 * 1024;
// No single token of a workbook part comes near this (a cell holds at most
// 32,767 characters); a longer one would only grow the window without end.
constexpr qsizetype kMaxWindow = 64 * 1024 * 1024;

bool startsUtf16(QByteArrayView bytes)
{
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

QStringDecoder utf16Decoder(QByteArrayView bom)
{
    return QStringDecoder(bom.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
}

// A part written in UTF-16 (it starts with its byte-order mark), as UTF-8.
// `head` holds what was read of it already.
ByteSource utf8FromUtf16(ByteSource source, QByteArray head)
{
    auto decoder = std::make_shared<QStringDecoder>(utf16Decoder(head));
    auto ready = std::make_shared<QByteArray>(QString(decoder->decode(QByteArrayView(head).sliced(2))).toUtf8());
    return [source = std::move(source), decoder, ready](char *buffer, qsizetype size) {
        QByteArray raw(size, Qt::Uninitialized);
        while (ready->isEmpty()) {
            const qsizetype got = source(raw.data(), size);
            if (got == 0)
                return qsizetype(0);
            *ready += QString(decoder->decode(QByteArrayView(raw).first(got))).toUtf8();
        }
        const qsizetype n = std::min(size, ready->size());
        std::memcpy(buffer, ready->constData(), size_t(n));
        ready->remove(0, n);
        return n;
    };
}

} // namespace

XmlScanner::XmlScanner(QByteArrayView data, QString partName)
    : m_data(data)
    , m_part(std::move(partName))
{
    if (startsUtf16(m_data)) {
        m_buffer = QString(utf16Decoder(m_data).decode(m_data.sliced(2))).toUtf8();
        m_data = m_buffer;
    } else if (m_data.startsWith("\xEF\xBB\xBF")) {
        m_pos = 3;
    }
}

XmlScanner::XmlScanner(ByteSource source, QString partName)
    : m_source(std::move(source))
    , m_sourceEnded(false)
    , m_part(std::move(partName))
{
    while (m_buffer.size() < 3 && !m_sourceEnded)
        refill();
    if (startsUtf16(m_data)) {
        m_source = utf8FromUtf16(std::move(m_source), std::exchange(m_buffer, QByteArray()));
        m_data = {};
        m_sourceEnded = false;
    } else if (m_data.startsWith("\xEF\xBB\xBF")) {
        m_pos = 3;
    }
}

void XmlScanner::damaged(const char *what) const
{
    refuseDamaged(
        QStringLiteral("Teil „%1“: %2 bei Byte %3").arg(m_part, QString::fromUtf8(what)).arg(m_base + m_pos));
}

void XmlScanner::refill()
{
    // What lies before the current token is done with.
    m_buffer.remove(0, m_pos);
    m_base += m_pos;
    m_pos = 0;
    if (m_buffer.size() >= kMaxWindow)
        damaged("Element zu groß");
    const qsizetype filled = m_buffer.size();
    const qsizetype wanted = std::max(kChunk, filled); // doubles while one token outgrows the window
    m_buffer.resize(filled + wanted);
    const qsizetype got = m_source(m_buffer.data() + filled, wanted);
    m_buffer.resize(filled + got);
    m_sourceEnded = got == 0;
    m_data = m_buffer;
}

QByteArrayView XmlScanner::name() const
{
    return localPart(m_qname);
}

QString XmlScanner::decode(QByteArrayView raw, bool attribute) const
{
    // Fast path: nothing to replace.
    bool plain = true;
    for (char c : raw) {
        if (c == '&' || c == '\r' || (attribute && (c == '\n' || c == '\t'))) {
            plain = false;
            break;
        }
    }
    if (plain)
        return QString::fromUtf8(raw);

    QString out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\r' || (attribute && (c == '\n' || c == '\t'))) {
            appendUtf8(out, raw.sliced(start, i - start));
            if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            out += attribute ? u' ' : u'\n';
            start = i + 1;
        } else if (c == '&') {
            appendUtf8(out, raw.sliced(start, i - start));
            const qsizetype semi = raw.indexOf(';', i);
            if (semi < 0 || semi - i > 12)
                damaged("Entität");
            const QByteArrayView entity = raw.sliced(i + 1, semi - i - 1);
            if (entity == "lt")
                out += u'<';
            else if (entity == "gt")
                out += u'>';
            else if (entity == "amp")
                out += u'&';
            else if (entity == "quot")
                out += u'"';
            else if (entity == "apos")
                out += u'\'';
            else if (entity.startsWith('#')) {
                bool ok = false;
                const uint code = entity.startsWith("#x") || entity.startsWith("#X")
                                      ? entity.sliced(2).toByteArray().toUInt(&ok, 16)
                                      : entity.sliced(1).toByteArray().toUInt(&ok, 10);
                if (!ok || code == 0 || code > 0x10FFFF)
                    damaged("Zeichenbezug");
                // A reference to half a character: the broken character shows as such.
                const char32_t ch = code >= 0xD800 && code <= 0xDFFF ? char32_t(QChar::ReplacementCharacter) : code;
                out += QString::fromUcs4(&ch, 1);
            } else {
                damaged("unbekannte Entität");
            }
            i = semi;
            start = i + 1;
        }
    }
    appendUtf8(out, raw.sliced(start));
    return out;
}

bool XmlScanner::hasAttribute(QByteArrayView qname) const
{
    for (const Attribute &a : m_attributes)
        if (a.qname == qname)
            return true;
    return false;
}

QByteArrayView XmlScanner::rawAttribute(QByteArrayView qname) const
{
    for (const Attribute &a : m_attributes)
        if (a.qname == qname)
            return a.value;
    return {};
}

QString XmlScanner::attribute(QByteArrayView qname) const
{
    for (const Attribute &a : m_attributes)
        if (a.qname == qname)
            return decode(a.value, true);
    return {};
}

int XmlScanner::intAttribute(QByteArrayView qname, int fallback) const
{
    bool ok = false;
    const int value = rawAttribute(qname).toByteArray().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

QString XmlScanner::prefixedAttribute(QByteArrayView localName) const
{
    for (const Attribute &a : m_attributes)
        if (a.qname.contains(':') && !a.qname.startsWith("xmlns") && localPart(a.qname) == localName)
            return decode(a.value, true);
    return {};
}

QString XmlScanner::text() const
{
    return m_textIsCdata ? QString::fromUtf8(m_text) : decode(m_text, false);
}

bool XmlScanner::readElementText(std::string &raw, QString &decoded)
{
    // Most values are one run of characters without entities: no decoding needed.
    const int level = depth();
    decoded.clear();
    raw.clear();
    next();
    if (m_token == EndElement && depth() < level)
        return true;
    if (m_token == Characters && !m_textIsCdata && !m_text.contains('&') && !m_text.contains('\r')) {
        raw.assign(m_text.data(), size_t(m_text.size())); // the window may move on the next token
        next();
        if (m_token == EndElement && depth() < level)
            return true;
        decoded = QString::fromStdString(std::exchange(raw, std::string()));
    }
    for (; m_token != EndDocument; next()) {
        if (m_token == Characters)
            appendCapped(decoded, text());
        else if (m_token == EndElement && depth() < level)
            break;
    }
    return false;
}

QString XmlScanner::readElementText()
{
    QString result;
    const int level = depth();
    while (next() != EndDocument) {
        if (m_token == Characters)
            appendCapped(result, text());
        else if (m_token == EndElement && depth() < level)
            return result;
    }
    return result;
}

void XmlScanner::skipElement()
{
    const int level = depth();
    while (next() != EndDocument) {
        if (m_token == EndElement && depth() < level)
            return;
    }
}

QByteArray XmlScanner::prefixFor(QByteArrayView uri) const
{
    for (const Namespace &ns : m_rootNamespaces)
        if (ns.uri == uri)
            return ns.prefix + ':';
    return {};
}

bool XmlScanner::nextStartElementWithin(int level)
{
    while (next() != EndDocument) {
        if (m_token == EndElement && depth() < level)
            return false;
        if (m_token == StartElement)
            return true;
    }
    return false;
}

} // namespace workbook
