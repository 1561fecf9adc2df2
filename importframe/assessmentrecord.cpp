#include "assessmentrecord.h"

#include "conversions.h"
#include "failure.h"
#include "importlog.h"
#include "orberecordset.h"
#include "rowbatch.h"
#include "specieslookup.h"

namespace {
const QString Table = QStringLiteral("ForstlichesGutachtenZurAbschussplanung");
const QString CollectionColumn = QStringLiteral("IdJagdbezirksSammlung");
const QString YearColumn = QStringLiteral("JagdjahrVon");
const QString CollectionStatement = QStringLiteral("select * from ") + Table + CRLF
                                    + QStringLiteral(" where IdJagdbezirksSammlung = CAST(? AS INTEGER)");
} // namespace

AssessmentRecord::AssessmentRecord(OrbeConnection &connection, const OrbeField &collectionKeyField,
                                   qint32 firstYear, RowBatch *batch)
    : m_connection(connection)
    , m_collectionKey(collectionKey(collectionKeyField))
    , m_firstYear(firstYear)
{
    if (batch && batch->predicts() && (m_record = predicted(*batch))) {
        m_batch = batch;
        return;
    }
    static const QString statement = CollectionStatement + QStringLiteral(" and JagdjahrVon = CAST(? AS INTEGER)");
    m_opened = connection.OpenRecordset(statement, OpenMode::Editable, {m_collectionKey, firstYear});
    m_record = m_opened.get();
}

OrbeRecordset *AssessmentRecord::predicted(RowBatch &batch)
{
    OrbeRecordset &snapshot = batch.snapshot(m_firstYear, [&] {
        static const QString statement = QStringLiteral("select * from ") + Table
                                         + QStringLiteral(" where JagdjahrVon = CAST(? AS INTEGER)");
        std::unique_ptr<OrbeRecordset> read = m_connection.OpenRecordset(statement, OpenMode::Snapshot, {m_firstYear});
        read->MatchColumns({CollectionColumn, YearColumn});
        return read;
    });
    // The statement of the normal way refuses a key beyond its column.
    bool whole = false;
    const qlonglong key = m_collectionKey.toLongLong(&whole);
    if (!whole || key != qint32(key)) {
        batch.saveNormally(m_firstYear);
        return nullptr;
    }
    const QString criterion = CollectionColumn + QStringLiteral(" = '%1'").arg(key);
    snapshot.Filter(criterion);
    if (snapshot.HasUnsentSave())
        batch.sendBefore();
    snapshot.Filter(criterion);
    if (snapshot.rowCount() > 1 || (snapshot.rowCount() == 0 && !m_connection.addsTogether(Table))) {
        batch.saveNormally(m_firstYear);
        return nullptr;
    }
    return &snapshot;
}

AssessmentRecord::~AssessmentRecord() = default;

QVariant AssessmentRecord::collectionKey(const OrbeField &keyField)
{
    const QString text = keyField.text();
    if (!isWholeNumber(text)) {
        throw Failure(ErrorNumber::TypeMismatch, ErrorSource::Tarvel,
                      QStringLiteral("Typen unverträglich: der Schlüssel der Jagdbezirkssammlung „%1“ ist keine ganze Zahl.")
                          .arg(text));
    }
    return keyField.Value();
}

std::unique_ptr<OrbeRecordset> AssessmentRecord::collectionRecords(OrbeConnection &connection, const QVariant &key)
{
    return connection.OpenRecordset(CollectionStatement, OpenMode::Lookup, {key});
}

bool AssessmentRecord::exists() const
{
    return m_record->HasRecords();
}

void AssessmentRecord::beginUpdate()
{
    m_record->Edit();
}

void AssessmentRecord::beginInsert()
{
    m_record->AddNew();
}

void AssessmentRecord::setNewRecordKeys(SpeciesKey &roeDeer)
{
    OrbeFields fields = m_record->Fields();
    fields.Item(QStringLiteral("IdJagdbezirksSammlung")).setValue(m_collectionKey);
    fields.Item(QStringLiteral("IdWildart")).setValue(roeDeer.get(m_connection));
    fields.Item(QStringLiteral("JagdjahrVon")).setValue(m_firstYear);
    fields.Item(QStringLiteral("JagdjahrBis"))
        .setValue(addInt32(m_firstYear, 2, QStringLiteral("Das Jagdjahr %1 plus 2").arg(m_firstYear)));
}

void AssessmentRecord::setCode(const QString &column, qint32 code)
{
    m_record->Fields().Item(column).setContent(code);
}

void AssessmentRecord::save()
{
    m_record->Update();
    if (m_batch)
        m_batch->queued();
}
