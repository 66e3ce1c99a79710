#include "platform/rtudb/SqliteErrors.h"

#include <sqlite3.h>

#include <cstring>

const char* SqlStateForSqlite(int code, const char* message) {
    if ((code & 0xff) == SQLITE_CONSTRAINT) return "23000";
    if (message == nullptr) return "HY000";
    if (std::strstr(message, "already exists") != nullptr) return "42S01";
    if (std::strstr(message, "no such table") != nullptr) return "42S02";
    if (std::strstr(message, "syntax error") != nullptr || std::strstr(message, "incomplete input") != nullptr ||
        std::strstr(message, "unrecognized token") != nullptr)
        return "42000";
    return "HY000";
}
