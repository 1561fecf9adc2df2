#pragma once

#include "failure.h"
#include "workbook/sheetreaders.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What every reader target demands of an input: the reader returns a sheet
// within the format's limits or refuses with the workbook error. A crash, a
// hang, a sanitizer report or any other exception is a fault; libFuzzer
// reports the uncaught ones through abort().
template <typename Reader>
void readOrRefuse(Reader read, const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const Worksheet sheet = read(bytes);
        bool beyond = sheet.rowCount() > workbook::kMaxRows;
        for (int row = 1; row <= sheet.rowCount() && !beyond; ++row)
            beyond = !sheet.cellValue(row, Worksheet::MaxColumns + 1).isEmpty();
        if (beyond) {
            std::fprintf(stderr, "sheet beyond the limits: %d rows or a cell right of its columns\n", sheet.rowCount());
            std::abort();
        }
    } catch (const workbook::ReadError &error) {
        if (error.number != ErrorNumber::WorkbookUnreadable || error.reason.isEmpty()) {
            std::fprintf(stderr, "refusal without the workbook error: %ld\n", error.number);
            std::abort();
        }
    }
}
