#pragma once

class RunHost;

// The district window's runs. Each is one trapped procedure; a failure is
// reported with the host's place and the procedure's name.
// "Test": cmdImportTest_Click(
void runDistrictCheck(RunHost &host);
// "Import Starten": cmdImportStarten_Click
void runDistrictImport(RunHost &host);
