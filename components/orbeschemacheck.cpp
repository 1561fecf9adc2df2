#include "orbeconnection.h"

#include "failure.h"
#include "orberecordset.h"

#include <QStringList>

namespace {

// The tables and columns the runs read and write. Other columns, key names
// the runs do not use and the code tables do not matter.
const QList<std::pair<QString, QStringList>> RunsColumns{
    {QStringLiteral("JagdbezirksSammlung"),
     {QStringLiteral("JagdbezirksSammlung_ID_PK"), QStringLiteral("JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK"),
      QStringLiteral("JagdbezirksSammlung_Lfdnr"), QStringLiteral("JagdbezirksSammlung_Name")}},
    {QStringLiteral("Jagdbezirk"), {QStringLiteral("Jagdbezirk_ID_PK"), QStringLiteral("Jagdbezirk_Sammlung_ID_FK")}},
    {QStringLiteral("JagdbezirkDatenBayern"),
     {QStringLiteral("JagdbezirkDatenBayern_Jagdbezirk_ID_FK"), QStringLiteral("JagdbezirkDatenBayern_Lfdnr"),
      QStringLiteral("JagdbezirkDatenBayern_Jagdjahr"), QStringLiteral("JagdbezirkDatenBayern_Reviername")}},
    {QStringLiteral("Wildart"), {QStringLiteral("Wildart_ID_PK"), QStringLiteral("Wildart_Name"), QStringLiteral("Wildart_Aktiv")}},
    {QStringLiteral("ForstlichesGutachtenZurAbschussplanung"),
     {QStringLiteral("IdJagdbezirksSammlung"), QStringLiteral("IdWildart"), QStringLiteral("JagdjahrVon"),
      QStringLiteral("JagdjahrBis"), QStringLiteral("IdVerbissbelastung"), QStringLiteral("IdForstlicheAbschussEmpfehlung"),
      QStringLiteral("IdAenderungVerbissbelastung")}},
};

} // namespace

QString notTarvelsBecause(OrbeConnection &connection)
{
    for (const auto &[table, columns] : RunsColumns) {
        // Reads no row: a check needs no more than the right to read.
        try {
            connection.OpenRecordset(
                QStringLiteral("select %1 from %2 where 1 = 0").arg(columns.join(QStringLiteral(", ")), table),
                OpenMode::Lookup);
        } catch (const Failure &failure) {
            return failure.description();
        }
    }
    return {};
}
