#include "fuzzreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readOrRefuse([](const QByteArray &bytes) { return workbook::readXls(bytes); }, data, size);
    return 0;
}
