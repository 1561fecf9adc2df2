#include "sheetreaders.h"
#include "ziparchive.h"
namespace workbook {
Worksheet readOds(const ZipArchive &) { refuse(QStringLiteral("OpenDocument folgt.")); }
}
