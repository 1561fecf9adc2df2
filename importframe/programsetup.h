#pragma once

// What every front end of the runs sets first, after making its application
// object: the program's name, which the database component's data folder
// (default database, error log) is named after, and German dates and times
// where the machine has no regional settings (the C locale). Qt's own
// debugging notes and warnings are kept back (shown under test, see qtnotes.h).
void setUpProgram();
