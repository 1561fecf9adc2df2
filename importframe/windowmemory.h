#pragma once

#include <QSize>
#include <QString>

class QWidget;

// What the program remembers between its starts (QSettings, under the names
// set at start-up): each window's place and size, by its object name, and the
// folder of the last workbook chosen.

// The remembered place and size, or else designSize (pixels), never larger
// than the screen's available area.
void restoreWindowPlace(QWidget *window, QSize designSize);
void rememberWindowPlace(const QWidget *window);

QString lastWorkbookFolder();
void rememberWorkbookFolder(const QString &folder);
