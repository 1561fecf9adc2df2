#pragma once

// The database system behind a connection and the way it is reached: where
// their SQL or their drivers differ, the component asks this.
enum class DatabaseSystem { SQLite, PostgreSQL, MariaDB };

struct Dialect
{
    DatabaseSystem system = DatabaseSystem::SQLite;
    // Through an ODBC driver, not Qt's own driver for the system.
    bool odbc = false;

    bool isPostgres() const { return system == DatabaseSystem::PostgreSQL; }
    bool isSqlite() const { return system == DatabaseSystem::SQLite; }
    bool isMariaDb() const { return system == DatabaseSystem::MariaDB; }
    // Qt's own SQLite driver, whose sqlite3 handle the component reaches.
    bool isNativeSqlite() const { return isSqlite() && !odbc; }
};
