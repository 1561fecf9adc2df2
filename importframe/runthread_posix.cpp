#include "runthread.h"

// A POSIX program exits whatever its threads are still doing: the wait for
// the Qt thread's end is enough.
struct RunThread::SystemThread
{
};

std::shared_ptr<RunThread::SystemThread> RunThread::takeCurrent()
{
    return nullptr;
}

void RunThread::waitForExit(SystemThread &)
{
}
