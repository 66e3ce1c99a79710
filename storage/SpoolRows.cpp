#include "storage/SpoolRows.h"

#include <sqlite3.h>

namespace spool_rows {

const char* const kCreateReadings =
    "CREATE TABLE IF NOT EXISTS readings("
    "seq INTEGER PRIMARY KEY, arrived INTEGER NOT NULL, unit INTEGER NOT NULL, channel TEXT NOT NULL, "
    "number INTEGER NOT NULL, value TEXT NOT NULL, full_value REAL NOT NULL, rtime BLOB NOT NULL, "
    "state INTEGER NOT NULL, gps BLOB NOT NULL, "
    "channel_pending INTEGER NOT NULL, channel_rid INTEGER, channel_ltime TEXT NOT NULL, "
    "full_pending INTEGER NOT NULL, full_rid INTEGER, full_ltime TEXT NOT NULL)";
// A row set aside is the whole reading with only that row pending, the table it was refused by,
// and the failure that kept refusing it.
const char* const kCreateAside =
    "CREATE TABLE IF NOT EXISTS aside("
    "seq INTEGER PRIMARY KEY, arrived INTEGER NOT NULL, unit INTEGER NOT NULL, channel TEXT NOT NULL, "
    "number INTEGER NOT NULL, value TEXT NOT NULL, full_value REAL NOT NULL, rtime BLOB NOT NULL, "
    "state INTEGER NOT NULL, gps BLOB NOT NULL, "
    "channel_pending INTEGER NOT NULL, channel_rid INTEGER, channel_ltime TEXT NOT NULL, "
    "full_pending INTEGER NOT NULL, full_rid INTEGER, full_ltime TEXT NOT NULL, "
    "table_name TEXT NOT NULL, sqlstate TEXT NOT NULL, message BLOB NOT NULL, set_aside_at INTEGER NOT NULL)";
const char* const kColumns =
    "seq, arrived, unit, channel, number, value, full_value, rtime, state, gps, "
    "channel_pending, channel_rid, channel_ltime, full_pending, full_rid, full_ltime";
const char* const kInsertColumns =
    "arrived, unit, channel, number, value, full_value, rtime, state, gps, "
    "channel_pending, channel_rid, channel_ltime, full_pending, full_rid, full_ltime";

namespace {

std::string Text(sqlite3_stmt* statement, int column) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return std::string(bytes != nullptr ? bytes : "",
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

void BindBytes(sqlite3_stmt* statement, int index, const std::string& bytes) {
    sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

std::optional<std::int32_t> Rid(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int(statement, column);
}

}  // namespace

SpooledReading ReadReading(sqlite3_stmt* statement) {
    SpooledReading spooled;
    spooled.sequence = sqlite3_column_int64(statement, 0);
    spooled.arrivedAt = sqlite3_column_int64(statement, 1);
    HistoryReading& reading = spooled.reading;
    reading.unitId = sqlite3_column_int(statement, 2);
    reading.channelName = Text(statement, 3);
    reading.channelNumber = sqlite3_column_int(statement, 4);
    reading.valueText = Text(statement, 5);
    reading.fullValue = static_cast<float>(sqlite3_column_double(statement, 6));
    reading.rtuTime = Text(statement, 7);
    reading.state = static_cast<std::uint8_t>(sqlite3_column_int(statement, 8));
    reading.gpsText = Text(statement, 9);
    spooled.channel = {sqlite3_column_int(statement, 10) != 0, Rid(statement, 11), Text(statement, 12)};
    spooled.fullRcds = {sqlite3_column_int(statement, 13) != 0, Rid(statement, 14), Text(statement, 15)};
    return spooled;
}

void BindReading(sqlite3_stmt* statement, int first, const SpooledReading& spooled) {
    const HistoryReading& reading = spooled.reading;
    sqlite3_bind_int64(statement, first, spooled.arrivedAt);
    sqlite3_bind_int(statement, first + 1, reading.unitId);
    BindText(statement, first + 2, reading.channelName);
    sqlite3_bind_int(statement, first + 3, reading.channelNumber);
    BindText(statement, first + 4, reading.valueText);
    sqlite3_bind_double(statement, first + 5, reading.fullValue);
    BindBytes(statement, first + 6, reading.rtuTime);
    sqlite3_bind_int(statement, first + 7, reading.state);
    BindBytes(statement, first + 8, reading.gpsText);
    sqlite3_bind_int(statement, first + 9, spooled.channel.pending ? 1 : 0);
    BindRid(statement, first + 10, spooled.channel.rid);
    BindText(statement, first + 11, spooled.channel.localTime);
    sqlite3_bind_int(statement, first + 12, spooled.fullRcds.pending ? 1 : 0);
    BindRid(statement, first + 13, spooled.fullRcds.rid);
    BindText(statement, first + 14, spooled.fullRcds.localTime);
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void BindRid(sqlite3_stmt* statement, int index, const std::optional<std::int32_t>& rid) {
    if (rid)
        sqlite3_bind_int(statement, index, *rid);
    else
        sqlite3_bind_null(statement, index);
}

std::int64_t Number(sqlite3* db, const char* query) {
    sqlite3_stmt* statement = nullptr;
    std::int64_t number = 0;
    if (sqlite3_prepare_v2(db, query, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        number = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return number;
}

}  // namespace spool_rows
