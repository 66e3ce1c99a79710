#pragma once

#include <cstdint>
#include <string>

class CSQLDatabase;
class RtuTable;

// The arrival time (LTIME, read in the local zone) of the newest stored reading of one unit, in
// milliseconds since 1970; 0 when it has none, -1 when the database did not answer. A handful of
// index lookups per channel the unit has stored, however many rows FULLRCDS holds.
std::int64_t NewestReadingMs(const CSQLDatabase& database, const std::string& uidText);

// Gives every RTU of the table not heard since start its newest stored reading as its last report,
// so that one silent before a restart is silent after it. Run whenever the registry has been read.
//
// Threads: the program's main thread; the statements hold DatabaseMutex.
void RestoreLastReports(const CSQLDatabase& database, RtuTable& table);
