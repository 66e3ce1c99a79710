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
#include "storage/SpooledReading.h"

// Runs direct history writes on a thread of its own, a reading's rows one after the other, so
// that a worker (and with it its connection's live values and replies) waits for the database at
// most `patience` at a time: once the reading's write under way has taken longer, the worker gives
// up and holds its reading in the spool. A statement of its own still under way is left to finish,
// or fail, where it runs; the RID it was given says where its row may be.
//
// Threads: Write from any number of threads at once.
// Locks: mutex_ guards the queue and each job's rows. The writing thread takes DatabaseMutex for
// each statement and mutex_ under it (to note a new RID); a worker never holds DatabaseMutex here.
class DirectWriter {
public:
    // What became of one row of the reading.
    struct Row {
        enum class State {
            NotTried,   // not begun: nothing was tried
            Done,       // ended: `outcome` tells how
            Abandoned,  // given up while under way: it may yet be stored under `rid`
        };
        State state = State::NotTried;
        RowOutcome outcome;
        std::string localTime;  // its statement's LTIME, once begun
        std::int32_t rid = 0;   // the RID it was last tried under, once begun
    };
    struct Outcome {
        Row channel;
        Row fullRcds;
        Row& Of(HistoryRowKind kind) { return kind == HistoryRowKind::Channel ? channel : fullRcds; }
    };

    // `rows` is not owned.
    DirectWriter(const HistoryRowWriter& rows, std::chrono::milliseconds patience);
    // Ends the thread once the writes queued are done.
    ~DirectWriter();
    DirectWriter(const DirectWriter&) = delete;
    DirectWriter& operator=(const DirectWriter&) = delete;

    // Writes the reading's pending rows, the channel row first, each under a RID of this process
    // and with the local time at which its statement is composed, and stops after the first row
    // that is neither stored nor refused for good. `divert` is asked under DatabaseMutex before
    // each statement, as the row writer asks it.
    Outcome Write(const SpooledReading& reading, std::function<bool()> divert);

private:
    struct Job;

    void Run();
    void RunJob(Job& job, std::unique_lock<std::mutex>& lock);

    const HistoryRowWriter& rows_;
    const std::chrono::milliseconds patience_;

    std::mutex mutex_;
    std::condition_variable work_;
    std::deque<std::shared_ptr<Job>> queue_;              // guarded by mutex_
    bool running_ = false;                                // guarded by mutex_: a reading's write is under way
    std::chrono::steady_clock::time_point runningSince_;  // guarded by mutex_
    bool stopping_ = false;                               // guarded by mutex_
    std::thread thread_;
};
