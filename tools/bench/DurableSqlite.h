#pragma once

#include <sqlite3.h>

#include <filesystem>

// Raw SQLite with the RTUDB driver's durability (WAL, synchronous=FULL) and the channel table
// "12_AIN0", for the ceilings the database benchmarks compare against; null when it cannot open.
inline sqlite3* OpenDurableSqlite(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
    sqlite3_exec(db,
                 "CREATE TABLE \"12_AIN0\"(RID INT PRIMARY KEY, RVALUE FLOAT, RTIME TEXT(32), LTIME TEXT(32), "
                 "RTYPE INT)",
                 nullptr, nullptr, nullptr);
    return db;
}
