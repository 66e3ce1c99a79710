#pragma once

// The SQLSTATE the program sees for an SQLite failure, so that a caller tells a passing failure from
// a lasting one by the SQLSTATE alone, as on PostgreSQL:
// - a file busy or locked by another connection (SQLITE_BUSY, SQLITE_LOCKED, SQLITE_PROTOCOL) ->
//   40001, the transaction could not run now and may be retried as it is;
// - a full disk or database (SQLITE_FULL) -> 53100, out of memory (SQLITE_NOMEM) -> 53200;
// - a failing read or write of the file (SQLITE_IOERR) -> 58030;
// - a refused key or other constraint -> 23000;
// - a table that exists -> 42S01, a missing table -> 42S02, a syntax error -> 42000;
// - anything else -> HY000.
// The code is SQLite's extended result code.
const char* SqlStateForSqlite(int code, const char* message);
