#include "fuzzreader.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readOrRefuse(
        [](const QByteArray &bytes) {
            QBuffer text;
            text.setData(bytes);
            text.open(QIODevice::ReadOnly);
            return workbook::readCsv(text);
        },
        data, size);
    return 0;
}
