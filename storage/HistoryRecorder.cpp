#include "storage/HistoryRecorder.h"

#include <mutex>

#include "storage/EventLog.h"
#include "storage/RecordId.h"
#include "storage/TimeStamp.h"
#include "storage/sql/ComposeStatement.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"

namespace {

// Names, numbers and a 31-character time text (62 with its quotes doubled) never fill it.
constexpr std::size_t kStatementArea = 512;

// SQLSTATE of a refused duplicate key.
constexpr const char* kDuplicateKey = "23000";

std::int64_t MaxRecordId(const CSQLDatabase& database, const std::string& table)
{
    CSQLRecordset recordset(database);
    recordset.SetSQL("SELECT MAX(RID) FROM " + table);
    if (!recordset.Open() || !recordset.MoveNext()) return 0;
    const std::string& text = recordset.GetField(1, kValueText);
    return text.empty() ? 0 : std::stoll(text);
}

}  // namespace

std::string DoubleQuotes(const char* text)
{
    std::string doubled;
    for (const char* c = text; c != nullptr && *c != '\0'; ++c) {
        doubled += *c;
        if (*c == '\'') doubled += '\'';
    }
    return doubled;
}

template <class Compose>
bool CHistoryRecorder::Insert(const std::string& table, Compose compose)
{
    std::string statement;
    try {
        statement = compose(NextRecordId());
    } catch (const CSQLException&) {
        return false;
    }
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (database_ == nullptr || !database_->connected) return false;
    try {
        return database_->Execute(statement);
    } catch (const CSQLException& error) {
        if (error.sqlState != kDuplicateKey) return false;
    }
    // Any error here (the table's maximum unreadable, the retry refused too) loses this one row.
    try {
        const auto rid = static_cast<std::uint32_t>(MaxRecordId(*database_, table) + 1);
        return database_->Execute(compose(static_cast<std::int32_t>(rid)));
    } catch (const std::exception&) {
        return false;
    } catch (const CSQLException&) {
        return false;
    }
}

void CHistoryRecorder::WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value,
                                       const char* rtuTime, std::uint8_t state)
{
    WriteChannel(unitId, channelName, channelNumber, std::to_string(value & 0xff), value & 0xff, rtuTime, state);
}

void CHistoryRecorder::WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value,
                                         const char* rtuTime, std::uint8_t state)
{
    char text[kStatementArea];
    std::snprintf(text, sizeof text, "%.2f", value);
    WriteChannel(unitId, channelName, channelNumber, text, value, rtuTime, state);
}

void CHistoryRecorder::WriteChannel(int unitId, const char* channelName, int channelNumber,
                                    const std::string& valueText, double value, const char* rtuTime,
                                    std::uint8_t state)
{
    char localTime[kTimeStampSize];
    FormatNow(localTime);
    const std::string time = DoubleQuotes(rtuTime);
    const bool indexed = channelNumber >= 0;
    const std::string table =
        std::to_string(unitId) + "_" + channelName + (indexed ? std::to_string(channelNumber) : std::string());
    const bool stored = Insert(table, [&](std::int32_t rid) {
        return ComposeStatement(kStatementArea,
                                "INSERT INTO %s(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (%d, %s, '%s', '%s', %d)",
                                table.c_str(), rid, valueText.c_str(), localTime, time.c_str(), state);
    });
    if (!stored) {
        char line[kStatementArea];
        std::snprintf(line, sizeof line, "Write Data To %d_%s Channel %d fail\n", unitId, channelName, channelNumber);
        WriteEventLog(line);
    }
    WriteFullRcds(unitId, channelName, channelNumber, static_cast<float>(value), rtuTime, state, "");
}

bool CHistoryRecorder::WriteFullRcds(int unitId, const char* channelName, int channelNumber, float value,
                                     const char* rtuTime, std::uint8_t state, const char* gpsText)
{
    char localTime[kTimeStampSize];
    FormatNow(localTime);
    const std::string time = DoubleQuotes(rtuTime);
    const std::string gps = DoubleQuotes(gpsText);
    const bool stored = Insert("FULLRCDS", [&](std::int32_t rid) {
        return ComposeStatement(kStatementArea,
                                "INSERT INTO FULLRCDS(RID, UID, RDATACH, RVALUE, RSTATE, RGPS, RTIME, LTIME) VALUES "
                                "(%d, '%d', '%s%d', '%.2f', %d, '%s', '%s', '%s')",
                                rid, unitId, channelName, channelNumber, value, state, gps.c_str(), time.c_str(),
                                localTime);
    });
    if (!stored) WriteEventLog("Write Data To FullRcds Table fail\n");
    return stored;
}
