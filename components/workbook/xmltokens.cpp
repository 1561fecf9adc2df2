// The tokens of the XML scanner: text, comments, CDATA, processing
// instructions, the document type, start and end tags. A token that runs past
// the window is an underrun: it is scanned again once the window holds more
// of the part.
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

qsizetype afterSpaces(QByteArrayView data, qsizetype p)
{
    while (p < data.size() && isSpace(data[p]))
        ++p;
    return p;
}

} // namespace

XmlScanner::Step XmlScanner::truncated(const char *what) const
{
    if (!m_sourceEnded)
        return Step::Underrun;
    damaged(what);
}

QByteArrayView XmlScanner::openElement() const
{
    const size_t begin = m_stackEnds.size() > 1 ? m_stackEnds[m_stackEnds.size() - 2] : 0;
    return QByteArrayView(m_stackNames.data() + begin, qsizetype(m_stackEnds.back() - begin));
}

void XmlScanner::closeElement()
{
    m_stackEnds.pop_back();
    m_stackNames.resize(m_stackEnds.empty() ? 0 : m_stackEnds.back());
    m_token = EndElement;
}

XmlScanner::Token XmlScanner::next()
{
    if (m_pendingEnd) {
        m_pendingEnd = false;
        closeElement();
        return m_token;
    }
    for (;;) {
        const qsizetype start = m_pos;
        if (scan() == Step::Token)
            return m_token;
        m_pos = start;
        refill();
    }
}

XmlScanner::Step XmlScanner::scan()
{
    for (;;) {
        Step step;
        if (m_pos >= m_data.size()) {
            if (!m_sourceEnded)
                return Step::Underrun;
            if (!m_stackEnds.empty() || !m_seenRoot)
                damaged("unerwartetes Ende");
            m_token = EndDocument;
            return Step::Token;
        }
        if (m_data[m_pos] != '<')
            step = scanText();
        else if (m_pos + 1 >= m_data.size())
            step = truncated("Marke");
        else if (m_data[m_pos + 1] != '!' && m_data[m_pos + 1] != '?')
            step = parseTag();
        else
            step = scanMarkup();
        if (step != Step::Continue)
            return step;
    }
}

XmlScanner::Step XmlScanner::scanText()
{
    const void *lt = std::memchr(m_data.data() + m_pos, '<', size_t(m_data.size() - m_pos));
    if (!lt && !m_sourceEnded)
        return Step::Underrun; // the text may go on
    const qsizetype end = lt ? static_cast<const char *>(lt) - m_data.data() : m_data.size();
    m_text = m_data.sliced(m_pos, end - m_pos);
    m_pos = end;
    if (m_stackEnds.empty()) {
        for (char c : m_text)
            if (!isSpace(c))
                damaged("Text außerhalb des Wurzelelements");
        return Step::Continue;
    }
    m_textIsCdata = false;
    m_qname = {}; // text has no name, and the last tag's may have left the window
    m_token = Characters;
    return Step::Token;
}

XmlScanner::Step XmlScanner::scanMarkup()
{
    // Too short to tell which markup it is: wait for more.
    if (m_data.size() - m_pos < 9 && !m_sourceEnded)
        return Step::Underrun;
    const QByteArrayView markup = m_data.sliced(m_pos);
    if (markup.startsWith("<!--"))
        return passBeyond("-->", m_pos + 4, "Kommentar ohne Ende");
    if (markup.startsWith("<![CDATA[")) {
        const qsizetype end = m_data.indexOf("]]>", m_pos + 9);
        if (m_stackEnds.empty())
            damaged("CDATA");
        if (end < 0)
            return truncated("CDATA");
        m_text = m_data.sliced(m_pos + 9, end - m_pos - 9);
        m_textIsCdata = true;
        m_qname = {};
        m_pos = end + 3;
        m_token = Characters;
        return Step::Token;
    }
    if (markup.startsWith("<?"))
        return passBeyond("?>", m_pos + 2, "Verarbeitungsanweisung ohne Ende");
    // "<!": a document type declaration; an internal subset would declare
    // entities, which no workbook part needs.
    const qsizetype end = m_data.indexOf('>', m_pos);
    if (end < 0)
        return truncated("Dokumenttyp");
    if (m_data.sliced(m_pos, end - m_pos).contains('['))
        damaged("Dokumenttyp");
    m_pos = end + 1;
    return Step::Continue;
}

XmlScanner::Step XmlScanner::passBeyond(QByteArrayView close, qsizetype from, const char *what)
{
    const qsizetype end = m_data.indexOf(close, from);
    if (end < 0)
        return truncated(what);
    m_pos = end + close.size();
    return Step::Continue;
}

XmlScanner::Step XmlScanner::parseTag()
{
    qsizetype p = m_pos + 1;
    const bool closing = p < m_data.size() && m_data[p] == '/';
    if (closing)
        ++p;
    const qsizetype nameStart = p;
    while (p < m_data.size() && !isNameEnd(m_data[p]))
        ++p;
    if (p >= m_data.size())
        return truncated("Elementname");
    if (p == nameStart)
        damaged("Elementname");
    m_qname = m_data.sliced(nameStart, p - nameStart);
    return closing ? parseEndTag(p) : parseStartTag(p);
}

XmlScanner::Step XmlScanner::parseEndTag(qsizetype p)
{
    p = afterSpaces(m_data, p);
    if (p >= m_data.size())
        return truncated("Endmarke");
    if (m_data[p] != '>')
        damaged("Endmarke");
    if (m_stackEnds.empty() || openElement() != m_qname)
        damaged("Endmarke passt nicht");
    closeElement();
    m_pos = p + 1;
    return Step::Token;
}

XmlScanner::Step XmlScanner::parseStartTag(qsizetype p)
{
    if (m_stackEnds.empty() && m_seenRoot)
        damaged("zweites Wurzelelement");
    m_attributes.clear();
    for (;;) {
        p = afterSpaces(m_data, p);
        if (p >= m_data.size())
            return truncated("Marke ohne Ende");
        if (m_data[p] == '>') {
            ++p;
            m_pendingEnd = false;
            break;
        }
        if (m_data[p] == '/') {
            if (p + 1 >= m_data.size())
                return truncated("Marke");
            if (m_data[p + 1] != '>')
                damaged("Marke");
            p += 2;
            m_pendingEnd = true;
            break;
        }
        if (parseAttribute(p) == Step::Underrun)
            return Step::Underrun;
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
    return Step::Token;
}

XmlScanner::Step XmlScanner::parseAttribute(qsizetype &p)
{
    const qsizetype nameStart = p;
    while (p < m_data.size() && !isNameEnd(m_data[p]))
        ++p;
    const QByteArrayView name = m_data.sliced(nameStart, p - nameStart);
    p = afterSpaces(m_data, p);
    if (p >= m_data.size())
        return truncated("Attribut");
    if (name.isEmpty() || m_data[p] != '=')
        damaged("Attribut");
    p = afterSpaces(m_data, p + 1);
    if (p >= m_data.size())
        return truncated("Attributwert");
    if (m_data[p] != '"' && m_data[p] != '\'')
        damaged("Attributwert");
    const char quote = m_data[p++];
    const qsizetype valueEnd = m_data.indexOf(quote, p);
    if (valueEnd < 0)
        return truncated("Attributwert ohne Ende");
    m_attributes.push_back({name, m_data.sliced(p, valueEnd - p)});
    p = valueEnd + 1;
    return Step::Continue;
}

} // namespace workbook
