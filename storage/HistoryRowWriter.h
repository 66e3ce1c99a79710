#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "storage/HistoryReading.h"
#include "storage/sql/SQLException.h"

class CSQLDatabase;

// What became of one row.
struct RowOutcome {
    enum class Result {
        Stored,        // committed (or found stored by an earlier attempt under the given RID)
        Refused,       // a failure no retry mends: `error` says which
        Transient,     // the database could not take it now: `error`; `rid` may hold the row
        NotConnected,  // no database, or not connected: nothing was tried
        Diverted,      // the caller's divert test said no when the lock was taken: nothing was tried
    };
    Result result = Result::NotConnected;
    std::int32_t rid = 0;
    CSQLException error;
};

// Inserts history rows one statement at a time under DatabaseMutex, each committed on its own.
// The RID is the next of this process (RecordId.h) unless the caller gives one; a taken key is
// retried above the table's largest RID (rows of an earlier run, a wrapped tick, another server
// writing the same tables at the same moment). A given RID that an earlier INSERT may have used
// is checked when it is taken: when the row holding it is this very row (same RID, times, value,
// state and, in FULLRCDS, unit and channel), that attempt stored it and the row counts as stored.
//
// Threads: any, at once; the statement is composed before the lock is taken.
class HistoryRowWriter {
public:
    struct Options {
        std::optional<std::int32_t> rid;                // try this RID first
        bool ridTriedBefore = true;                     // an earlier INSERT may have stored the row under it
        std::function<bool()> divert;                   // asked under the lock; true: do not run
        std::function<bool(std::int32_t)> beforeRetry;  // told each new RID before its INSERT runs; false: stop
    };

    // `database` is not owned; null means no database.
    explicit HistoryRowWriter(CSQLDatabase* database) : database_(database) {}

    RowOutcome Insert(const HistoryReading& reading, HistoryRowKind kind, const std::string& localTime,
                      const Options& options) const;

private:
    RowOutcome Attempt(const HistoryReading& reading, HistoryRowKind kind, const std::string& localTime,
                       const Options& options) const;
    RowOutcome AfterTakenKey(const HistoryReading& reading, HistoryRowKind kind, const std::string& localTime,
                             std::int32_t rid, const Options& options) const;
    // `rid` is the last RID tried, which the outcome names until another is.
    RowOutcome RetryAboveMaximum(const HistoryReading& reading, HistoryRowKind kind, const std::string& localTime,
                                 std::int32_t rid, const Options& options) const;

    CSQLDatabase* database_;
};
