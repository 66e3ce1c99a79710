#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "storage/FailingTables.h"
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
// A table that fails for a passing reason holds back only its own later rows, for the rest of a
// pass; one that keeps failing while other tables take their rows has its rows set aside in the
// spool (FailingTables), and forwarding goes on. The database counts as away once two rows of
// tables not known to fail have failed with no row stored between them.
//
// Threads: Away, Hold, SetAsideIfFailing, TableStored and Figures from any thread; the forwarder is
// this object's own thread.
// Locks: stateMutex_ orders Hold's enqueue against the hand-back, so that no reading enters the
// spool after the forwarder found it empty; wakeMutex_ the forwarder's sleep; stalledMutex_ the
// stall's text. None is held with another. The forwarder takes DatabaseMutex for each statement,
// as the workers do.
class StoreAndForward {
public:
    enum class HoldResult {
        Held,        // in the spool
        Refused,     // neither the spool's file nor its memory took it: lost, and counted and logged
        DatabaseUp,  // not held: the database is not known away, write it directly
    };

    // `database` is not owned. Starts the forwarder; a spool holding readings (of an earlier run)
    // starts away, so that they are forwarded before any newer reading of their channels.
    // `reopen`, when given, is asked on the forwarder's thread before each pass: true when the
    // database is ready for rows; otherwise nothing is forwarded and it is asked again at the next
    // probe (it opens a database that did not open at start).
    StoreAndForward(CSQLDatabase* database, std::unique_ptr<ReadingSpool> spool, std::function<bool()> reopen = {});
    // Stops the forwarder, waiting for a statement it has under way.
    ~StoreAndForward();
    StoreAndForward(const StoreAndForward&) = delete;
    StoreAndForward& operator=(const StoreAndForward&) = delete;

    // True while readings go to the spool.
    bool Away() const { return away_.load(std::memory_order_acquire); }
    // Holds the reading when the database is known away; with `cause` (the failure that showed it
    // away) always, and the database is away from then on. Returns once the reading is kept.
    HoldResult Hold(const SpooledReading& reading, const CSQLException* cause);
    // A direct write's row failed for a passing reason: when its table is one whose rows are set
    // aside, so is this row (true); otherwise the caller holds the reading.
    bool SetAsideIfFailing(const SpooledReading& reading, HistoryRowKind kind, const CSQLException& failure);
    // The database did not open: readings go to the spool from now on, and the forwarder probes it
    // with `reopen`. Logged once.
    void DatabaseNotOpen();
    // A direct write stored a row: its table takes rows again.
    void TableStored(const HistoryReading& reading, HistoryRowKind kind);
    SpoolFigures Figures() const;

private:
    enum class Pass {
        Progress,  // rows stored or set aside
        Empty,     // nothing to forward
        Blocked,   // only rows of tables that failed in this pass were left
        Stalled,   // the database is away, or the spool cannot be read
    };
    struct PassState;

    void Run();
    bool Reopened();
    Pass ForwardBatch();
    Pass EndPass(PassState& pass, bool anyRead);
    void PlanRecordIds(std::vector<SpooledReading>& batch);
    bool ForwardReading(SpooledReading& spooled, PassState& pass);
    void Failed(SpooledReading& spooled, HistoryRowKind kind, const CSQLException& failure, PassState& pass);
    void Removed(const std::vector<std::int64_t>& sequences);
    void Stalled(const std::string& why);
    void NoteTableStored(const std::string& table);
    bool HandBack();
    void Wake();
    void CountRefusal(const ReadingSpool::Append& append);
    void NoteRoom();

    std::function<bool()> reopen_;
    HistoryRowWriter rows_;
    std::unique_ptr<ReadingSpool> spool_;
    FailingTables failing_;

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
    // Readings stored whose removal from the spool failed: retried each pass, never forwarded again.
    // The forwarder's own.
    std::set<std::int64_t> unremoved_;

    mutable std::mutex stalledMutex_;
    std::string stalled_;     // guarded by stalledMutex_
    std::string refusedWhy_;  // guarded by stalledMutex_

    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool stopping_ = false;                 // guarded by wakeMutex_
    bool woken_ = false;                    // guarded by wakeMutex_: Wake was called since the forwarder last looked
    std::atomic<bool> blockedWait_{false};  // the forwarder waits after a Blocked pass
    std::thread forwarder_;
};
