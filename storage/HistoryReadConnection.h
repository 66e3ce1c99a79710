#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "storage/HistoryView.h"

class CSQLDatabase;

// How a history read ended.
enum class HistoryReadEnd {
    kDone,        // every row read
    kFailed,      // the statement failed: no such table, a condition the engine rejects
    kTimedOut,    // cancelled past the query's time budget; the rows read until then stay
    kNoDatabase,  // the database is not open, or this connection to it cannot be made
};

// The history readers' own connection to the database the history writers use (the program's one
// CSQLDatabase), so a long history query reads beside the writers, never under DatabaseMutex, and
// recording goes on while it runs: SQLite's WAL lets it read while a writer writes, PostgreSQL
// gives it a session of its own. It follows the writers' database: it connects (with the login
// of "./data_rtu.ini", as theirs did) at the first query after they have, and closes once they
// have closed.
//
// A query, from StartQuery, has a time budget (ReadHistoryQuerySeconds): its statements together
// may take that long, and the driver cancels the one still running then.
//
// Threads: one at a time, its owner's (the window's user-interface thread, the endpoint's worker).
class HistoryReadConnection {
public:
    // `writers` is not owned and outlives this.
    explicit HistoryReadConnection(const CSQLDatabase& writers);
    ~HistoryReadConnection();
    HistoryReadConnection(const HistoryReadConnection&) = delete;
    HistoryReadConnection& operator=(const HistoryReadConnection&) = delete;

    // Starts a query's budget: kDone, or kNoDatabase when there is nothing to read from.
    HistoryReadEnd StartQuery();
    // The number of rows `select` ("SELECT * FROM ...") would give.
    HistoryReadEnd Count(const std::string& select, long long& count);
    // Appends the rows of `select` to `rows`; the rows read before a failure or the time-out stay.
    HistoryReadEnd Read(const std::string& select, std::vector<HistoryRow>& rows);
    // The budget of the query started last.
    unsigned BudgetSeconds() const { return budgetSeconds; }

private:
    // Gives the next statement what is left of the budget; false when nothing is.
    bool TimeNextStatement();

    const CSQLDatabase& writers;
    std::unique_ptr<CSQLDatabase> reader;  // null until the first query finds the writers connected
    unsigned budgetSeconds = 0;
    std::chrono::steady_clock::time_point deadline;
};
