#pragma once

#include <QString>

#include <optional>

struct ImportWindowState;

// A chosen workbook path split at its last separator. "\" is what the runs
// expect; "/" is what the file dialog returns on Linux.
struct WorkbookPathParts
{
    QString folder;   // up to and including the last separator, or empty
    QString fileName; // the rest
};
WorkbookPathParts splitWorkbookPath(const QString &path);

// What a chosen path that is no readable file is refused with.
inline const QString WorkbookRejectedText = QStringLiteral("Gültige Datei auswählen");
inline const QString WorkbookRejectedTitle = QStringLiteral("Excel Datei suchen");

// Takes a chosen workbook into the state the runs read: the path always, the
// folder (where the log file goes) only when the file can be read. Returns
// the path's parts, or nothing when the file was refused.
std::optional<WorkbookPathParts> chooseWorkbook(ImportWindowState &state, const QString &path);
