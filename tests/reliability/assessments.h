#pragma once

#include "orberecordset.h"

#include <QStringList>

// The assessment records, one line each, sorted: the text forms of the given
// columns (of all columns when none are given) in table order, joined by
// blanks. For comparing what runs left, whatever order they added in.
inline QString assessments(OrbeConnection &connection, const QStringList &columns = {})
{
    auto rs = connection.OpenRecordset(QStringLiteral("select * from ForstlichesGutachtenZurAbschussplanung"),
                                       OpenMode::Lookup);
    QStringList rows;
    for (; rs->HasCurrent(); rs->MoveNext()) {
        QStringList values;
        OrbeFields fields = rs->Fields();
        for (int i = 0; i < fields.Count(); ++i) {
            if (columns.isEmpty() || columns.contains(fields.Item(i).Name(), Qt::CaseInsensitive))
                values << fields.Item(i).text();
        }
        rows << values.join(u' ');
    }
    rows.sort();
    return rows.join(u'\n');
}
