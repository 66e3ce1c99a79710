#include "storage/HistoryReading.h"

#include <cstdio>

#include "storage/StatementTexts.h"
#include "storage/sql/ComposeStatement.h"
#include "storage/sql/SqlQuote.h"

namespace {

// Names, numbers and a 31-character time text (62 with its quotes doubled) never fill it.
constexpr std::size_t kStatementArea = 512;

}  // namespace

std::string RowTable(const HistoryReading& reading, HistoryRowKind kind) {
    if (kind == HistoryRowKind::FullRcds) return "FULLRCDS";
    const bool indexed = reading.channelNumber >= 0;
    return std::to_string(reading.unitId) + "_" + reading.channelName +
           (indexed ? std::to_string(reading.channelNumber) : std::string());
}

std::string RowInsert(const HistoryReading& reading, HistoryRowKind kind, std::int32_t rid,
                      const std::string& localTime) {
    const std::string time = DoubleQuotes(reading.rtuTime);
    if (kind == HistoryRowKind::Channel)
        return ComposeStatement(kStatementArea, kChannelInsertFormat, RowTable(reading, kind).c_str(), rid,
                                reading.valueText.c_str(), localTime.c_str(), time.c_str(), reading.state);
    const std::string gps = DoubleQuotes(reading.gpsText);
    return ComposeStatement(kStatementArea, kFullRcdsInsertFormat, rid, reading.unitId, reading.channelName.c_str(),
                            reading.channelNumber, reading.fullValue, reading.state, gps.c_str(), time.c_str(),
                            localTime.c_str());
}

std::string RowKey(const HistoryReading& reading, HistoryRowKind kind, std::int32_t rid, const std::string& localTime) {
    std::string key = "RID=" + std::to_string(rid) + " AND LTIME='" + DoubleQuotes(localTime) + "' AND RTIME='" +
                      DoubleQuotes(reading.rtuTime) + "'";
    if (kind == HistoryRowKind::Channel)
        return key + " AND RVALUE=" + reading.valueText + " AND RTYPE=" + std::to_string(reading.state);
    char value[kStatementArea];
    std::snprintf(value, sizeof value, "%.2f", reading.fullValue);
    return key + " AND UID='" + std::to_string(reading.unitId) + "' AND RDATACH='" + reading.channelName +
           std::to_string(reading.channelNumber) + "' AND RVALUE='" + value +
           "' AND RSTATE=" + std::to_string(reading.state);
}
