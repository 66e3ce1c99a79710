#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The spool's figures for status pages, metrics and the health check: each current when read, the
// set not taken at one instant.
struct SpoolFigures {
    bool spoolOpen = false;                  // false: no spool, a reading the database cannot take is lost
    bool fileOpen = false;                   // false: the spool holds readings in memory only
    bool databaseAway = false;               // readings go to the spool, not to the database
    bool forwarding = false;                 // the database answers again and the spool is being emptied
    bool refusing = false;                   // the spool refuses readings: neither its file nor memory takes them
    bool fileFailing = false;                // the file refuses writes for a fault (disk full, damaged), not its bound
    std::int64_t readingsHeld = 0;           // in the spool (file and memory), or on their way into it
    std::int64_t bytes = 0;                  // the spool file's pages in use
    std::int64_t limitBytes = 0;             // the spool file's bound
    std::int64_t memoryReadings = 0;         // held in memory while the file cannot take them
    std::int64_t memoryBytes = 0;            // what they take
    std::int64_t memoryLimitBytes = 0;       // the memory's bound
    std::int64_t setAside = 0;               // rows set aside in the spool: their table kept refusing them
    std::int64_t oldestAgeSeconds = 0;       // since the oldest reading held arrived; 0 when none is held
    std::int64_t forwarded = 0;              // readings stored from the spool since start
    std::int64_t refused = 0;                // readings refused since start: neither file nor memory took them
    std::string trouble;                     // why the file does not take readings now; empty while it does
    std::string refusedWhy;                  // why the last reading was refused
    std::string stalled;                     // why forwarding cannot go on (not the database); empty while it can
    std::vector<std::string> failingTables;  // tables whose rows are set aside
};
