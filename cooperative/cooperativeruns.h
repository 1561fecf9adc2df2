#pragma once

class RunHost;

// The cooperative window's runs. Each is one trapped procedure; a failure is
// reported with the host's place and the procedure's name.
// "Test": cmdImportTest_Click(
void runCooperativeCheck(RunHost &host);
// "Import Starten": cmdImportStarten_Click
void runCooperativeImport(RunHost &host);
