#include "spreadsheet.h"

#include "failure.h"
#include "workbook/sheetreaders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <new>

QString Worksheet::cellValue(int row, int column) const
{
    if (row < 1 || column < 1 || size_t(row) > m_rows.size())
        return {};
    const auto &cells = m_rows[row - 1];
    return size_t(column) <= cells.size() ? cells[column - 1] : QString();
}

int Worksheet::rowCount() const
{
    return int(m_rows.size());
}

void Worksheet::setCell(int row, int column, QString value)
{
    if (row < 1 || column < 1)
        return;
    if (m_rows.size() < size_t(row))
        m_rows.resize(row);
    auto &cells = m_rows[row - 1];
    if (cells.size() < size_t(column))
        cells.resize(column);
    cells[column - 1] = std::move(value);
}

Workbook::Workbook(Worksheet sheet)
    : m_sheet(std::move(sheet))
{
}

void Workbook::Close()
{
    m_sheet = Worksheet();
}

std::unique_ptr<SpreadsheetApplication> SpreadsheetApplication::Start()
{
    return std::make_unique<SpreadsheetApplication>();
}

Workbook &SpreadsheetApplication::Open(const QString &path, int lastRow)
{
    m_workbooks.push_back(std::make_unique<Workbook>(readFirstWorksheet(path, lastRow)));
    return *m_workbooks.back();
}

void SpreadsheetApplication::Quit()
{
    for (auto &workbook : m_workbooks)
        workbook->Close();
}

namespace {

[[noreturn]] void fail(long number, const QString &description)
{
    throw Failure(number, ErrorSource::Workbook, description);
}

} // namespace

Worksheet readFirstWorksheet(const QString &path, int lastRow)
{
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        fail(ErrorNumber::FileNotFound, QStringLiteral("Die Datei „%1“ wurde nicht gefunden.").arg(shown));
    if (info.isDir())
        fail(ErrorNumber::PathFileAccess, QStringLiteral("„%1“ ist ein Ordner und keine Arbeitsmappe.").arg(shown));
    // A pipe or device would block the read or never end.
    if (!info.isFile())
        fail(ErrorNumber::PathFileAccess, QStringLiteral("„%1“ ist keine gewöhnliche Datei.").arg(shown));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!QFileInfo::exists(path)) // gone since the look above
            fail(ErrorNumber::FileNotFound, QStringLiteral("Die Datei „%1“ wurde nicht gefunden.").arg(shown));
        fail(ErrorNumber::PermissionDenied,
             QStringLiteral("Die Datei „%1“ kann nicht geöffnet werden. Sie ist gesperrt oder nicht lesbar (%2).")
                 .arg(shown, file.errorString()));
    }
    auto failOnReadError = [&] {
        if (file.error() != QFileDevice::NoError)
            fail(ErrorNumber::PermissionDenied,
                 QStringLiteral("Die Datei „%1“ kann nicht gelesen werden (%2).").arg(shown, file.errorString()));
    };
    auto readWhole = [&] {
        if (file.size() > workbook::kMaxReadSize)
            fail(ErrorNumber::WorkbookUnreadable,
                 QStringLiteral("Die Datei „%1“ ist zu groß für eine Arbeitsmappe.").arg(shown));
        const QByteArray data = file.readAll();
        failOnReadError();
        return data;
    };

    try {
        const QByteArray head = file.peek(8);
        failOnReadError();
        if (head.isEmpty())
            workbook::refuse(QStringLiteral("Die Datei ist leer."));
        switch (workbook::recogniseFormat(head)) {
        case workbook::Format::Zip:
            return workbook::readZipPackage(readWhole(), lastRow);
        case workbook::Format::Xls:
            return workbook::readXls(readWhole(), lastRow);
        case workbook::Format::Csv:
            // A text file is read only as far as the needed rows go.
            return workbook::readCsv(file, lastRow);
        }
        workbook::refuse(QStringLiteral("Das Dateiformat ist unbekannt."));
    } catch (const workbook::ReadError &error) {
        fail(error.number, QStringLiteral("Die Arbeitsmappe „%1“ kann nicht gelesen werden. %2").arg(shown, error.reason));
    } catch (const std::bad_alloc &) {
        fail(ErrorNumber::WorkbookUnreadable,
             QStringLiteral("Die Arbeitsmappe „%1“ kann nicht gelesen werden. Sie ist zu groß.").arg(shown));
    }
}
