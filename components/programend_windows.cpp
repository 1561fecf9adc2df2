#include "programend.h"

#include <windows.h>

#include <process.h>

// The C runtime's end (the program's static objects, the streams flushed),
// then the system's, without the libraries' detach: the MinGW C++ runtime's
// detach can wait for ever on a lock of its thread-local objects that a
// thread ended long before left taken (seen under Wine, in about one of ten
// window tests that ran an import, with no other thread left). Every thread
// of the program has been joined and every file closed by then: nothing is
// left for a library to finish.
int endProgram(int status)
{
    _cexit();
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(status));
    return status;
}
