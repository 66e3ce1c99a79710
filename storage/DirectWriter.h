#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "storage/HistoryRowWriter.h"

// Runs direct history writes one at a time on a thread of its own, so that a worker (and with it
// its connection's live values and replies) waits for the database at most `patience` at a time:
// once the write under way has taken longer, the worker gives up and holds its reading in the
// spool. A write of its own still under way is left to finish, or fail, where it runs; the RID it
// was given says where its row may be.
//
// Threads: Write from any number of threads at once.
// Locks: mutex_ guards the queue and each job's state. The writing thread takes DatabaseMutex for
// each statement and mutex_ under it (to note a new RID); a worker never holds DatabaseMutex here.
class DirectWriter {
public:
    struct Outcome {
        enum class State {
            Done,        // the write ended: `row` tells how
            NotStarted,  // given up before it began: nothing was tried
            Abandoned,   // given up while under way: the row may yet be stored under `rid`
        };
        State state = State::NotStarted;
        RowOutcome row;
        std::int32_t rid = 0;
    };

    // `rows` is not owned.
    DirectWriter(const HistoryRowWriter& rows, std::chrono::milliseconds patience);
    // Ends the thread once the writes queued are done.
    ~DirectWriter();
    DirectWriter(const DirectWriter&) = delete;
    DirectWriter& operator=(const DirectWriter&) = delete;

    // One row under a RID of this process; `divert` is asked under DatabaseMutex, as the row
    // writer asks it.
    Outcome Write(const HistoryReading& reading, HistoryRowKind kind, const std::string& localTime,
                  std::function<bool()> divert);

private:
    struct Job;

    void Run();

    const HistoryRowWriter& rows_;
    const std::chrono::milliseconds patience_;

    std::mutex mutex_;
    std::condition_variable work_;
    std::deque<std::shared_ptr<Job>> queue_;              // guarded by mutex_
    bool running_ = false;                                // guarded by mutex_: a write is under way
    std::chrono::steady_clock::time_point runningSince_;  // guarded by mutex_
    bool stopping_ = false;                               // guarded by mutex_
    std::thread thread_;
};
