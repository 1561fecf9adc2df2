#include "orberecordset.h"

#include "numbertext.h"
#include "orbeinternal.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>

#include <cmath>
#include <limits>

QString valueText(const QVariant &value)
{
    // A PostgreSQL NULL arrives typed; its toString() would read "0" or "false".
    if (!value.isValid() || value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("Wahr") : QStringLiteral("Falsch");
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(value.toDouble());
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("dd.MM.yyyy"));
    case QMetaType::QDateTime: {
        const QDateTime moment = value.toDateTime();
        if (moment.time() == QTime(0, 0))
            return moment.date().toString(QStringLiteral("dd.MM.yyyy"));
        return moment.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    }
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("hh:mm:ss"));
    case QMetaType::QByteArray:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

namespace {

bool isIntegerType(int type)
{
    switch (type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

Failure typeMismatch(const QString &column, const QVariant &value, const QString &expected)
{
    return Failure(ErrorNumber::TypeMismatch, ErrorSource::Database,
                   QStringLiteral("Typen unverträglich: %1 ist für das Feld %2 kein %3.")
                       .arg(orbe::quoted(valueText(value)), orbe::quoted(column), expected));
}

} // namespace

namespace orbe {

QString quoted(const QString &name)
{
    return QStringLiteral("„") + name + QStringLiteral("“");
}

// The value as the column's type, so that it is stored (and read back) as that
// type on every database instead of as the text the caller happened to hold.
QVariant convertForColumn(const QVariant &value, QMetaType columnType, bool server,
                          const QString &column)
{
    const int type = columnType.id();
    if (!value.isValid() || value.isNull())
        return QVariant();
    if (isIntegerType(type)) {
        qlonglong number = 0;
        bool ok = false;
        switch (value.typeId()) {
        case QMetaType::Bool:
            number = value.toBool() ? 1 : 0;
            ok = true;
            break;
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            ok = std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.2e18;
            number = ok ? static_cast<qlonglong>(d) : 0;
            break;
        }
        case QMetaType::QString:
            number = value.toString().trimmed().toLongLong(&ok);
            break;
        default:
            number = value.toLongLong(&ok);
        }
        if (!ok)
            throw typeMismatch(column, value, QStringLiteral("ganze Zahl"));
        if (type == QMetaType::Int
            && (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<qint32>::max()))
            throw Failure(ErrorNumber::Overflow, ErrorSource::Database,
                          QStringLiteral("Überlauf: %1 passt nicht in das Feld %2.")
                              .arg(number).arg(quoted(column)));
        if (type == QMetaType::Int)
            return QVariant(static_cast<int>(number));
        return QVariant(number);
    }
    if (type == QMetaType::Bool) {
        if (value.typeId() == QMetaType::Bool)
            return value;
        if (value.typeId() == QMetaType::QString) {
            const QString text = value.toString().trimmed();
            if (text.compare(QLatin1String("Wahr"), Qt::CaseInsensitive) == 0
                || text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                return true;
            if (text.compare(QLatin1String("Falsch"), Qt::CaseInsensitive) == 0
                || text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                return false;
        }
        bool ok = false;
        const double number = value.toString().trimmed().toDouble(&ok);
        if (!ok)
            throw typeMismatch(column, value, QStringLiteral("Wahrheitswert"));
        return number != 0;
    }
    if (type == QMetaType::Double || type == QMetaType::Float) {
        bool ok = false;
        double number = 0;
        if (value.typeId() == QMetaType::QString)
            number = value.toString().trimmed().replace(u',', u'.').toDouble(&ok);
        else
            number = value.toDouble(&ok);
        if (!ok)
            throw typeMismatch(column, value, QStringLiteral("Zahl"));
        return number;
    }
    if (type == QMetaType::QString && server && value.typeId() != QMetaType::QString)
        return value.toString();
    return value;
}

// SQLite hands booleans over as 0/1; the declared column type says what they are.
QVariant normalised(const QVariant &raw, QMetaType columnType)
{
    if (raw.isNull())
        return QVariant();
    if (columnType.id() == QMetaType::Bool && raw.typeId() != QMetaType::Bool)
        return QVariant(raw.toLongLong() != 0);
    return raw;
}

} // namespace orbe
