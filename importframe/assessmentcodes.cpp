#include "assessmentcodes.h"

#include <initializer_list>

namespace {

struct CodeLine
{
    const char16_t *word; // nullptr where a table takes digits only
    const char16_t *digit;
    qint32 code;
};

qint32 lookUp(const QString &text, std::initializer_list<CodeLine> table, qint32 fallback,
              bool wordsAccepted = true)
{
    for (const CodeLine &line : table) {
        if (wordsAccepted && line.word && text == QStringView(line.word))
            return line.code;
        if (text == QStringView(line.digit))
            return line.code;
    }
    return fallback;
}

const std::initializer_list<CodeLine> browsingPressure = {
    {u"günstig", u"1", 11},
    {u"tragbar", u"2", 12},
    {u"zu_hoch", u"3", 13},
    {u"deutlich_zu_hoch", u"4", 14},
};

} // namespace

qint32 browsingPressureCode(const QString &text)
{
    return lookUp(text, browsingPressure, 12);
}

qint32 browsingPressureDigitCode(const QString &text)
{
    return lookUp(text, browsingPressure, 12, false);
}

qint32 cullRecommendationCode(const QString &text)
{
    return lookUp(text,
                  {
                      {u"deutlich_senken", u"1", 15},
                      {u"senken", u"2", 16},
                      {u"beibehalten", u"3", 17},
                      {u"erhöhen", u"4", 18},
                      {u"deutlich_erhöhen", u"5", 19},
                  },
                  16);
}

qint32 browsingPressureChangeCode(const QString &text)
{
    return lookUp(text,
                  {
                      {nullptr, u"0", 36},
                      {nullptr, u"1", 30},
                      {nullptr, u"2", 31},
                      {nullptr, u"3", 32},
                  },
                  31);
}
