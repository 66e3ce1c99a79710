#include "storage/HistoryRecorder.h"

#include <chrono>
#include <mutex>
#include <random>

#include "storage/EventLog.h"
#include "storage/HistoryCounts.h"
#include "storage/RecordId.h"
#include "storage/StatementTexts.h"
#include "storage/TimeStamp.h"
#include "storage/sql/ComposeStatement.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"
#include "storage/sql/SqlQuote.h"

namespace {

// Names, numbers and a 31-character time text (62 with its quotes doubled) never fill it.
constexpr std::size_t kStatementArea = 512;

// SQLSTATE of a refused duplicate key.
constexpr const char* kDuplicateKey = "23000";

// Retries after a refused key. One is enough within one process (the mutex keeps the table's
// maximum still between the read and the insert). Servers sharing a database race for the keys
// above the maximum, and a busy one hands them out one after another faster than the clock
// ticks: each retry therefore lands a random gap above the maximum, the gap doubling each time.
constexpr int kDuplicateKeyRetries = 8;
constexpr std::uint32_t kFirstRetryGap = 16;

std::uint32_t RetryGap(int attempt) {
    thread_local std::minstd_rand random{std::random_device{}()};
    return 1 + static_cast<std::uint32_t>(random() % (kFirstRetryGap << attempt));
}

std::int64_t MaxRecordId(const CSQLDatabase& database, const std::string& table) {
    CSQLRecordset recordset(database);
    recordset.SetSQL("SELECT MAX(RID) FROM " + table);
    if (!recordset.Open() || !recordset.MoveNext()) return 0;
    const std::string& text = recordset.GetField(1, kValueText);
    return text.empty() ? 0 : std::stoll(text);
}

}  // namespace

template <class Compose>
bool CHistoryRecorder::Insert(const std::string& table, Compose compose) {
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
    for (int attempt = 0; attempt < kDuplicateKeyRetries; ++attempt) {
        if (const RetryResult result = InsertAfterMaximum(table, compose, RetryGap(attempt));
            result != RetryResult::KeyTaken)
            return result == RetryResult::Stored;
    }
    return false;
}

// One retry `gap` above the table's largest RID. Any error but a taken key (the maximum unreadable, the
// connection lost) loses this one row. Later RIDs of this process follow the one used, so that
// the next readings do not meet the same rows again. Call under DatabaseMutex.
template <class Compose>
CHistoryRecorder::RetryResult CHistoryRecorder::InsertAfterMaximum(const std::string& table, Compose compose,
                                                                   std::uint32_t gap) {
    try {
        const auto maximum = static_cast<std::uint32_t>(MaxRecordId(*database_, table));
        const auto rid = static_cast<std::int32_t>(maximum + gap);
        if (!database_->Execute(compose(rid))) return RetryResult::Failed;
        RecordIdUsed(rid);
        return RetryResult::Stored;
    } catch (const CSQLException& error) {
        return error.sqlState == kDuplicateKey ? RetryResult::KeyTaken : RetryResult::Failed;
    } catch (const std::exception&) {
        return RetryResult::Failed;
    }
}

void CHistoryRecorder::WriteChannelInt(int unitId, const char* channelName, int channelNumber, int value,
                                       const char* rtuTime, std::uint8_t state) {
    WriteChannel(unitId, channelName, channelNumber, std::to_string(value & 0xff), value & 0xff, rtuTime, state);
}

void CHistoryRecorder::WriteChannelFloat(int unitId, const char* channelName, int channelNumber, double value,
                                         const char* rtuTime, std::uint8_t state) {
    char text[kStatementArea];
    std::snprintf(text, sizeof text, "%.2f", value);
    WriteChannel(unitId, channelName, channelNumber, text, value, rtuTime, state);
}

void CHistoryRecorder::WriteChannel(int unitId, const char* channelName, int channelNumber,
                                    const std::string& valueText, double value, const char* rtuTime,
                                    std::uint8_t state) {
    char localTime[kTimeStampSize];
    FormatNow(localTime);
    const std::string time = DoubleQuotes(rtuTime);
    const bool indexed = channelNumber >= 0;
    const std::string table =
        std::to_string(unitId) + "_" + channelName + (indexed ? std::to_string(channelNumber) : std::string());
    const auto started = std::chrono::steady_clock::now();
    const bool stored = Insert(table, [&](std::int32_t rid) {
        return ComposeStatement(kStatementArea, kChannelInsertFormat, table.c_str(), rid, valueText.c_str(), localTime,
                                time.c_str(), state);
    });
    historyCounts.Write(stored, started);
    if (!stored) {
        char line[kStatementArea];
        std::snprintf(line, sizeof line, "Write Data To %d_%s Channel %d fail\n", unitId, channelName, channelNumber);
        WriteEventLog(line);
    }
    WriteFullRcds(unitId, channelName, channelNumber, static_cast<float>(value), rtuTime, state, "");
}

bool CHistoryRecorder::WriteFullRcds(int unitId, const char* channelName, int channelNumber, float value,
                                     const char* rtuTime, std::uint8_t state, const char* gpsText) {
    char localTime[kTimeStampSize];
    FormatNow(localTime);
    const std::string time = DoubleQuotes(rtuTime);
    const std::string gps = DoubleQuotes(gpsText);
    const auto started = std::chrono::steady_clock::now();
    const bool stored = Insert("FULLRCDS", [&](std::int32_t rid) {
        return ComposeStatement(kStatementArea, kFullRcdsInsertFormat, rid, unitId, channelName, channelNumber, value,
                                state, gps.c_str(), time.c_str(), localTime);
    });
    historyCounts.Write(stored, started);
    if (!stored) WriteEventLog("Write Data To FullRcds Table fail\n");
    return stored;
}
