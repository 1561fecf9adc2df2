#pragma once

#include <QByteArray>

#include <cstdio>

// Text on standard output and error, alike on every platform: UTF-8 bytes as
// they are, or on a Windows console its characters (a console shows bytes in
// a code page of its own). consoletext_posix.cpp and consoletext_windows.cpp.

// Writes UTF-8 text to the stream and flushes it; false when not all of it
// was written.
bool writeUtf8(std::FILE *stream, const QByteArray &text);

// Whether the stream is a terminal or console.
bool isTerminal(std::FILE *stream);
