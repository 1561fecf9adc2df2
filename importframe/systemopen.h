#pragma once

#include <QString>

#include <functional>

class QObject;

// Opens a local file or folder with the program the system has for it.
// When none takes it, or the system's opener is missing, complain runs on
// the GUI thread: at once, or within about two seconds. owner bounds the
// watching: gone, it complains no more.
void openWithSystem(QObject *owner, const QString &path, std::function<void()> complain);
