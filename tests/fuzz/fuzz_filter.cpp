// Target for the recordset filter: the runs filter a district collection by
// the running number a workbook row holds, so the criterion's text comes from
// the workbook. Each input is tried as a whole criterion and as the quoted
// value of a well-formed one.
#include "failure.h"
#include "orberecordset.h"
#include "testdatabase.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kField = QStringLiteral("JagdbezirksSammlung_Lfdnr");

struct Fixture
{
    TestDatabase database{QStringLiteral("sqlite")};
    std::unique_ptr<OrbeRecordset> recordset;
    int rows = 0;
};

Fixture &fixture()
{
    static Fixture f;
    return f;
}

[[noreturn]] void fault(const char *what, const QString &criterion)
{
    std::fprintf(stderr, "%s: %s\n", what, criterion.left(300).toUtf8().constData());
    std::abort();
}

// The running numbers of the rows the recordset shows, walked from the first.
QVariantList visibleValues(OrbeRecordset &rs)
{
    QVariantList values;
    for (; !rs.Eof(); rs.MoveNext())
        values << rs.Fields().Item(kField).Value();
    return values;
}

// Whether a row holding this value passes the filter for the text: NULL
// matches nothing, not even the empty text.
bool holds(const QVariant &value, const QString &text)
{
    return !value.isNull() && valueText(value) == text;
}

// Applies the criterion; false when the filter refused it with one of its own errors.
bool applyFilter(OrbeRecordset &rs, const QString &criterion)
{
    bool applied = true;
    try {
        rs.Filter(criterion);
    } catch (const Failure &failure) {
        if (failure.number() != ErrorNumber::InvalidFilter && failure.number() != ErrorNumber::FieldNotFound)
            fault("filter failed with another error", criterion);
        applied = false;
    }
    return applied;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    Fixture &f = fixture();
    if (!f.database.isAvailable()) {
        std::fprintf(stderr, "no test database: %s\n", qPrintable(f.database.unavailableReason()));
        std::exit(1);
    }
    // Texts that differ only where a filter could go wrong: quotes, blanks,
    // leading zeros, case, umlauts, the empty text and NULL.
    f.database.execute(QStringLiteral(
        "INSERT INTO JagdbezirksSammlung VALUES (1, 2, '448', 'A'), (2, 2, 'O''Brien', 'B'), (3, 2, NULL, 'C'),"
        " (4, 2, '', 'D'), (5, 2, '0448', 'E'), (6, 1, '448', 'F'), (7, 1, ' 448 ', 'G'), (8, 1, 'Öd''''e', 'H'),"
        " (9, 1, 'x = ''y''', 'I'), (10, 1, 'ÖD''''E', 'J')"));
    f.recordset = f.database.connection()->OpenRecordset(
        QStringLiteral("select * from JagdbezirksSammlung order by JagdbezirksSammlung_ID_PK"), OpenMode::Lookup);
    f.rows = f.recordset->rowCount();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    OrbeRecordset &rs = *fixture().recordset;
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const int all = fixture().rows;

    // The input as a whole criterion.
    if (applyFilter(rs, input)) {
        const qsizetype shown = visibleValues(rs).size();
        if (shown != rs.rowCount() || shown > all)
            fault("rows shown disagree with rowCount()", input);
    }
    rs.Filter(QString());
    if (rs.rowCount() != all || visibleValues(rs).size() != all)
        fault("the empty criterion did not bring all rows back", input);

    // The input as the value of a well-formed criterion: it must be applied and
    // keep exactly the rows holding that text.
    QString quoted = input;
    quoted.replace(u'\'', QLatin1String("''"));
    const QString criterion = kField + QStringLiteral(" = '") + quoted + u'\'';
    if (!applyFilter(rs, criterion))
        fault("a well-formed criterion was refused", criterion);
    const QVariantList shown = visibleValues(rs);
    rs.Filter(QString());
    const QVariantList everything = visibleValues(rs);
    const auto holding = std::count_if(everything.begin(), everything.end(),
                                       [&](const QVariant &value) { return holds(value, input); });
    const bool allHold = std::all_of(shown.begin(), shown.end(),
                                     [&](const QVariant &value) { return holds(value, input); });
    if (shown.size() != holding || !allHold)
        fault("the rows kept are not those holding the text", criterion);
    return 0;
}
