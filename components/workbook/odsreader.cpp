// OpenDocument spreadsheets (.ods) from content.xml. Repeated rows must not be
// expanded blindly: a sheet ends in one row repeated a million times.
#include "sheetreaders.h"
#include "xmlscanner.h"
#include "ziparchive.h"

#include <QHash>

#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

namespace workbook {

namespace {

constexpr QByteArrayView kOfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr QByteArrayView kTableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr QByteArrayView kTextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr QByteArrayView kCalcExtNs = "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0";
constexpr QByteArrayView kStyleNs = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
constexpr QByteArrayView kNumberNs = "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0";

// Qualified names under the prefixes this document binds to the namespaces:
// table("table-row") is "table:table-row" where it binds the table namespace
// to "table".
struct Names
{
    explicit Names(const XmlScanner &xml)
        : officePrefix(xml.prefixFor(kOfficeNs))
        , tablePrefix(xml.prefixFor(kTableNs))
        , textPrefix(xml.prefixFor(kTextNs))
        , calcextPrefix(xml.prefixFor(kCalcExtNs))
        , stylePrefix(xml.prefixFor(kStyleNs))
        , numberPrefix(xml.prefixFor(kNumberNs))
    {
    }
    QByteArray officePrefix, tablePrefix, textPrefix, calcextPrefix, stylePrefix, numberPrefix;

