#pragma once

#include <cstdint>
#include <string>

#include "storage/SpooledReading.h"

struct sqlite3;
struct sqlite3_stmt;

// The spool file's layout: the table of readings and the table of rows set aside, and a reading's
// columns to and from a statement. Texts from the network (the RTU time, the GPS text) are kept as
// bytes: they need not be UTF-8.
namespace spool_rows {

// Spool files of this layout say so in their user_version. Layout 1 had no table of rows set aside.
constexpr int kLayoutVersion = 2;

extern const char* const kCreateReadings;
extern const char* const kCreateAside;
// The reading's columns in the order ReadReading takes them, the first being the sequence.
extern const char* const kColumns;
// The reading's columns from "arrived" on, as BindReading binds them from `first`: 15 values.
extern const char* const kInsertColumns;
constexpr int kInsertValues = 15;

SpooledReading ReadReading(sqlite3_stmt* statement);
void BindReading(sqlite3_stmt* statement, int first, const SpooledReading& spooled);

void BindText(sqlite3_stmt* statement, int index, const std::string& text);
void BindRid(sqlite3_stmt* statement, int index, const std::optional<std::int32_t>& rid);
// The first column of a query's first row as a number; 0 when there is none.
std::int64_t Number(sqlite3* db, const char* query);

}  // namespace spool_rows
