#pragma once

#include <QString>

class RunHost;

// The window the runs belong to; every front end reports their failures
// with this place.
inline const QString CooperativeWindowName = QStringLiteral("frmTarvel");

// The cooperative window's runs. Each is one trapped procedure; a failure is
// reported with the host's place and the procedure's name and ends the run.
// Each returns false when it ended through its failure trap.

// "Test" (cmdImportTest_Click(): shows the expected and the found layout, then
// each cooperative with the assessment records the database holds for it;
// writes nothing and enables "Import Starten" at its end unless it was cancelled.
bool runCooperativeCheck(RunHost &host);

// "Import Starten" (cmdImportStarten_Click): adds or updates each found row's
// assessment record, logs every row, writes the log file.
bool runCooperativeImport(RunHost &host);

// The filter that finds a cooperative's collection by its number (trimmed Hgnr
// of that row), a quote inside doubled. A number that no collection has, however
// long, simply finds nothing.
QString cooperativeFilter(const QString &cooperativeNumber);
