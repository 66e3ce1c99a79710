#pragma once

#include <cstdint>

// The spool's figures for status pages and metrics: relaxed counters read one by one, so each is
// current but the set is not taken at one instant.
struct SpoolFigures {
    bool spoolOpen = false;             // false: no spool, a reading the database cannot take is lost
    bool databaseAway = false;          // readings go to the spool, not to the database
    bool forwarding = false;            // the database answers again and the spool is being emptied
    std::int64_t readingsHeld = 0;      // in the spool, or on their way into it
    std::int64_t bytes = 0;             // the spool file's pages in use
    std::int64_t limitBytes = 0;        // the spool's bound
    std::int64_t oldestAgeSeconds = 0;  // since the oldest reading held arrived; 0 when none is held
    std::int64_t forwarded = 0;         // readings stored from the spool since start
    std::int64_t refused = 0;           // readings refused since start because the spool was full
};
