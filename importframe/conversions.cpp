#include "conversions.h"

#include "failure.h"

#include <QLocale>

#include <limits>

bool isWholeNumber(const QString &text)
{
    qsizetype start = (text.startsWith(u'+') || text.startsWith(u'-')) ? 1 : 0;
    if (start == text.size())
        return false;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    }
    return true;
}

qint32 toInt32(const QString &text, const QString &what)
{
    if (!isWholeNumber(text)) {
        throw Failure(ErrorNumber::TypeMismatch, ErrorSource::Tarvel,
                      QStringLiteral("Typen unverträglich: %1 enthält %2, das ist keine ganze Zahl.")
                          .arg(what, quotedValue(text)));
    }
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max()) {
        throw Failure(ErrorNumber::Overflow, ErrorSource::Tarvel,
                      QStringLiteral("Überlauf: %1 enthält %2, die Zahl ist zu groß.").arg(what, quotedValue(text)));
    }
    return static_cast<qint32>(value);
}

qint32 addInt32(qint32 a, qint32 b, const QString &what)
{
    const qint64 sum = qint64(a) + qint64(b);
    if (sum < std::numeric_limits<qint32>::min() || sum > std::numeric_limits<qint32>::max()) {
        throw Failure(ErrorNumber::Overflow, ErrorSource::Tarvel,
                      QStringLiteral("Überlauf: %1 ergibt %2, die Zahl ist zu groß.").arg(what).arg(sum));
    }
    return static_cast<qint32>(sum);
}

QString singleLine(const QString &text)
{
    QString line = text;
    for (QChar &ch : line) {
        switch (ch.unicode()) {
        case 0:
        case u'\n':
        case u'\v':
        case u'\f':
        case u'\r':
            ch = QChar(0x2400 + ch.unicode()); // the control pictures ␀ ␊ ␋ ␌ ␍
            break;
        case 0x0085:
        case 0x2028:
        case 0x2029:
            ch = QChar(0x2424); // ␤
            break;
        default:
            break;
        }
    }
    return line;
}

QString quotedValue(const QString &text)
{
    constexpr qsizetype Shown = 40;
    if (text.size() <= Shown)
        return QStringLiteral("„") + singleLine(text) + QStringLiteral("“");
    // Never cut a character outside the Basic Multilingual Plane in half.
    const qsizetype cut = text[Shown - 1].isHighSurrogate() ? Shown - 1 : Shown;
    return QStringLiteral("„") + singleLine(text.left(cut)) + QStringLiteral("…“ (%1 Zeichen)").arg(text.size());
}

QString dateTimeText(const QDateTime &moment)
{
    const QLocale locale;
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(QLatin1String("yyyy")))
        dateFormat.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(u's')) {
        const qsizetype minutes = timeFormat.indexOf(QLatin1String("mm"));
        if (minutes >= 0)
            timeFormat.insert(minutes + 2, QLatin1String(":ss"));
        else
            timeFormat = QStringLiteral("HH:mm:ss");
    }
    return locale.toString(moment.date(), dateFormat) + u' ' + locale.toString(moment.time(), timeFormat);
}
