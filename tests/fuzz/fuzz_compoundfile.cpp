#include "fuzzreader.h"
#include "workbook/compoundfile.h"

// The container of .xls workbooks alone, without the records inside: looks
// up the streams the reader asks for and reads each one found. Its sheet is
// empty; the harness checks the refusals.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readOrRefuse(
        [](const QByteArray &bytes) {
            const workbook::CompoundFile container(bytes);
            for (const char16_t *name : {u"Workbook", u"Book", u"EncryptedPackage"})
                if (const auto stream = container.find(QStringView(name)))
                    container.read(*stream);
            return Worksheet();
        },
        data, size);
    return 0;
}
