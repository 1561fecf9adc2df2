#include "workbookchoice.h"

#include "orbetools.h"
#include "runhost.h"

#include <algorithm>

WorkbookPathParts splitWorkbookPath(const QString &path)
{
    const qsizetype last = std::max(path.lastIndexOf(QLatin1Char('\\')),
                                    path.lastIndexOf(QLatin1Char('/')));
    return {path.left(last + 1), path.mid(last + 1)};
}

std::optional<WorkbookPathParts> chooseWorkbook(ImportWindowState &state, const QString &path)
{
    state.workbookPath = path;
    if (!OrbeTools::FileExists(path))
        return std::nullopt;
    const WorkbookPathParts parts = splitWorkbookPath(path);
    state.workbookFolder = parts.folder;
    return parts;
}
