// Round trips per row of the runs on PostgreSQL across a link with delay, as
// an office meets a server behind a network: the extra time a run takes
// through a delaying proxy against a direct connection, divided by rows
// times the round trip; and the client's turns per row through the proxy
// without delay, which the delay does not blur.
//
//   tarvel_distancebench URL PORT [ROWS]
//
// URL names an empty PostgreSQL database (the form TARVEL_DATABASE takes),
// PORT the server's TCP port on 127.0.0.1, where the proxy connects.
#include "benchdata.h"
#include "cooperativeruns.h"
#include "delayproxy.h"
#include "districtruns.h"
#include "orbebase.h"
#include "testrunhost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

struct Run
{
    const char *name;
    bool (*run)(RunHost &);
    bool district;
};
const Run Runs[] = {
    {"district check", runDistrictCheck, true},
    {"district import (add/update)", runDistrictImport, true},
    {"district import (update)", runDistrictImport, true},
    {"cooperative import (add)", runCooperativeImport, false},
    {"cooperative import (update)", runCooperativeImport, false},
};
constexpr int RunCount = int(std::size(Runs));

struct Pass
{
    double seconds[RunCount] = {};
    int turns[RunCount] = {};
};

// The runs one after the other on the records as filled, over a connection
// to 127.0.0.1 at port; proxy, if given, counts the turns.
Pass runAll(OrbeConnection &admin, const QString &url, int port, int rows, const BenchWorkbooks &workbooks,
            const QString &folder, const DelayProxy *proxy)
{
    resetRecords(admin, rows);
    std::optional<DatabaseLocation> location = OrbeBase::parseLocation(url);
    location->host = QStringLiteral("127.0.0.1");
    location->port = port;
    OrbeBase base;
    if (!base.ConnectTo(location->toString()))
        benchFailed(base.connectFailure());
    ErrorReportCapture errors;
    TestRunHost host;
    host.state.connection = base.Connection();
    host.state.database = base.connectedLocation();
    host.state.workbookFolder = folder + u'/';
    Pass pass;
    for (int i = 0; i < RunCount; ++i) {
        host.state.workbookPath = Runs[i].district ? workbooks.district : workbooks.cooperative;
        const int turnsBefore = proxy ? proxy->turns() : 0;
        QElapsedTimer clock;
        clock.start();
        Runs[i].run(host);
        pass.seconds[i] = clock.nsecsElapsed() / 1e9;
        pass.turns[i] = proxy ? proxy->turns() - turnsBefore : 0;
        if (!errors.reports.isEmpty())
            benchFailed(QStringLiteral("%1 failed: %2").arg(QString::fromLatin1(Runs[i].name), errors.reports[0].toText()));
    }
    return pass;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // error reports stay out of the user's files
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3)
        benchFailed("usage: tarvel_distancebench URL PORT [ROWS]");
    const QString url = arguments[1];
    const int serverPort = arguments[2].toInt();
    const int rows = arguments.size() > 3 ? arguments[3].toInt() : 1000;
    OrbeBase admin;
    openFilledDatabase(admin, url, rows);
    QTemporaryDir folder;
    const BenchWorkbooks workbooks = writeBenchWorkbooks(folder.path(), rows);
    const auto pass = [&](const DelayProxy *proxy) {
        return runAll(*admin.Connection(), url, proxy ? proxy->port() : serverPort, rows, workbooks, folder.path(), proxy);
    };

    // Direct: the median of three.
    Pass direct[3] = {pass(nullptr), pass(nullptr), pass(nullptr)};
    const auto directSeconds = [&](int run) {
        double seconds[3] = {direct[0].seconds[run], direct[1].seconds[run], direct[2].seconds[run]};
        std::sort(seconds, seconds + 3);
        return seconds[1];
    };
    const DelayProxy counting(serverPort, std::chrono::milliseconds(0));
    const Pass turns = pass(&counting);
    std::printf("%d rows; round trips per row: (run through the proxy - direct) / (rows x round trip)\n", rows - 1);
    std::printf("  %-28s %8s %10s %18s %18s\n", "run", "direct", "turns/row", "20 ms: s, RT/row", "50 ms: s, RT/row");
    Pass delayed[2];
    for (int way : {0, 1}) {
        const DelayProxy proxy(serverPort, std::chrono::milliseconds(way == 0 ? 10 : 25));
        delayed[way] = pass(&proxy);
    }
    for (int i = 0; i < RunCount; ++i) {
        const double base = directSeconds(i);
        const auto perRow = [&](int way, double roundTrip) {
            return (delayed[way].seconds[i] - base) / ((rows - 1) * roundTrip);
        };
        std::printf("  %-28s %6.2f s %10.3f %8.2f s %7.3f %8.2f s %7.3f\n", Runs[i].name, base,
                    double(turns.turns[i]) / (rows - 1), delayed[0].seconds[i], perRow(0, 0.020), delayed[1].seconds[i],
                    perRow(1, 0.050));
    }
    return 0;
}
