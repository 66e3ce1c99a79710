#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "storage/HistoryRowWriter.h"
#include "storage/ReadingSpool.h"
#include "storage/SpoolFigures.h"

class CSQLDatabase;

// Store and forward: while the database is known to be away, readings go to the spool instead,
// and one forwarder thread probes the database (first after 100 ms, the pause doubling to 5 s),
// replays the spool oldest first once it answers, and hands writing back to the workers when the
// spool is empty. A reading is removed from the spool only after its rows are committed. Each row
// gets its RID on disk before its INSERT runs, so that a row whose commit went unreported (a
// time-out, a crash) is recognised under that RID rather than stored twice.
//
// Threads: Away, Hold and Figures from any thread; the forwarder is this object's own thread.
// Locks: stateMutex_ orders Hold's enqueue against the hand-back, so that no reading enters the
// spool after the forwarder found it empty; wakeMutex_ the forwarder's sleep. Neither is held
// with the other. The forwarder takes DatabaseMutex for each statement, as the workers do.
class StoreAndForward {
public:
    enum class HoldResult {
        Held,        // on disk in the spool
        Refused,     // spool full or failing: the reading is lost (and logged or counted)
        DatabaseUp,  // not held: the database is not known away, write it directly
    };

    // `database` is not owned. Starts the forwarder; a spool holding readings (of an earlier run)
    // starts away, so that they are forwarded before any newer reading of their channels.
    StoreAndForward(CSQLDatabase* database, std::unique_ptr<ReadingSpool> spool);
    // Stops the forwarder, waiting for a statement it has under way.
    ~StoreAndForward();
    StoreAndForward(const StoreAndForward&) = delete;
    StoreAndForward& operator=(const StoreAndForward&) = delete;

    // True while readings go to the spool.
    bool Away() const { return away_.load(std::memory_order_acquire); }
    // Holds the reading when the database is known away; with `cause` (the failure that showed it
    // away) always, and the database is away from then on. Returns once the reading is on disk.
    HoldResult Hold(const SpooledReading& reading, const CSQLException* cause);
    SpoolFigures Figures() const;

private:
    enum class Pass { Progress, Empty, Stalled };

    void Run();
    Pass ForwardBatch();
    bool PlanRecordIds(std::vector<SpooledReading>& batch);
    RowOutcome::Result ForwardReading(SpooledReading& spooled, CSQLException& failure);
    bool HandBack();
    void Wake();
    void CountRefusal(ReadingSpool::AppendResult result, const ReadingSpool::Append& append);
    void NoteRoom();

    HistoryRowWriter rows_;
    std::unique_ptr<ReadingSpool> spool_;

    std::mutex stateMutex_;
    std::atomic<bool> away_{false};
    std::atomic<bool> forwarding_{false};
    std::atomic<bool> full_{false};
    std::atomic<std::int64_t> forwarded_{0};
    std::atomic<std::int64_t> refused_{0};
    std::atomic<std::int64_t> refusedWhileFull_{0};
    std::int64_t forwardedThisOutage_ = 0;  // the forwarder's own
    // Rows whose RIDs the forwarder planned in this run and has not tried yet: a taken key there is
    // another's row, whatever it holds. Any other RID on record may hold an earlier attempt's row
    // (a write that timed out, a run that ended between a commit and the removal). The forwarder's
    // own.
    std::set<std::pair<std::int64_t, HistoryRowKind>> untried_;

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopping_ = false;  // guarded by wakeMutex_
    std::thread forwarder_;
};
