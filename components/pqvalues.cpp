#include "orbelink_pq.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <libpq-fe.h>

#include <cmath>
#include <limits>

// Values between the server's text form and Qt's, as a PostgreSQL link reads
// and binds them.

namespace {

// The columns' types as the server names them (pg_type), for the few it
// has that are no text.
enum TypeOid : Oid {
    BoolOid = 16, ByteaOid = 17, Int8Oid = 20, Int2Oid = 21, Int4Oid = 23, RegprocOid = 24, OidOid = 26, XidOid = 28,
    CidOid = 29, Float4Oid = 700, Float8Oid = 701, AbstimeOid = 702, ReltimeOid = 703, DateOid = 1082,
    TimeOid = 1083, TimestampOid = 1114, TimestampTzOid = 1184, TimeTzOid = 1266, NumericOid = 1700
};

} // namespace

QMetaType postgresColumnType(unsigned int type)
{
    switch (type) {
    case BoolOid:
        return QMetaType(QMetaType::Bool);
    case Int8Oid:
        return QMetaType(QMetaType::LongLong);
    case Int2Oid:
    case Int4Oid:
    case OidOid:
    case RegprocOid:
    case XidOid:
    case CidOid:
        return QMetaType(QMetaType::Int);
    case NumericOid:
    case Float4Oid:
    case Float8Oid:
        return QMetaType(QMetaType::Double);
    case AbstimeOid:
    case ReltimeOid:
    case DateOid:
        return QMetaType(QMetaType::QDate);
    case TimeOid:
    case TimeTzOid:
        return QMetaType(QMetaType::QTime);
    case TimestampOid:
    case TimestampTzOid:
        return QMetaType(QMetaType::QDateTime);
    case ByteaOid:
        return QMetaType(QMetaType::QByteArray);
    default:
        return QMetaType(QMetaType::QString);
    }
}

namespace {

double numberValue(const char *text)
{
    if (qstrcmp(text, "NaN") == 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (qstrcmp(text, "Infinity") == 0)
        return std::numeric_limits<double>::infinity();
    if (qstrcmp(text, "-Infinity") == 0)
        return -std::numeric_limits<double>::infinity();
    return QByteArray(text).toDouble();
}

} // namespace

QVariant postgresValue(const pg_result *result, int row, int column, QMetaType type)
{
    if (PQgetisnull(result, row, column))
        return QVariant(type);
    const char *text = PQgetvalue(result, row, column);
    switch (type.id()) {
    case QMetaType::Bool:
        return text[0] == 't';
    case QMetaType::Int:
        return QByteArray(text).toInt();
    case QMetaType::LongLong:
        return QByteArray(text).toLongLong();
    case QMetaType::Double:
        return numberValue(text);
    case QMetaType::QDate:
        return QDate::fromString(QString::fromLatin1(text), Qt::ISODate);
    case QMetaType::QTime:
        return QTime::fromString(QString::fromLatin1(text).left(12), Qt::ISODate);
    case QMetaType::QDateTime: {
        QString moment = QString::fromLatin1(text).replace(u' ', u'T');
        // "+01" as the server writes an offset, "+01:00" as ISO wants it.
        if (moment.size() > 3 && (moment.at(moment.size() - 3) == u'+' || moment.at(moment.size() - 3) == u'-'))
            moment += QStringLiteral(":00");
        return QDateTime::fromString(moment, Qt::ISODate);
    }
    case QMetaType::QByteArray: {
        size_t length = 0;
        unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &length);
        const QByteArray array(reinterpret_cast<const char *>(bytes), qsizetype(length));
        PQfreemem(bytes);
        return array;
    }
    default:
        return QString::fromUtf8(text);
    }
}

std::optional<QByteArray> postgresParameter(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QByteArray(value.toBool() ? "true" : "false");
    case QMetaType::Double:
    case QMetaType::Float:
        return QByteArray::number(value.toDouble(), 'g', 17);
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate).toLatin1();
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs).toLatin1();
    case QMetaType::QByteArray:
        return value.toByteArray();
    default:
        return value.toString().toUtf8();
    }
}
