#include "assessmentrecord.h"

#include "conversions.h"
#include "failure.h"
#include "importlog.h"
#include "orberecordset.h"
#include "specieslookup.h"

AssessmentRecord::AssessmentRecord(OrbeConnection &connection, const OrbeField &collectionKey,
                                   qint32 firstYear)
    : m_connection(connection)
    , m_collectionKey(collectionKey.Value())
    , m_firstYear(firstYear)
{
    m_record = connection.OpenRecordset(statement(collectionKey.text(), firstYear), OpenMode::Editable);
}

AssessmentRecord::~AssessmentRecord() = default;

QString AssessmentRecord::collectionStatement(const QString &collectionKeyText)
{
    if (!isWholeNumber(collectionKeyText)) {
        throw Failure(ErrorNumber::TypeMismatch, ErrorSource::Tarvel,
                      QStringLiteral("Typen unverträglich: der Schlüssel der Jagdbezirkssammlung „%1“ ist keine ganze Zahl.")
                          .arg(collectionKeyText));
    }
    return QStringLiteral("select * from ForstlichesGutachtenZurAbschussplanung") + CRLF
           + QStringLiteral(" where IdJagdbezirksSammlung = ") + collectionKeyText;
}

QString AssessmentRecord::statement(const QString &collectionKeyText, qint32 firstYear)
{
    return collectionStatement(collectionKeyText) + QStringLiteral(" and JagdjahrVon = ") + QString::number(firstYear);
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

void AssessmentRecord::setNewRecordKeys()
{
    OrbeFields fields = m_record->Fields();
    fields.Item(QStringLiteral("IdJagdbezirksSammlung")).setValue(m_collectionKey);
    fields.Item(QStringLiteral("IdWildart")).setValue(GetWildartId(m_connection, QStringLiteral("Rehwild")));
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
}
