#include "runthread.h"

#include <windows.h>

// The thread's own handle, taken as it begins: signalled once the system's
// thread has exited, its runtime's thread data freed.
struct RunThread::SystemThread
{
    HANDLE handle = nullptr;
    ~SystemThread()
    {
        if (handle)
            ::CloseHandle(handle);
    }
};

std::shared_ptr<RunThread::SystemThread> RunThread::takeCurrent()
{
    auto thread = std::make_shared<SystemThread>();
    if (!::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &thread->handle,
                           SYNCHRONIZE, FALSE, 0))
        thread->handle = nullptr;
    return thread;
}

void RunThread::waitForExit(SystemThread &thread)
{
    if (thread.handle)
        ::WaitForSingleObject(thread.handle, INFINITE);
}
