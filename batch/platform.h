#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>

// The few calls of tarvel-batch that differ between operating systems. This
// file's POSIX implementation is platform_posix.cpp; a port replaces only that.

// Whether the stream is a terminal (the progress line is shown only there).
bool isTerminal(std::FILE *stream);

// From here on the first interrupt, termination or hang-up signal asks the run
// to stop after its current row, and ends a wait for the database at once; a
// second one ends the program at once. A write to a closed pipe is an error
// the program reports, not a signal that ends it.
void catchCancelSignals();

// The signal that asked for the stop; 0 while none came.
int cancelSignal();

// Makes a link at link, a name Qt can take, to the file or folder that the
// system names by nativePath (its bytes as the system passed them): Qt's file
// functions take only names in UTF-8. False when the link could not be made.
bool linkToNative(const QByteArray &nativePath, const QString &link);
