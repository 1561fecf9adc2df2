#include "numbertext.h"

#include <QLocale>

#include <cmath>

QString numberText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("#ZAHL!");
    if (value == 0)
        return QStringLiteral("0"); // also -0
    if (value == std::trunc(value) && std::fabs(value) < 9.0e15)
        return QString::number(qint64(value));
    if (value == std::trunc(value) && std::fabs(value) < 1e21)
        return QString::number(value, 'f', 0);
    // Shortest digits that read back as the same double: 54.2, not 54.200000000000003.
    QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
    text.replace(u'.', u',');
    return text;
}
