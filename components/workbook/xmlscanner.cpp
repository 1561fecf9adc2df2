#include "xmlscanner.h"

#include "sheetreaders.h"

#include <cstring>

namespace workbook {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameEnd(char c)
{
    return isSpace(c) || c == '>' || c == '/' || c == '=';
}

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

} // namespace

XmlScanner::XmlScanner(QByteArrayView data, QString partName)
    : m_data(data)
    , m_part(std::move(partName))
{
    if (m_data.startsWith("\xEF\xBB\xBF"))
        m_pos = 3;
}

void XmlScanner::damaged(const char *what) const
{
    refuseDamaged(QStringLiteral("Teil „%1“: %2 bei Byte %3").arg(m_part, QString::fromLatin1(what)).arg(m_pos));
}

QByteArrayView XmlScanner::name() const
{
    return localPart(m_qname);
}

XmlScanner::Token XmlScanner::next()
{
    if (m_pendingEnd) {
        m_pendingEnd = false;
        m_stack.pop_back();
        return m_token = EndElement;
    }
    const qsizetype size = m_data.size();
    const char *data = m_data.data();
    while (m_pos < size) {
        if (data[m_pos] != '<') {
            const void *lt = std::memchr(data + m_pos, '<', size_t(size - m_pos));
            const qsizetype end = lt ? static_cast<const char *>(lt) - data : size;
            m_text = m_data.sliced(m_pos, end - m_pos);
            m_pos = end;
            if (m_stack.empty()) {
                for (char c : m_text)
                    if (!isSpace(c))
                        damaged("Text außerhalb des Wurzelelements");
                continue;
            }
            m_textIsCdata = false;
            return m_token = Characters;
        }
        const char kind = m_pos + 1 < size ? data[m_pos + 1] : 0;
        if (kind != '!' && kind != '?') {
            parseTag();
            return m_token;
        }
        if (m_data.sliced(m_pos).startsWith("<!--")) {
            const qsizetype end = m_data.indexOf("-->", m_pos + 4);
            if (end < 0)
                damaged("Kommentar ohne Ende");
            m_pos = end + 3;
            continue;
        }
        if (m_data.sliced(m_pos).startsWith("<![CDATA[")) {
            const qsizetype end = m_data.indexOf("]]>", m_pos + 9);
            if (end < 0 || m_stack.empty())
                damaged("CDATA");
            m_text = m_data.sliced(m_pos + 9, end - m_pos - 9);
            m_textIsCdata = true;
            m_pos = end + 3;
            return m_token = Characters;
        }
        if (m_data.sliced(m_pos).startsWith("<?")) {
            const qsizetype end = m_data.indexOf("?>", m_pos + 2);
            if (end < 0)
                damaged("Verarbeitungsanweisung ohne Ende");
            m_pos = end + 2;
            continue;
        }
        if (m_data.sliced(m_pos).startsWith("<!")) {
            // A document type declaration; an internal subset would declare
            // entities, which no workbook part needs.
            const qsizetype end = m_data.indexOf('>', m_pos);
            if (end < 0 || m_data.sliced(m_pos, end - m_pos).contains('['))
                damaged("Dokumenttyp");
            m_pos = end + 1;
            continue;
        }
        damaged("Marke");
    }
    if (!m_stack.empty() || !m_seenRoot)
        damaged("unerwartetes Ende");
    return m_token = EndDocument;
}

void XmlScanner::parseTag()
{
    const qsizetype size = m_data.size();
    const char *data = m_data.data();
    qsizetype p = m_pos + 1;
    const bool closing = p < size && data[p] == '/';
    if (closing)
        ++p;
    const qsizetype nameStart = p;
    while (p < size && !isNameEnd(data[p]))
        ++p;
    if (p == nameStart || p >= size)
        damaged("Elementname");
    m_qname = m_data.sliced(nameStart, p - nameStart);

    if (closing) {
        while (p < size && isSpace(data[p]))
            ++p;
        if (p >= size || data[p] != '>')
            damaged("Endmarke");
        if (m_stack.empty() || m_stack.back() != m_qname)
            damaged("Endmarke passt nicht");
        m_stack.pop_back();
        m_pos = p + 1;
        m_token = EndElement;
        return;
    }

    if (m_stack.empty() && m_seenRoot)
        damaged("zweites Wurzelelement");
    m_attributes.clear();
    for (;;) {
        while (p < size && isSpace(data[p]))
            ++p;
        if (p >= size)
            damaged("Marke ohne Ende");
        if (data[p] == '>') {
            ++p;
            m_pendingEnd = false;
            break;
        }
        if (data[p] == '/') {
            if (p + 1 >= size || data[p + 1] != '>')
                damaged("Marke");
            p += 2;
            m_pendingEnd = true;
            break;
        }
        const qsizetype attrStart = p;
        while (p < size && !isNameEnd(data[p]))
            ++p;
        const QByteArrayView attrName = m_data.sliced(attrStart, p - attrStart);
        while (p < size && isSpace(data[p]))
            ++p;
        if (attrName.isEmpty() || p >= size || data[p] != '=')
            damaged("Attribut");
        ++p;
        while (p < size && isSpace(data[p]))
            ++p;
        if (p >= size || (data[p] != '"' && data[p] != '\''))
            damaged("Attributwert");
        const char quote = data[p++];
        const void *close = std::memchr(data + p, quote, size_t(size - p));
        if (!close)
            damaged("Attributwert ohne Ende");
        const qsizetype valueEnd = static_cast<const char *>(close) - data;
        m_attributes.push_back({attrName, m_data.sliced(p, valueEnd - p)});
        p = valueEnd + 1;
    }
    if (!m_seenRoot) {
        m_seenRoot = true;
        for (const Attribute &a : m_attributes)
            if (a.qname.startsWith("xmlns:"))
                m_rootNamespaces.push_back({a.qname.sliced(6), a.value});
    }
    m_stack.push_back(m_qname);
    m_pos = p;
    m_token = StartElement;
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
                const char32_t ch = code;
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

bool XmlScanner::readElementText(QByteArrayView &raw, QString &decoded)
{
    // Most values are one run of characters without entities: no copy needed.
    const int level = depth();
    decoded.clear();
    next();
    if (m_token == EndElement && depth() < level) {
        raw = {};
        return true;
    }
    if (m_token == Characters && !m_textIsCdata && !m_text.contains('&') && !m_text.contains('\r')) {
        const QByteArrayView first = m_text;
        next();
        if (m_token == EndElement && depth() < level) {
            raw = first;
            return true;
        }
        decoded = QString::fromUtf8(first);
    }
    for (; m_token != EndDocument; next()) {
        if (m_token == Characters)
            decoded += text();
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
            result += text();
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
    for (const Attribute &ns : m_rootNamespaces)
        if (ns.value == uri)
            return ns.qname.toByteArray() + ':';
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
