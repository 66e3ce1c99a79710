#pragma once

#include <cstdint>
#include <optional>
#include <string>

// One accepted reading as the history keeps it: a row in the RTU's channel table and a row in
// FULLRCDS.
struct HistoryReading {
    int unitId = 0;
    std::string channelName;  // DIN, AIN, BATT, ...
    int channelNumber = -1;   // -1 for a channel without index
    std::string valueText;    // the channel table's value as written: "1" or "12.30"
    float fullValue = 0;      // FULLRCDS's value, which passes through single precision
    std::string rtuTime;      // the RTU's own time text, unchanged
    std::uint8_t state = 0;
    std::string gpsText;  // FULLRCDS's RGPS
};

enum class HistoryRowKind { Channel, FullRcds };

// Where one of the two rows of a reading stands on its way to the database.
struct RowProgress {
    bool pending = true;              // not stored yet, nor given up
    std::optional<std::int32_t> rid;  // a RID under which the row may already be stored
    std::string localTime;            // the row's LTIME
};

// The table a row goes to: "12_AIN1", "12_BATT" or "FULLRCDS".
std::string RowTable(const HistoryReading& reading, HistoryRowKind kind);

// The row's INSERT for a RID and an LTIME. Throws CSQLException (22001) when it would not fit the
// statement area, which the fixed names and a 31-character time text never fill.
std::string RowInsert(const HistoryReading& reading, HistoryRowKind kind, std::int32_t rid,
                      const std::string& localTime);

// The condition that holds for this very row under `rid`: its RID, LTIME, RTIME, value and state,
// and in FULLRCDS its unit and channel too. Tells a row an earlier attempt stored from another's.
std::string RowKey(const HistoryReading& reading, HistoryRowKind kind, std::int32_t rid, const std::string& localTime);
