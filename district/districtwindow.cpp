#include "districtwindow.h"

#include "districtruns.h"

DistrictWindow::DistrictWindow()
    : ImportWindow(DistrictWindowName, QStringLiteral("TarvelJagdbezirk"), TwipRect{60, 600, 13635, 7815},
                   {runDistrictCheck, runDistrictImport, WorkbookKind::District})
{
}
