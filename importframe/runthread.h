#pragma once

#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

// A run's thread, owned from its start to its end. A Qt thread, so that Qt
// keeps the thread's own data for the objects made on it (a database
// connection) the way it does for its threads; joined, it has ended as the
// system knows it: on Windows QThread::wait() returns once the function has
// returned, before the system's thread has exited, and a program leaving
// then could hang in the runtime's process detach.
class RunThread
{
public:
    RunThread() = default;
    ~RunThread();
    RunThread(const RunThread &) = delete;
    RunThread &operator=(const RunThread &) = delete;

    // Starts work on a thread of its own, then ended (called on that thread
    // once isFinished() is true); a thread started before must have been joined.
    void start(std::function<void()> work, std::function<void()> ended);
    bool isStarted() const { return m_thread != nullptr; }
    // The work has returned (the thread may still be ending).
    bool isFinished() const { return m_finished && *m_finished; }
    // Waits until the thread has exited.
    void join();

private:
    // Per platform (runthread_posix.cpp, runthread_windows.cpp): what the
    // thread takes of itself first, and the wait for its exit after QThread::wait().
    struct SystemThread;
    static std::shared_ptr<SystemThread> takeCurrent();
    static void waitForExit(SystemThread &thread);

    std::unique_ptr<QThread> m_thread;
    std::shared_ptr<std::atomic<bool>> m_finished;
    std::shared_ptr<std::shared_ptr<SystemThread>> m_system;
};
