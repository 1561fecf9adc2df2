#pragma once

#include <QProcess>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstring>

// Signals only the process a test means. An id of 0 would signal the test's
// whole process group (ctest and the shell that started it), -1 every process
// the user may signal: a process that has ended, or an id a failed lookup
// left 0, makes the test fail instead, with the reason in why.
inline bool sendSignal(qint64 processId, int signal, QString *why)
{
    if (processId <= 0) {
        *why = QStringLiteral("no process to signal (id %1)").arg(processId);
        return false;
    }
    if (::kill(pid_t(processId), signal) != 0) {
        *why = QStringLiteral("kill(%1, %2): %3").arg(processId).arg(signal).arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

inline bool sendSignal(const QProcess &process, int signal, QString *why)
{
    if (process.state() != QProcess::Running) {
        *why = QStringLiteral("%1 is not running (it ended with %2)").arg(process.program()).arg(process.exitCode());
        return false;
    }
    return sendSignal(process.processId(), signal, why);
}
