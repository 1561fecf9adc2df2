#include "orbeinternal.h"

namespace orbe {

// "Column = 'text'" with blanks around its parts and a quote inside the text
// doubled. Scanned by hand: a pattern with repeated alternatives gives up on
// texts of some ten thousand characters.
bool parseEqualsCriterion(QStringView criterion, QString &column, QString &text)
{
    qsizetype i = 0;
    const qsizetype end = criterion.size();
    auto skipBlanks = [&] {
        while (i < end && criterion[i].isSpace())
            ++i;
    };
    auto isNameStart = [](QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_'; };
    auto isNamePart = [&](QChar c) { return isNameStart(c) || (c >= u'0' && c <= u'9'); };

    skipBlanks();
    const qsizetype nameStart = i;
    if (i == end || !isNameStart(criterion[i]))
        return false;
    while (i < end && isNamePart(criterion[i]))
        ++i;
    column = criterion.sliced(nameStart, i - nameStart).toString();
    skipBlanks();
    if (i == end || criterion[i] != u'=')
        return false;
    ++i;
    skipBlanks();
    if (i == end || criterion[i] != u'\'')
        return false;
    ++i;
    text.clear();
    for (;;) {
        const qsizetype quote = criterion.indexOf(u'\'', i);
        if (quote < 0)
            return false;
        text += criterion.sliced(i, quote - i);
        i = quote + 1;
        if (i < end && criterion[i] == u'\'') {
            text += u'\'';
            ++i;
            continue;
        }
        break;
    }
    skipBlanks();
    return i == end;
}

} // namespace orbe
