#include "frmtarvel.h"

#include "cooperativeruns.h"

frmTarvel::frmTarvel()
    : ImportWindow(CooperativeWindowName, QStringLiteral("Tarvel Hegegemeinschaften"),
                   TwipRect{120, 660, 14415, 7815})
{
}

void frmTarvel::runCheck()
{
    runCooperativeCheck(*this);
}

void frmTarvel::runImport()
{
    runCooperativeImport(*this);
}
