#pragma once

#include <QString>

class OrbeBase;
class OrbeConnection;

// What the benchmarks run on: a database of 10,000 districts and 10,000
// cooperatives (or as many as asked) and a workbook of each kind.

// Opens the database at location, an SQLite file that does not exist yet or
// an empty PostgreSQL database, with the schema, and fills it: collections
// 1..n of kind 1 with one district each, known in two hunting years;
// collections n+1..2n of kind 2 (cooperatives, numbers "1".."n"); a record
// for every other district in 2021, so that an import both adds and updates.
// Ends the program when that fails.
void openFilledDatabase(OrbeBase &base, const QString &location, int n);

// The records back as openFilledDatabase() left them.
void resetRecords(OrbeConnection &connection, int n);

// A district and a cooperative workbook of n - 1 rows in folder (every
// 20th number unknown); returns their paths.
struct BenchWorkbooks
{
    QString district;
    QString cooperative;
};
BenchWorkbooks writeBenchWorkbooks(const QString &folder, int n);

// Ends the program with the message on standard error.
[[noreturn]] void benchFailed(const QString &message);
