// Cell values as text: numbers, booleans, dates and times, and the number
// formats that tell dates and elapsed times from plain numbers.
#include "sheetreaders.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <cmath>

namespace workbook {

QString booleanText(bool value)
{
    return value ? QStringLiteral("Wahr") : QStringLiteral("Falsch");
}

QString serialDateText(double serial, bool date1904)
{
    if (!std::isfinite(serial) || serial < 0 || serial > 2958466.0) // beyond 31.12.9999
        return numberText(serial);
    qint64 days = qint64(std::floor(serial));
    qint64 seconds = std::llround((serial - double(days)) * 86400.0);
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    const QString time = QTime(0, 0).addSecs(int(seconds)).toString(QStringLiteral("hh:mm:ss"));
    if (days == 0 && !date1904)
        return time; // a time of day without a date, as the server gives it
    QString date;
    if (date1904) {
        date = QDate(1904, 1, 1).addDays(days).toString(QStringLiteral("dd.MM.yyyy"));
    } else if (days == 60) {
        // The 1900 system counts a 29 February 1900 that never was.
        date = QStringLiteral("29.02.1900");
    } else {
        const QDate epoch = days < 60 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
        date = epoch.addDays(days).toString(QStringLiteral("dd.MM.yyyy"));
    }
    return seconds == 0 ? date : date + u' ' + time;
}

QString isoDateTimeText(const QString &iso)
{
    const QDateTime dateTime = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (dateTime.isValid()) {
        // Round to the second as the serial dates do.
        const QDateTime rounded = dateTime.addMSecs(dateTime.time().msec() >= 500 ? 1000 - dateTime.time().msec()
                                                                                    : -dateTime.time().msec());
        const QString date = rounded.date().toString(QStringLiteral("dd.MM.yyyy"));
        return rounded.time() == QTime(0, 0) ? date : date + rounded.time().toString(QStringLiteral(" hh:mm:ss"));
    }
    const QDate date = QDate::fromString(iso, Qt::ISODate);
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : iso;
}

namespace {

// An elapsed-time format: the bracketed unit counts on without wrapping
// ([h]:mm:ss shows 255:10:10), the smaller units that follow it wrap.
NumberFormat elapsedFormat(QChar largest, const QString &code)
{
    static const QString units = QStringLiteral("hms");
    QString shown(largest);
    for (qsizetype u = units.indexOf(largest) + 1; u < units.size(); ++u)
        if (code.contains(units[u], Qt::CaseInsensitive))
            shown += units[u];
    return {NumberFormat::Elapsed, shown};
}

NumberFormat formatOfCode(const QString &code)
{
    if (code.compare(u"General", Qt::CaseInsensitive) == 0 || code.compare(u"Standard", Qt::CaseInsensitive) == 0)
        return {};
    // A format shows a date when it has date/time letters outside quoted text,
    // [colour/locale] brackets and escaped characters.
    bool inQuotes = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code[i];
        if (inQuotes) {
            if (ch == u'"')
                inQuotes = false;
            continue;
        }
        switch (ch.unicode()) {
        case u'"':
            inQuotes = true;
            break;
        case u'\\':
        case u'_':
        case u'*':
            ++i; // escaped, spacing or fill character
            break;
        case u'[': {
            const qsizetype close = code.indexOf(u']', i);
            if (close < 0)
                return {};
            const QString inner = code.mid(i + 1, close - i - 1).toLower();
            if (!inner.isEmpty() && inner.count(inner[0]) == inner.size() && QStringView(u"hms").contains(inner[0]))
                return elapsedFormat(inner[0], code.mid(close + 1).section(u';', 0, 0));
            i = close;
            break;
        }
        case u';':
            return {}; // only the first section decides
        default: {
            const char16_t lower = ch.toLower().unicode();
            if (lower == u'd' || lower == u'm' || lower == u'y' || lower == u'h' || lower == u's')
                return {NumberFormat::DateTime, {}};
        }
        }
    }
    return {};
}

QString elapsedText(double days, const QString &units)
{
    if (!std::isfinite(days) || std::fabs(days) > 1e9)
        return numberText(days);
    qint64 rest = std::llround(std::fabs(days) * 86400.0);
    QString text = days < 0 && rest > 0 ? QStringLiteral("-") : QString();
    for (qsizetype i = 0; i < units.size(); ++i) {
        const qint64 size = units[i] == u'h' ? 3600 : units[i] == u'm' ? 60 : 1;
        const qint64 count = rest / size;
        rest %= size;
        text += i == 0 ? QString::number(count) : QStringLiteral(":%1").arg(count, 2, 10, QLatin1Char('0'));
    }
    return text;
}

} // namespace

NumberFormat numberFormat(int formatId, const QString &customCode)
{
    if (formatId == 46)
        return {NumberFormat::Elapsed, QStringLiteral("hms")};
    if ((formatId >= 14 && formatId <= 22) || formatId == 45 || formatId == 47)
        return {NumberFormat::DateTime, {}};
    if (!customCode.isEmpty())
        return formatOfCode(customCode);
    // The dates and times of East Asian language versions, which others show by the same ids.
    if ((formatId >= 27 && formatId <= 36) || (formatId >= 50 && formatId <= 58))
        return {NumberFormat::DateTime, {}};
    return {};
}

QString formattedNumber(double value, const NumberFormat &format, bool date1904)
{
    switch (format.kind) {
    case NumberFormat::DateTime:
        return serialDateText(value, date1904);
    case NumberFormat::Elapsed:
        return elapsedText(value, format.units);
    case NumberFormat::Plain:
        break;
    }
    return numberText(value);
}

} // namespace workbook
