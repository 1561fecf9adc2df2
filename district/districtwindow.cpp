#include "districtwindow.h"

#include "districtruns.h"

DistrictWindow::DistrictWindow()
    : ImportWindow(DistrictWindowName, QStringLiteral("TarvelJagdbezirk"),
                   TwipRect{60, 600, 13635, 7815})
{
}

void DistrictWindow::runCheck()
{
    runDistrictCheck(*this);
}

void DistrictWindow::runImport()
{
    runDistrictImport(*this);
}
