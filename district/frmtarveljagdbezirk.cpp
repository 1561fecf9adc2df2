#include "frmtarveljagdbezirk.h"

#include "districtruns.h"

frmTarvelJagdbezirk::frmTarvelJagdbezirk()
    : ImportWindow(DistrictWindowName, QStringLiteral("TarvelJagdbezirk"),
                   TwipRect{60, 600, 13635, 7815})
{
}

void frmTarvelJagdbezirk::runCheck()
{
    runDistrictCheck(*this);
}

void frmTarvelJagdbezirk::runImport()
{
    runDistrictImport(*this);
}
