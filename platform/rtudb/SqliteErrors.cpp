#include "platform/rtudb/SqliteErrors.h"

#include <sqlite3.h>

#include <cstring>

namespace {

// The state of a primary result code that says what went wrong by itself; null for one whose
// message says it.
const char* StateOfCode(int primary) {
    switch (primary) {
        case SQLITE_CONSTRAINT:
            return "23000";
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_PROTOCOL:
            return "40001";
        case SQLITE_FULL:
            return "53100";
        case SQLITE_NOMEM:
            return "53200";
        case SQLITE_IOERR:
            return "58030";
        default:
            return nullptr;
    }
}

}  // namespace

const char* SqlStateForSqlite(int code, const char* message) {
    if (const char* state = StateOfCode(code & 0xff)) return state;
    if (message == nullptr) return "HY000";
    if (std::strstr(message, "already exists") != nullptr) return "42S01";
    if (std::strstr(message, "no such table") != nullptr) return "42S02";
    if (std::strstr(message, "syntax error") != nullptr || std::strstr(message, "incomplete input") != nullptr ||
        std::strstr(message, "unrecognized token") != nullptr)
        return "42000";
    return "HY000";
}
