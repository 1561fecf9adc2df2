#include "cooperativeruns.h"

#include "runhost.h"

void runCooperativeCheck(RunHost &) {}
void runCooperativeImport(RunHost &) {}
