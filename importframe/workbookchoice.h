#pragma once

#include "orbetools.h"

#include <QString>

#include <optional>

struct ImportWindowState;

// What a chosen path that is no readable file is refused with.
inline const QString WorkbookRejectedText = QStringLiteral("Gültige Datei auswählen");
inline const QString WorkbookRejectedTitle = QStringLiteral("Excel Datei suchen");

// Takes a chosen workbook into the state the runs read: the path always, the
// folder (where the log file goes) only when the file can be read. Returns
// the path's parts ("\\" is what the runs expect, "/" what the file dialog
// returns on Linux), or nothing when the file was refused.
std::optional<OrbeTools::PathParts> chooseWorkbook(ImportWindowState &state, const QString &path);
