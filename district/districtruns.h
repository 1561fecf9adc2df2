#pragma once

#include <QString>

#include <optional>

class RunHost;

// The window the runs belong to; every front end reports their failures
// with this place.
inline const QString DistrictWindowName = QStringLiteral("frmTarvelJagdbezirk");

// The district window's runs. Each is one trapped procedure; a failure is
// reported with the host's place and the procedure's name and ends the run.
// Each returns false when it ended through its failure trap.

// "Test" (cmdImportTest_Click(): lists each row's district as the database
// knows it, writes nothing, and enables "Import Starten" at its end unless it
// was cancelled.
bool runDistrictCheck(RunHost &host);

// "Import Starten" (cmdImportStarten_Click): adds or updates each found row's
// assessment record, logs every row, writes the log file.
bool runDistrictImport(RunHost &host);

// The running number (column 2, trimmed) of a district workbook row. Anything
// but a whole number is refused (TypeMismatch, naming the row). A whole number
// beyond what any integer column holds (64 bits) gives none: nothing has it.
std::optional<qlonglong> districtNumber(const QString &runningNumber, int row);
