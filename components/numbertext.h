#pragma once

#include <QString>

// A number as Tarvel writes it wherever a user reads one, a workbook cell's or
// a database field's alike: whole numbers as their digits without decimals
// (up to 1e21, beyond which a double holds no more digits), others in the
// shortest form that reads back as the same number, with a decimal comma; a
// number that is none (infinite, NaN) as "#ZAHL!".
QString numberText(double value);
