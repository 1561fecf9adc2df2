#include "systemopen.h"

#include <QProcess>

namespace {

// xdg-open may start the file's program and wait for it, or fail at once
// ("no method available", exit 3): its status is what it ended with within
// two seconds, or success. It goes on unwatched after that.
const QString Watch = QStringLiteral(
    "command -v xdg-open >/dev/null || exit 127\n"
    "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n"
    "opener=$!\n"
    "for tick in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do\n"
    "  kill -0 \"$opener\" 2>/dev/null || { wait \"$opener\"; exit $?; }\n"
    "  sleep 0.1\n"
    "done\n"
    "exit 0\n");

} // namespace

void openWithSystem(QObject *owner, const QString &path, std::function<void()> complain)
{
    auto *watch = new QProcess(owner);
    QObject::connect(watch, &QProcess::finished, owner, [watch, complain](int status, QProcess::ExitStatus exit) {
        watch->deleteLater();
        if (exit != QProcess::NormalExit || status != 0)
            complain();
    });
    QObject::connect(watch, &QProcess::errorOccurred, owner, [watch, complain](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        watch->deleteLater();
        complain();
    });
    watch->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), Watch, QStringLiteral("sh"), path});
}
