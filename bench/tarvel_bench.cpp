// Times the four runs on large generated workbooks against a large database:
// 10,000 districts and 10,000 cooperatives, a 10,000-row workbook of each kind.
//
//   tarvel_bench LOCATION [ROWS [WORKBOOK]]
//
// LOCATION is an SQLite file that does not exist yet, or the URL of an empty
// PostgreSQL database (the form TARVEL_DATABASE takes). With WORKBOOK (a
// district workbook, e.g. from tarvel_bigworkbook) only the district check
// runs, on that workbook. Each run's line ends with the process's peak memory
// so far.
#include "benchdata.h"
#include "cooperativeruns.h"
#include "districtruns.h"
#include "orbebase.h"
#include "testrunhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

// The process's peak so far, which bounds the peak of each run timed so far.
long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

double timed(const char *name, TestRunHost &host, bool (*run)(RunHost &), ErrorReportCapture &errors)
{
    QElapsedTimer clock;
    clock.start();
    run(host);
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (!errors.reports.isEmpty())
        benchFailed(QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(name), errors.reports[0].toText()));
    std::printf("  %-28s %7.2f s   log %6lld kB   peak %4ld MB\n", name, seconds,
                (long long)(host.log.size() * 2 / 1024), peakMegabytes());
    std::fflush(stdout);
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // error reports stay out of the user's files
    const QStringList arguments = application.arguments();
    if (arguments.size() < 2)
        benchFailed("usage: tarvel_bench LOCATION [ROWS [WORKBOOK]]");
    const int rows = arguments.size() > 2 ? arguments[2].toInt() : 10000;
    OrbeBase base;
    openFilledDatabase(base, arguments[1], rows);
    QTemporaryDir folder;
    const BenchWorkbooks workbooks = writeBenchWorkbooks(folder.path(), rows);

    ErrorReportCapture errors;
    TestRunHost host;
    host.state.connection = base.Connection();
    host.state.database = base.connectedLocation();
    host.state.workbookFolder = folder.path() + u'/';

    if (arguments.size() > 3) {
        host.state.workbookPath = arguments[3];
        timed("district check", host, runDistrictCheck, errors);
        return 0;
    }

    host.state.workbookPath = workbooks.district;
    timed("district check", host, runDistrictCheck, errors);
    timed("district import (add/update)", host, runDistrictImport, errors);
    timed("district import (update)", host, runDistrictImport, errors);

    host.state.workbookPath = workbooks.cooperative;
    timed("cooperative check", host, runCooperativeCheck, errors);
    timed("cooperative import (add)", host, runCooperativeImport, errors);
    timed("cooperative import (update)", host, runCooperativeImport, errors);
    return 0;
}
