#include "cooperativewindow.h"

#include "cooperativeruns.h"

CooperativeWindow::CooperativeWindow()
    : ImportWindow(CooperativeWindowName, QStringLiteral("Tarvel Hegegemeinschaften"), TwipRect{120, 660, 14415, 7815},
                   {runCooperativeCheck, runCooperativeImport, WorkbookKind::Cooperative})
{
}
