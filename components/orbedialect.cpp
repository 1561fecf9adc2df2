#include "orbedialect.h"

const OrbeDialect &sqliteDialect();
const OrbeDialect &postgresDialect();
const OrbeDialect &mariaDbDialect();

const OrbeDialect &dialectOf(DatabaseSystem system)
{
    switch (system) {
    case DatabaseSystem::PostgreSQL:
        return postgresDialect();
    case DatabaseSystem::MariaDB:
        return mariaDbDialect();
    case DatabaseSystem::SQLite:
        break;
    }
    return sqliteDialect();
}
