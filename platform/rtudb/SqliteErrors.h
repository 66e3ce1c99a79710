#pragma once

// The SQLSTATE the program sees for an SQLite failure: 23000 for a refused key or other
// constraint, 42S01 for a table that exists, 42S02 for a missing table, 42000 for a syntax
// error, HY000 for anything else. The code is SQLite's extended result code.
const char* SqlStateForSqlite(int code, const char* message);
