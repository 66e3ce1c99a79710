#include "storage/HistoryRowWriter.h"

#include <chrono>
#include <mutex>
#include <random>

#include "storage/HistoryCounts.h"
#include "storage/RecordId.h"
#include "storage/TransientFailure.h"
#include "storage/sql/DatabaseMutex.h"
#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLRecordset.h"

namespace {

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

// The first column of the first row of a query, as a number; 0 for none or NULL.
std::int64_t FirstNumber(const CSQLDatabase& database, const std::string& query) {
    CSQLRecordset recordset(database);
    recordset.SetSQL(query);
    if (!recordset.Open() || !recordset.MoveNext()) return 0;
    const std::string& text = recordset.GetField(1, kValueText);
    return text.empty() ? 0 : std::stoll(text);
}

RowOutcome Outcome(RowOutcome::Result result, std::int32_t rid, CSQLException error = {}) {
    RowOutcome outcome;
    outcome.result = result;
    outcome.rid = rid;
    outcome.error = std::move(error);
    return outcome;
}

RowOutcome Failure(const CSQLException& error, std::int32_t rid) {
    return Outcome(IsTransientFailure(error) ? RowOutcome::Result::Transient : RowOutcome::Result::Refused, rid, error);
}

CSQLException Problem(const char* sqlState, const std::string& message) {
    CSQLException error;
    error.sqlState = sqlState;
    error.message = message;
    return error;
}

}  // namespace

// Every row tried is counted for monitoring, whoever writes it (a worker, the forwarder).
RowOutcome HistoryRowWriter::Insert(const HistoryReading& reading, HistoryRowKind kind, const std::string& localTime,
                                    const Options& options) const {
    const auto started = std::chrono::steady_clock::now();
    RowOutcome outcome = Attempt(reading, kind, localTime, options);
    if (outcome.result != RowOutcome::Result::Diverted)
        historyCounts.Write(outcome.result == RowOutcome::Result::Stored, started);
    return outcome;
}

RowOutcome HistoryRowWriter::Attempt(const HistoryReading& reading, HistoryRowKind kind, const std::string& localTime,
                                     const Options& options) const {
    const std::int32_t rid = options.rid ? *options.rid : NextRecordId();
    std::string statement;
    try {
        statement = RowInsert(reading, kind, rid, localTime);
    } catch (const CSQLException& error) {
        return Outcome(RowOutcome::Result::Refused, rid, error);
    }
    std::lock_guard<std::recursive_mutex> lock(DatabaseMutex);
    if (database_ == nullptr || !database_->connected) return Outcome(RowOutcome::Result::NotConnected, rid);
    if (options.divert && options.divert()) return Outcome(RowOutcome::Result::Diverted, rid);
    try {
        if (database_->Execute(statement)) return Outcome(RowOutcome::Result::Stored, rid);
        return Outcome(RowOutcome::Result::Refused, rid, Problem("02000", "no row inserted"));
    } catch (const CSQLException& error) {
        if (error.sqlState != kDuplicateKey) return Failure(error, rid);
    }
    return AfterTakenKey(reading, kind, localTime, rid, options);
}

// A RID given by the caller was tried before, by a write whose outcome is unknown (it timed out,
// or the process ended before it noted the commit): the row under it may be this very one. Call
// under DatabaseMutex.
RowOutcome HistoryRowWriter::AfterTakenKey(const HistoryReading& reading, HistoryRowKind kind,
                                           const std::string& localTime, std::int32_t rid,
                                           const Options& options) const {
    if (options.rid && options.ridTriedBefore) {
        try {
            const std::string query =
                "SELECT COUNT(*) FROM " + RowTable(reading, kind) + " WHERE " + RowKey(reading, kind, rid, localTime);
            if (FirstNumber(*database_, query) > 0) return Outcome(RowOutcome::Result::Stored, rid);
        } catch (const CSQLException& error) {
            return Failure(error, rid);
        } catch (const std::exception& error) {
            return Outcome(RowOutcome::Result::Refused, rid, Problem("HY000", error.what()));
        }
    }
    return RetryAboveMaximum(reading, kind, localTime, rid, options);
}

// Retries a random gap above the table's largest RID. Later RIDs of this process follow the one
// used, so that the next readings do not meet the same rows again. Call under DatabaseMutex.
RowOutcome HistoryRowWriter::RetryAboveMaximum(const HistoryReading& reading, HistoryRowKind kind,
                                               const std::string& localTime, std::int32_t rid,
                                               const Options& options) const {
    CSQLException taken = Problem(kDuplicateKey, "every RID tried was taken");
    for (int attempt = 0; attempt < kDuplicateKeyRetries; ++attempt) {
        try {
            const auto maximum =
                static_cast<std::uint32_t>(FirstNumber(*database_, "SELECT MAX(RID) FROM " + RowTable(reading, kind)));
            rid = static_cast<std::int32_t>(maximum + RetryGap(attempt));
            const std::string statement = RowInsert(reading, kind, rid, localTime);
            if (options.beforeRetry && !options.beforeRetry(rid))
                return Outcome(RowOutcome::Result::Transient, rid, Problem("HYT00", "the write was given up"));
            if (!database_->Execute(statement))
                return Outcome(RowOutcome::Result::Refused, rid, Problem("02000", "no row inserted"));
            RecordIdUsed(rid);
            return Outcome(RowOutcome::Result::Stored, rid);
        } catch (const CSQLException& error) {
            if (error.sqlState != kDuplicateKey) return Failure(error, rid);
            taken = error;
        } catch (const std::exception& error) {
            return Outcome(RowOutcome::Result::Refused, rid, Problem("HY000", error.what()));
        }
    }
    return Outcome(RowOutcome::Result::Refused, rid, taken);
}
