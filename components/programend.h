#pragma once

// How main() ends, once the application object is gone: with the status
// returned, on every platform alike. programend_posix.cpp and
// programend_windows.cpp.
int endProgram(int status);
