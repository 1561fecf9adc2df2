#include "testworkbook.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <xlsxwriter.h>

QString writeXlsx(const QString &path, const WorkbookRows &rows)
{
    // libxlsxwriter opens its file by an 8-bit name, which Windows reads in
    // its ANSI code page: it writes under a plain name, then the file moves.
    QTemporaryDir folder;
    const QByteArray fileName = folder.filePath(QStringLiteral("mappe.xlsx")).toUtf8();
    lxw_workbook *workbook = workbook_new(fileName.constData());
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, nullptr);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            const QVariant &value = rows[r][c];
            if (!value.isValid())
                continue;
            if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::Double
                || value.typeId() == QMetaType::LongLong) {
                worksheet_write_number(sheet, r, c, value.toDouble(), nullptr);
            } else {
                const QByteArray text = value.toString().toUtf8();
                worksheet_write_string(sheet, r, c, text.constData(), nullptr);
            }
        }
    }
    if (workbook_close(workbook) != LXW_NO_ERROR || (QFile::exists(path) && !QFile::remove(path))
        || !QFile::rename(QString::fromUtf8(fileName), path))
        qFatal("could not write %s", qPrintable(path));
    return path;
}
