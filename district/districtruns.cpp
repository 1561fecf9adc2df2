#include "districtruns.h"

#include "runhost.h"

void runDistrictCheck(RunHost &) {}
void runDistrictImport(RunHost &) {}
