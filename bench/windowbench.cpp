// Times the district check and import in the window against tarvel-batch on
// the same data: 10,000 districts and a 10,000-row workbook (or as many as
// asked). A window run is timed from the click to its end, when the summary
// shows; a tarvel-batch run from its start to its exit. Each run five
// times, alternately; the medians. The imports update (a first, untimed
// import adds).
//
//   tarvel_windowbench LOCATION TARVEL_BATCH [ROWS]
//
// LOCATION as for tarvel_bench. Under a display (Xvfb): QT_QPA_PLATFORM=xcb.
#include "benchdata.h"
#include "districtwindow.h"
#include "modmain.h"
#include "orbebase.h"
#include "userdialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// Answers every dialog at once: the workbook, OK, no.
class Answers : public UserDialogs
{
public:
    explicit Answers(QString workbook)
        : m_workbook(std::move(workbook))
    {
    }
    std::optional<QString> chooseOpenFile(QWidget *, const QStringList &, const QString &) override { return m_workbook; }
    int showMessage(QWidget *, const QString &, const QString &, MessageIcon, const QStringList &, const QString &) override
    {
        return 0;
    }
    void showError(QWidget *, const QString &text, const QString &, const QString &) override { benchFailed(text); }
    bool confirm(QWidget *, const QString &text, const QString &) override { return !text.isEmpty(); }
    std::optional<QString> askPassword(QWidget *, const QString &text, const QString &) override
    {
        benchFailed(text);
        return std::nullopt;
    }

private:
    const QString m_workbook;
};

double windowRun(ImportWindow &window, QPushButton *button)
{
    QElapsedTimer clock;
    clock.start();
    button->click();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!window.isRunning())
            loop.quit();
    });
    poll.start(1);
    loop.exec();
    return clock.nsecsElapsed() / 1e9;
}

double batchRun(const QString &program, const QStringList &arguments)
{
    QElapsedTimer clock;
    clock.start();
    QProcess batch;
    batch.setStandardOutputFile(QProcess::nullDevice());
    batch.start(program, arguments);
    if (!batch.waitForFinished(600000) || batch.exitCode() != 0)
        benchFailed("tarvel-batch " + arguments.join(u' ') + ": " + batch.readAllStandardError());
    return clock.nsecsElapsed() / 1e9;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // error reports stay out of the user's files
    ModMain::installErrorPresenter();
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3)
        benchFailed("usage: tarvel_windowbench LOCATION TARVEL_BATCH [ROWS]");
    const QString location = arguments[1];
    const int rows = arguments.size() > 3 ? arguments[3].toInt() : 10000;
    OrbeBase base;
    openFilledDatabase(base, location, rows);
    QTemporaryDir folder;
    const QString workbook = writeBenchWorkbooks(folder.path(), rows).district;
    Answers answers(workbook);
    UserDialogs::setCurrent(&answers);

    DistrictWindow window;
    window.setOrbeBase(&base);
    window.show();
    window.cmdDatei_Click();
    const QStringList batch{"--district", "--database", location, workbook};
    batchRun(arguments[2], QStringList{"import"} + batch);
    QList<double> windowCheck, batchCheck, windowImport, batchImport;
    for (int round = 0; round < 5; ++round) {
        windowCheck << windowRun(window, window.cmdImportTest());
        batchCheck << batchRun(arguments[2], QStringList{"check"} + batch);
        windowImport << windowRun(window, window.cmdImportStarten());
        batchImport << batchRun(arguments[2], QStringList{"import"} + batch);
    }
    for (const auto &[name, inWindow, batchTime] : {std::tuple{"district check", windowCheck, batchCheck},
                                                     std::tuple{"district import (update)", windowImport, batchImport}}) {
        const double limit = 1.5 * median(batchTime) + 1;
        std::printf("  %-26s window %6.2f s   tarvel-batch %6.2f s   limit %6.2f s   %s\n", name, median(inWindow),
                    median(batchTime), limit, median(inWindow) <= limit ? "ok" : "TOO SLOW");
    }
    UserDialogs::setCurrent(nullptr);
    return 0;
}
