#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace workbook {

// Fills `buffer` with up to `size` further bytes of a part; 0 at its end.
using ByteSource = std::function<qsizetype(char *buffer, qsizetype size)>;

// A small pull parser for the XML parts of xlsx and ods packages. It reads a
// 10,000-row sheet several times faster than QXmlStreamReader. No DTDs, no
// custom entities; malformed XML refuses the file as damaged.
//
// A scanner over a ByteSource holds only a window of the part, so a sheet can
// be read as far as needed without inflating all of it. The views it returns
// (names, raw attributes) are valid until the next call that moves it on.
class XmlScanner
{
public:
    enum Token { StartElement, EndElement, Characters, EndDocument };

    XmlScanner(QByteArrayView data, QString partName);
    XmlScanner(ByteSource source, QString partName);

    Token next();
    Token token() const { return m_token; }
    // The element's name without its namespace prefix.
    QByteArrayView name() const;
    QByteArrayView qualifiedName() const { return m_qname; }

    // Attributes of the current start element, by qualified name ("r", "office:value").
    bool hasAttribute(QByteArrayView qname) const;
    QString attribute(QByteArrayView qname) const;
    // For numbers and codes: the undecoded value.
    QByteArrayView rawAttribute(QByteArrayView qname) const;
    int intAttribute(QByteArrayView qname, int fallback) const;
    // The value of the first attribute with a prefix and this local name (r:id).
    QString prefixedAttribute(QByteArrayView localName) const;

    // Characters token: its decoded text.
    QString text() const;
    // From a start element: the text of everything inside it, cut after one
    // character more than a cell may hold (enough to tell that it is too
    // long); ends on its end tag.
    QString readElementText();
    // The same, sparing the decoding: true with `raw` undecoded when the text
    // is one plain run of characters, else false with the (cut) text in `decoded`.
    bool readElementText(std::string &raw, QString &decoded);
    // From a start element: ends on its end tag.
    void skipElement();
    // Inside an element entered at depth `level`: moves to the next start
    // element within it; false once that element (or the document) has ended.
    bool nextStartElementWithin(int level);
    int depth() const { return int(m_stackEnds.size()); }

    // The namespace prefix the document binds to `uri` on its root element,
    // with a ':' appended ("table:"), or empty when unbound.
    QByteArray prefixFor(QByteArrayView uri) const;

private:
    struct Attribute
    {
        QByteArrayView qname;
        QByteArrayView value;
    };

    struct Namespace
    {
        QByteArray prefix;
        QByteArray uri;
    };

    // What scanning a construct came to: a token; Continue, when it made
    // none and scanning goes on (a comment, blanks around the root, an
    // attribute of a tag); or Underrun, when the window ends inside it while
    // the source has more. The construct is then scanned again from its start
    // once refill() has added to the window.
    enum class Step { Token, Continue, Underrun };

    [[noreturn]] void damaged(const char *what) const;
    // At the end of the bytes at hand: an underrun when the source has more,
    // else the part is damaged.
    Step truncated(const char *what) const;
    void refill();
    Step scan();
    Step scanText();
    // Comments, CDATA sections, processing instructions, the document type.
    Step scanMarkup();
    // Passes over markup up to its `close`, looked for from `from` on.
    Step passBeyond(QByteArrayView close, qsizetype from, const char *what);
    Step parseTag();
    // The rest of a tag from `p`, just after its name.
    Step parseEndTag(qsizetype p);
    Step parseStartTag(qsizetype p);
    // One attribute from `p` on; moves `p` past it.
    Step parseAttribute(qsizetype &p);
    QString decode(QByteArrayView raw, bool attribute) const;
    QByteArrayView openElement() const;
    void closeElement();

    ByteSource m_source;
    bool m_sourceEnded = true;
    QByteArray m_buffer;   // the window a source has filled
    qsizetype m_base = 0;  // offset of the window in the part
    QByteArrayView m_data; // the whole part, or the window
    QString m_part;
    qsizetype m_pos = 0;
    Token m_token = EndDocument;
    QByteArrayView m_qname;
    QByteArrayView m_text;
    bool m_textIsCdata = false;
    bool m_pendingEnd = false;
    bool m_seenRoot = false;
    std::vector<Attribute> m_attributes;
    std::vector<Namespace> m_rootNamespaces;
    // Names of the open elements, copied: the window moves under them.
    std::string m_stackNames;
    std::vector<size_t> m_stackEnds;
};

} // namespace workbook
