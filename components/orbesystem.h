#pragma once

// The database systems Tarvel speaks.
enum class DatabaseSystem { SQLite, PostgreSQL, MariaDB };
