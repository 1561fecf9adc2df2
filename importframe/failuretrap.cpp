#include "failuretrap.h"

#include "failure.h"
#include "orbeerrorreport.h"

#include <new>

bool runTrapped(const QString &place, const QString &procedure,
                const std::function<void(ErrorLine &at)> &body)
{
    constexpr int NoRow = 0;
    return runTrapped(place, procedure, NoRow, body);
}

bool runTrapped(const QString &place, const QString &procedure, const int &row,
                const std::function<void(ErrorLine &at)> &body, const std::function<void()> &beforeReport)
{
    ErrorLine at;
    long number = 0;
    QString source;
    QString description;
    try {
        body(at);
        return true;
    } catch (const Failure &failure) {
        number = failure.number();
        source = failure.source();
        description = failure.description();
    } catch (const std::bad_alloc &) {
        number = ErrorNumber::OutOfMemory;
        source = ErrorSource::Tarvel;
        description = row > 0 ? QStringLiteral("Nicht genügend Speicher bei Zeile %1.").arg(row)
                              : QStringLiteral("Nicht genügend Speicher.");
    } catch (const std::exception &error) {
        number = ErrorNumber::InternalError;
        source = ErrorSource::Tarvel;
        description = QStringLiteral("Interner Fehler: %1").arg(QString::fromLocal8Bit(error.what()));
    }
    if (beforeReport)
        beforeReport();
    OrbeErrorReport::global().ReportError(ApplicationInfo::current(), place, procedure, number,
                                          source, description, at.current());
    return false;
}