    QByteArray office(const char *local) const { return officePrefix + local; }
    QByteArray table(const char *local) const { return tablePrefix + local; }
    QByteArray text(const char *local) const { return textPrefix + local; }
    QByteArray calcext(const char *local) const { return calcextPrefix + local; }
    QByteArray style(const char *local) const { return stylePrefix + local; }
    QByteArray number(const char *local) const { return numberPrefix + local; }
};

int repeatCount(const XmlScanner &xml, const QByteArray &attribute)
{
    const QByteArrayView raw = xml.rawAttribute(attribute);
    if (raw.isEmpty())
        return 1;
    qint64 count = 0;
    const auto [end, error] = std::from_chars(raw.data(), raw.data() + raw.size(), count);
    if (error != std::errc() || end != raw.data() + raw.size() || count < 1)
        refuseDamaged(QStringLiteral("Wiederholungsangabe „%1“").arg(QString::fromUtf8(raw)));
    return int(std::min<qint64>(count, kMaxRows + qint64(1)));
}

// A paragraph's text: runs of white space count once, text:s stands for spaces.
void appendParagraph(XmlScanner &xml, const Names &names, QString &out)
{
    const int level = xml.depth();
    bool lastWasSpace = true; // leading white space of a paragraph is dropped
    while (xml.next() != XmlScanner::EndDocument) {
        if (xml.token() == XmlScanner::EndElement && xml.depth() < level)
            return;
        if (out.size() > kMaxCellChars)
            return; // refused as too long once the cell is set
        if (xml.token() == XmlScanner::Characters) {
            for (QChar ch : xml.text()) {
                if (ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\r') {
                    if (!lastWasSpace)
                        out += u' ';
                    lastWasSpace = true;
                } else {
                    out += ch;
                    lastWasSpace = false;
                }
            }
        } else if (xml.token() == XmlScanner::StartElement) {
            const QByteArrayView name = xml.qualifiedName();
            if (name == names.text("s")) {
                out += QString(std::clamp(xml.intAttribute(names.text("c"), 1), 1, 1000), u' ');
                lastWasSpace = false;
                xml.skipElement();
            } else if (name == names.text("tab")) {
                out += u'\t';
                xml.skipElement();
            } else if (name == names.text("line-break")) {
                out += u'\n';
                xml.skipElement();
            } else if (name == names.office("annotation") || name == names.text("note")
                       || name == names.text("ruby-text")) {
                xml.skipElement();
            }
            // spans, links and the like: their text follows as characters
        }
    }
}

// "PT10H30M00S" (days and fractions allowed) as hh:mm:ss, or in the units of
// an elapsed-time format ("ms" for [mm]:ss).
QString durationText(const QString &value, const QString &elapsedUnits)
{
    double seconds = 0;
    double number = 0;
    bool inTime = false;
    QString digits;
    for (QChar ch : value.trimmed().toUpper()) {
        if (ch.isDigit() || ch == u'.' || ch == u',') {
            digits += ch == u',' ? u'.' : ch;
            continue;
        }
        bool ok = true;
        number = digits.isEmpty() ? 0 : digits.toDouble(&ok);
        if (!ok)
            return value;
        digits.clear();
        switch (ch.unicode()) {
        case u'P':
        case u'-':
            break;
        case u'T':
            inTime = true;
            break;
        case u'D':
            seconds += number * 86400;
            break;
        case u'H':
            seconds += number * 3600;
            break;
        case u'M':
            if (!inTime)
                return value; // months have no fixed length
            seconds += number * 60;
            break;
        case u'S':
            seconds += number;
            break;
        default:
            return value;
        }
    }
    if (!std::isfinite(seconds) || seconds > 86400 * 1e9) // a billion days, as elapsed times are bounded
        return value;
    const qint64 total = std::llround(seconds);
    if (!elapsedUnits.isEmpty())
        return formattedNumber(seconds / 86400, {NumberFormat::Elapsed, elapsedUnits}, false);
    return QStringLiteral("%1:%2:%3")
        .arg(total / 3600, 2, 10, QLatin1Char('0'))
        .arg(total / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(total % 60, 2, 10, QLatin1Char('0'));
}

// Cell styles whose number format counts elapsed time on in its largest unit
// (number:truncate-on-overflow="false"), with the units it shows.
using ElapsedStyles = QHash<QString, QString>;

// Reads the automatic styles up to the first table, where it stops.
ElapsedStyles readElapsedStyles(XmlScanner &xml, const Names &names, const QByteArray &tableName)
{
    QHash<QString, QString> units;      // data style -> units
    QHash<QString, QString> dataStyles; // cell style -> data style
    while (xml.next() != XmlScanner::EndDocument) {
        if (xml.token() != XmlScanner::StartElement)
            continue;
        const QByteArrayView name = xml.qualifiedName();
        if (name == tableName)
            break;
        if (name == names.number("time-style") && xml.rawAttribute(names.number("truncate-on-overflow")) == "false") {
            const QString style = xml.attribute(names.style("name"));
            QString &shown = units[style];
            const int level = xml.depth();
            while (xml.nextStartElementWithin(level)) {
                const QByteArrayView unit = xml.qualifiedName();
                if (unit == names.number("hours") || unit == names.number("minutes") || unit == names.number("seconds"))
                    shown += QChar(unit.at(names.numberPrefix.size()));
            }
        } else if (name == names.style("style")) {
            dataStyles.insert(xml.attribute(names.style("name")), xml.attribute(names.style("data-style-name")));
        }
    }
    ElapsedStyles elapsed;
    for (auto it = dataStyles.cbegin(); it != dataStyles.cend(); ++it)
        if (!units.value(it.value()).isEmpty())
            elapsed.insert(it.key(), units.value(it.value()));
    return elapsed;
}

QString readCellValue(XmlScanner &xml, const Names &names, const ElapsedStyles &elapsed, int row, int column)
{
    const QByteArray type = xml.rawAttribute(names.office("value-type")).toByteArray();
    const bool isError = xml.rawAttribute(names.calcext("value-type")) == "error";
    const bool hasFormula = xml.hasAttribute(names.table("formula"));
    const bool hasStringValue = xml.hasAttribute(names.office("string-value"));
    QString value;
    if (type == "float" || type == "percentage" || type == "currency") {
        const QByteArrayView raw = xml.rawAttribute(names.office("value"));
        double number = 0;
        const auto [end, error] = std::from_chars(raw.data(), raw.data() + raw.size(), number);
        if (raw.isEmpty() || error != std::errc() || end != raw.data() + raw.size()) {
            if (hasFormula)
                refuseFormulaWithoutResult(row, column);
            refuseDamaged(QStringLiteral("Zelle %1 enthält keine Zahl").arg(cellReference(row, column)));
        }
        value = numberText(number);
    } else if (type == "date") {
        value = isoDateTimeText(xml.attribute(names.office("date-value")).trimmed());
    } else if (type == "time") {
        value = durationText(xml.attribute(names.office("time-value")),
                             elapsed.value(xml.attribute(names.table("style-name"))));
    } else if (type == "boolean") {
        const QByteArrayView boolean = xml.rawAttribute(names.office("boolean-value"));
        value = booleanText(boolean == "true" || boolean == "1");
    } else if (type == "string" && hasStringValue && !isError) {
        value = xml.attribute(names.office("string-value"));
    } else if (type.isEmpty() && hasFormula) {
        refuseFormulaWithoutResult(row, column);
    }

    // The paragraphs carry a string's text (and the shown text of the rest).
    const bool wantParagraphs = value.isNull() && (type == "string" || type.isEmpty() || isError);
    QString paragraphs;
    int paragraphCount = 0;
    const int level = xml.depth();
    while (xml.nextStartElementWithin(level)) {
        if (wantParagraphs && xml.qualifiedName() == names.text("p")) {
            if (paragraphCount++ > 0)
                paragraphs += u'\n';
            appendParagraph(xml, names, paragraphs);
        } else {
            xml.skipElement();
        }
    }
    return wantParagraphs ? paragraphs : value;
}

// The cells of one row as far as a sheet holds them (columns, value), the
// repeated ones expanded; whether the row has content anywhere, the columns
// beyond included, whose positions are checked all the same.
bool readRow(XmlScanner &xml, const Names &names, const ElapsedStyles &elapsed, qint64 row,
             std::vector<std::pair<int, QString>> &cells)
{
    const QByteArray cellElement = names.table("table-cell");
    const QByteArray coveredElement = names.table("covered-table-cell");
    const QByteArray columnsRepeated = names.table("number-columns-repeated");
    const int rowLevel = xml.depth();
    cells.clear();
    bool filled = false;
    qint64 column = 1;
    while (xml.next() != XmlScanner::EndDocument) {
        if (xml.token() == XmlScanner::EndElement && xml.depth() < rowLevel)
            break;
        if (xml.token() != XmlScanner::StartElement)
            continue;
        if (xml.qualifiedName() != cellElement && xml.qualifiedName() != coveredElement) {
            xml.skipElement();
            continue;
        }
        const int columnRepeat = repeatCount(xml, columnsRepeated);
        const QString value = readCellValue(xml, names, elapsed, int(std::min<qint64>(row, kMaxRows)),
                                            int(std::min<qint64>(column, kMaxColumns)));
        if (!value.isEmpty()) {
            if (column + columnRepeat - 1 > kMaxColumns)
                refuseDamaged(QStringLiteral("Zelle außerhalb des Tabellenblatts"));
            filled = true;
            const qint64 kept = std::clamp<qint64>(Worksheet::MaxColumns - column + 1, 0, columnRepeat);
            for (int k = 0; k < kept; ++k)
                cells.emplace_back(int(column + k), value);
        }
        column += columnRepeat;
    }
    return filled;
}

} // namespace

Worksheet readOds(const ZipArchive &zip, int lastRow)
{
    // An encrypted package still has a readable manifest; content.xml is ciphertext.
    if (zip.read(QStringLiteral("META-INF/manifest.xml"), false).contains("encryption-data"))
        refusePassword();
    XmlScanner xml(zip.stream(QStringLiteral("content.xml")), QStringLiteral("content.xml"));
    if (xml.next() != XmlScanner::StartElement)
        refuseDamaged(QStringLiteral("content.xml"));
    const Names names(xml);
    const QByteArray tableName = names.table("table");
    const QByteArray rowName = names.table("table-row");
    const QByteArray rowsRepeated = names.table("number-rows-repeated");
    const QByteArray rowGroups[] = {names.table("table-header-rows"), names.table("table-row-group"),
                                    names.table("table-rows")};

    // The first table of the spreadsheet body, after the automatic styles.
    const ElapsedStyles elapsed = readElapsedStyles(xml, names, tableName);
    if (xml.token() == XmlScanner::EndDocument)
        refuse(QStringLiteral("Die Arbeitsmappe enthält kein Tabellenblatt."));

    SheetBuilder sheet(lastRow);
    const int tableLevel = xml.depth();
    qint64 row = 1;
    std::vector<std::pair<int, QString>> cells;
    // Rows follow each other in the document: reading ends below the kept ones.
    while (sheet.keeps(int(std::min<qint64>(row, kMaxRows + qint64(1)))) && xml.next() != XmlScanner::EndDocument) {
        if (xml.token() == XmlScanner::EndElement && xml.depth() < tableLevel)
            break;
        if (xml.token() != XmlScanner::StartElement)
            continue;
        const QByteArrayView name = xml.qualifiedName();
        if (std::find(std::begin(rowGroups), std::end(rowGroups), name) != std::end(rowGroups))
            continue; // their rows follow
        if (name != rowName) {
            xml.skipElement(); // columns, shapes, forms
            continue;
        }
        const int rowRepeat = repeatCount(xml, rowsRepeated);
        // Only rows with content are expanded, and only as far as they are
        // kept; empty repeats just move on.
        if (readRow(xml, names, elapsed, row, cells)) {
            if (row + rowRepeat - 1 > kMaxRows)
                refuseDamaged(QStringLiteral("Zeile außerhalb des Tabellenblatts"));
            for (int r = 0; r < rowRepeat && sheet.keeps(int(row + r)); ++r)
                for (const auto &[c, value] : cells)
                    sheet.set(int(row + r), c, value);
        }
        row += rowRepeat;
    }
    return sheet.take();
}

} // namespace workbook
