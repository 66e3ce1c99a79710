#pragma once

#include <string>

// The SQLSTATE the program sees for a PostgreSQL failure, from the server's five-character code
// (empty for an error libpq made itself) and whether the connection is still up:
// - any integrity violation (class 23) -> 23000, as a refused key is in SQLite;
// - duplicate table 42P07 -> 42S01, undefined table 42P01 -> 42S02, syntax 42601 -> 42000;
// - no operator for the operand types (42883), as when a text column meets a bare number:
//   42000, with a message that says so (SQLite would compare as text; a refusal is never
//   silently different rows);
// - a lost connection (class 08, or the server shutting down: 57P01 to 57P03, or the link
//   gone) -> 08S01;
// - anything else -> HY000, with the server's own code at the end of the message:
//   "... (SQLSTATE 53100)"; a message without a code that says the disk is full gets 53100.
struct MappedError {
    std::string sqlState;
    std::string message;
};

MappedError MapPostgresError(const std::string& serverState, const std::string& message, bool connectionLost);
