#include "specieslookup.h"

#include "conversions.h"
#include "failure.h"
#include "orberecordset.h"

qint32 GetWildartId(OrbeConnection &connection, const QString &name)
{
    // The empty name asks for "0", as it always has.
    static const QString statement =
        QStringLiteral("select * from Wildart where Wildart_Aktiv = True and Wildart_Name IN (?)");
    auto species = connection.OpenRecordset(statement, OpenMode::Lookup, {name.isEmpty() ? QStringLiteral("0") : name});
    if (!species->HasCurrent()) {
        throw Failure(ErrorNumber::NoCurrentRecord, ErrorSource::Tarvel,
                      QStringLiteral("Die Wildart „%1“ ist in der Datenbank nicht als aktive Wildart eingetragen.")
                          .arg(name));
    }
    return toInt32(species->Fields().Item(QStringLiteral("Wildart_ID_PK")).text(),
                   QStringLiteral("Der Schlüssel der Wildart „%1“").arg(name));
}
