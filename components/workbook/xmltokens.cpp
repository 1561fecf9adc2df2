// The tokens of the XML scanner: text, comments, CDATA, processing
// instructions, the document type, start and end tags. A token that runs past
// the window is scanned again once the window holds more of the part.
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

// Thrown when a token runs past the window; the token is scanned again once
// the window holds more of the part.
struct Underrun
{
};

} // namespace

void XmlScanner::truncated(const char *what) const
{
    if (!m_sourceEnded)
        throw Underrun{};
    damaged(what);
}

QByteArrayView XmlScanner::openElement() const
{
    const size_t begin = m_stackEnds.size() > 1 ? m_stackEnds[m_stackEnds.size() - 2] : 0;
    return QByteArrayView(m_stackNames.data() + begin, qsizetype(m_stackEnds.back() - begin));
}

XmlScanner::Token XmlScanner::next()
{
    if (m_pendingEnd) {
        m_pendingEnd = false;
        m_stackEnds.pop_back();
        m_stackNames.resize(m_stackEnds.empty() ? 0 : m_stackEnds.back());
        return m_token = EndElement;
    }
    for (;;) {
        const qsizetype start = m_pos;
        try {
            return scan();
        } catch (const Underrun &) {
            m_pos = start;
            refill();
        }
    }
}

XmlScanner::Token XmlScanner::scan()
{
    for (;;) {
        if (m_pos >= m_data.size()) {
            if (!m_sourceEnded)
                throw Underrun{};
            break;
        }
        const qsizetype size = m_data.size();
        const char *data = m_data.data();
        if (data[m_pos] != '<') {
            const void *lt = std::memchr(data + m_pos, '<', size_t(size - m_pos));
            if (!lt && !m_sourceEnded)
                throw Underrun{}; // the text may go on
            const qsizetype end = lt ? static_cast<const char *>(lt) - data : size;
            m_text = m_data.sliced(m_pos, end - m_pos);
            m_pos = end;
            if (m_stackEnds.empty()) {
                for (char c : m_text)
                    if (!isSpace(c))
                        damaged("Text außerhalb des Wurzelelements");
                continue;
            }
            m_textIsCdata = false;
            m_qname = {}; // text has no name, and the last tag's may have left the window
            return m_token = Characters;
        }
        if (m_pos + 1 >= size)
            truncated("Marke");
        const char kind = data[m_pos + 1];
        if (kind != '!' && kind != '?') {
            parseTag();
            return m_token;
        }
        // Too short to tell which markup it is: wait for more.
        if (size - m_pos < 9 && !m_sourceEnded)
            throw Underrun{};
        if (m_data.sliced(m_pos).startsWith("<!--")) {
            const qsizetype end = m_data.indexOf("-->", m_pos + 4);
            if (end < 0)
                truncated("Kommentar ohne Ende");
            m_pos = end + 3;
            continue;
        }
        if (m_data.sliced(m_pos).startsWith("<![CDATA[")) {
            const qsizetype end = m_data.indexOf("]]>", m_pos + 9);
            if (m_stackEnds.empty())
                damaged("CDATA");
            if (end < 0)
                truncated("CDATA");
            m_text = m_data.sliced(m_pos + 9, end - m_pos - 9);
            m_textIsCdata = true;
            m_qname = {};
            m_pos = end + 3;
            return m_token = Characters;
        }
        if (m_data.sliced(m_pos).startsWith("<?")) {
            const qsizetype end = m_data.indexOf("?>", m_pos + 2);
            if (end < 0)
                truncated("Verarbeitungsanweisung ohne Ende");
            m_pos = end + 2;
            continue;
        }
        if (m_data.sliced(m_pos).startsWith("<!")) {
            // A document type declaration; an internal subset would declare
            // entities, which no workbook part needs.
            const qsizetype end = m_data.indexOf('>', m_pos);
            if (end < 0)
                truncated("Dokumenttyp");
            if (m_data.sliced(m_pos, end - m_pos).contains('['))
                damaged("Dokumenttyp");
            m_pos = end + 1;
            continue;
        }
        damaged("Marke");
    }
    if (!m_stackEnds.empty() || !m_seenRoot)
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
    if (p >= size)
        truncated("Elementname");
    if (p == nameStart)
        damaged("Elementname");
    m_qname = m_data.sliced(nameStart, p - nameStart);

    if (closing) {
        while (p < size && isSpace(data[p]))
            ++p;
        if (p >= size)
            truncated("Endmarke");
        if (data[p] != '>')
            damaged("Endmarke");
        if (m_stackEnds.empty() || openElement() != m_qname)
            damaged("Endmarke passt nicht");
        m_stackEnds.pop_back();
        m_stackNames.resize(m_stackEnds.empty() ? 0 : m_stackEnds.back());
        m_pos = p + 1;
        m_token = EndElement;
        return;
    }

    if (m_stackEnds.empty() && m_seenRoot)
        damaged("zweites Wurzelelement");
    m_attributes.clear();
    for (;;) {
        while (p < size && isSpace(data[p]))
            ++p;
        if (p >= size)
            truncated("Marke ohne Ende");
        if (data[p] == '>') {
            ++p;
            m_pendingEnd = false;
            break;
        }
        if (data[p] == '/') {
            if (p + 1 >= size)
                truncated("Marke");
            if (data[p + 1] != '>')
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
        if (p >= size)
            truncated("Attribut");
        if (attrName.isEmpty() || data[p] != '=')
            damaged("Attribut");
        ++p;
        while (p < size && isSpace(data[p]))
            ++p;
        if (p >= size)
            truncated("Attributwert");
        if (data[p] != '"' && data[p] != '\'')
            damaged("Attributwert");
        const char quote = data[p++];
        const void *close = std::memchr(data + p, quote, size_t(size - p));
        if (!close)
            truncated("Attributwert ohne Ende");
        const qsizetype valueEnd = static_cast<const char *>(close) - data;
        m_attributes.push_back({attrName, m_data.sliced(p, valueEnd - p)});
        p = valueEnd + 1;
    }
    if (!m_seenRoot) {
        m_seenRoot = true;
        for (const Attribute &a : m_attributes)
            if (a.qname.startsWith("xmlns:"))
                m_rootNamespaces.push_back({a.qname.sliced(6).toByteArray(), a.value.toByteArray()});
    }
    m_stackNames.append(m_qname.data(), size_t(m_qname.size()));
    m_stackEnds.push_back(m_stackNames.size());
    m_pos = p;
    m_token = StartElement;
}

} // namespace workbook
