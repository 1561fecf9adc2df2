#include "workbookchoice.h"

#include "runhost.h"

std::optional<OrbeTools::PathParts> chooseWorkbook(ImportWindowState &state, const QString &path)
{
    state.workbookPath = path;
    if (!OrbeTools::FileExists(path))
        return std::nullopt;
    const OrbeTools::PathParts parts = OrbeTools::splitPath(path);
    state.workbookFolder = parts.folder;
    return parts;
}
