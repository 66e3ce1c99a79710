#include "storage/StoreAndForward.h"

#include <algorithm>
#include <ctime>
#include <map>

#include "storage/HistoryLog.h"
#include "storage/RecordId.h"

namespace {

using namespace std::chrono_literals;

// The forwarder's probe: soon after a failure (a lost connection is usually back at once), then
// less often while the database stays away.
constexpr auto kFirstProbe = 100ms;
constexpr auto kLongestProbe = 5000ms;
// Readings appended but not yet on disk keep the spool from counting as empty for this long.
constexpr auto kQueuedWait = 10ms;
// Readings read, planned and removed per spool transaction while forwarding.
constexpr std::size_t kBatchReadings = 64;
// Batches a pass reads past readings that a failing table holds back, looking for others.
constexpr int kBatchesPerPass = 16;
// Failures in a row, of tables not known to fail, that show the database away as a whole.
constexpr int kFailuresOfTheDatabase = 2;

constexpr HistoryRowKind kRowKinds[] = {HistoryRowKind::Channel, HistoryRowKind::FullRcds};

// Why readings wait while the database never opened.
CSQLException NotOpen() {
    CSQLException cause;
    cause.sqlState = "08003";
    cause.message = "the database is not open";
    return cause;
}

}  // namespace

// What one pass over the spool has found.
struct StoreAndForward::PassState {
    std::set<std::string> blocked;                  // tables that failed: their later rows wait
    std::map<std::string, CSQLException> failures;  // why each failed
    std::int64_t stored = 0;                        // rows stored
    std::int64_t setAside = 0;                      // rows set aside
    int failedInARow = 0;                           // failures of tables not known to fail, with no row stored between
    bool away = false;                              // the database does not answer: the pass ends
    CSQLException cause;                            // why, when away
};

StoreAndForward::StoreAndForward(CSQLDatabase* database, std::unique_ptr<ReadingSpool> spool,
                                 std::function<bool()> reopen)
    : reopen_(std::move(reopen)), rows_(database), spool_(std::move(spool)) {
    if (spool_->Held() > 0) {
        LogSpoolLeftOver(spool_->Path(), spool_->Held());
        away_ = true;
    }
    forwarder_ = std::thread([this] { Run(); });
}

StoreAndForward::~StoreAndForward() {
    {
        std::lock_guard lock(wakeMutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    forwarder_.join();
}

StoreAndForward::HoldResult StoreAndForward::Hold(const SpooledReading& reading, const CSQLException* cause) {
    ReadingSpool::Append append(reading);
    bool wentAway = false;
    {
        std::lock_guard lock(stateMutex_);
        if (cause == nullptr && !away_.load()) return HoldResult::DatabaseUp;
        spool_->Enqueue(append);
        wentAway = !away_.exchange(true);
    }
    if (wentAway) {
        LogDatabaseAway(*cause);
        Wake();
    }
    if (spool_->WaitDurable(append) != ReadingSpool::AppendResult::Held) {
        CountRefusal(append);
        return HoldResult::Refused;
    }
    NoteRoom();
    if (blockedWait_.load(std::memory_order_relaxed)) Wake();
    return HoldResult::Held;
}

void StoreAndForward::DatabaseNotOpen() {
    bool wentAway = false;
    {
        std::lock_guard lock(stateMutex_);
        wentAway = !away_.exchange(true);
    }
    if (!wentAway) return;
    LogDatabaseAway(NotOpen());
    Wake();
}

bool StoreAndForward::SetAsideIfFailing(const SpooledReading& reading, HistoryRowKind kind,
                                        const CSQLException& failure) {
    const std::string table = RowTable(reading.reading, kind);
    if (!failing_.SettingAside(table) || !spool_->SetAside(reading, kind, table, failure)) return false;
    failing_.CountSetAside(table);
    return true;
}

void StoreAndForward::TableStored(const HistoryReading& reading, HistoryRowKind kind) {
    if (!failing_.None()) NoteTableStored(RowTable(reading, kind));
}

void StoreAndForward::NoteTableStored(const std::string& table) {
    const std::int64_t setAside = failing_.Stored(table);
    if (setAside >= 0) LogTableTakesAgain(table, setAside, spool_->Path());
}

// After the spool refused: once a reading is kept again, or the spool is emptied.
void StoreAndForward::NoteRoom() {
    if (full_.load(std::memory_order_relaxed) && full_.exchange(false))
        LogSpoolTakesAgain(refusedWhileFull_.exchange(0));
}

// Refusals leave one line until the spool takes readings again.
void StoreAndForward::CountRefusal(const ReadingSpool::Append& append) {
    refused_.fetch_add(1, std::memory_order_relaxed);
    refusedWhileFull_.fetch_add(1, std::memory_order_relaxed);
    {
        std::lock_guard lock(stalledMutex_);
        refusedWhy_ = append.why;
    }
    if (!full_.exchange(true)) LogSpoolFull(append.why);
}

SpoolFigures StoreAndForward::Figures() const {
    SpoolFigures figures;
    figures.spoolOpen = true;
    figures.fileOpen = spool_->FileOpen();
    figures.fileFailing = spool_->FileFailing();
    figures.databaseAway = away_.load(std::memory_order_relaxed);
    figures.forwarding = forwarding_.load(std::memory_order_relaxed);
    figures.refusing = full_.load(std::memory_order_relaxed);
    figures.readingsHeld = spool_->Held();
    figures.bytes = spool_->Bytes();
    figures.limitBytes = spool_->LimitBytes();
    figures.memoryReadings = spool_->MemoryHeld();
    figures.memoryBytes = spool_->MemoryBytes();
    figures.memoryLimitBytes = spool_->MemoryLimitBytes();
    figures.setAside = spool_->RowsSetAside();
    const std::int64_t oldest = spool_->OldestArrival();
    if (figures.readingsHeld > 0 && oldest > 0)
        figures.oldestAgeSeconds = std::max<std::int64_t>(0, std::time(nullptr) - oldest);
    figures.forwarded = forwarded_.load(std::memory_order_relaxed);
    figures.refused = refused_.load(std::memory_order_relaxed);
    figures.trouble = spool_->Trouble();
    {
        std::lock_guard lock(stalledMutex_);
        figures.stalled = stalled_;
        if (figures.refusing) figures.refusedWhy = refusedWhy_;
    }
    figures.failingTables = failing_.Names();
    return figures;
}

void StoreAndForward::Wake() {
    {
        std::lock_guard lock(wakeMutex_);
        woken_ = true;
    }
    wake_.notify_all();
}

void StoreAndForward::Run() {
    auto probe = std::chrono::milliseconds(kFirstProbe);
    std::unique_lock lock(wakeMutex_);
    while (!stopping_) {
        if (!away_.load()) {
            wake_.wait(lock, [this] { return stopping_ || away_.load(); });
            continue;
        }
        lock.unlock();
        Pass pass = ForwardBatch();
        if (pass == Pass::Empty && HandBack()) pass = Pass::Progress;
        lock.lock();
        if (pass == Pass::Progress) {
            probe = kFirstProbe;
            continue;
        }
        // Held up by a failing table alone: the next reading held may get past it, so it wakes the
        // forwarder rather than wait out the probe.
        blockedWait_ = pass == Pass::Blocked;
        wake_.wait_for(lock, pass == Pass::Empty ? kQueuedWait : probe, [this] { return stopping_ || woken_; });
        woken_ = false;
        blockedWait_ = false;
        if (pass != Pass::Empty) probe = std::min<std::chrono::milliseconds>(probe * 2, kLongestProbe);
    }
}

// A database that did not open at start is opened before anything is forwarded or handed back.
bool StoreAndForward::Reopened() { return !reopen_ || reopen_(); }

// One pass: the oldest readings, and past those a failing table holds back, more of them.
StoreAndForward::Pass StoreAndForward::ForwardBatch() {
    if (!Reopened()) return Pass::Stalled;
    spool_->Settle();
    if (!unremoved_.empty()) Removed({unremoved_.begin(), unremoved_.end()});
    PassState pass;
    bool anyRead = false;
    std::int64_t after = 0;
    for (int batches = 0; batches < kBatchesPerPass && !pass.away; ++batches) {
        std::string error;
        std::vector<SpooledReading> batch = spool_->Oldest(kBatchReadings, after, error);
        if (batch.empty() && !error.empty()) {
            Stalled("spool " + spool_->Path().string() + " cannot be read (" + error + ")");
            return Pass::Stalled;
        }
        if (batch.empty()) break;
        anyRead = true;
        after = batch.back().sequence;
        PlanRecordIds(batch);
        std::vector<std::int64_t> done;
        for (SpooledReading& spooled : batch) {
            if (ForwardReading(spooled, pass)) done.push_back(spooled.sequence);
            if (pass.away) break;
        }
        if (!done.empty()) Removed(done);
        if (pass.blocked.empty()) break;
    }
    return EndPass(pass, anyRead || !unremoved_.empty());
}

StoreAndForward::Pass StoreAndForward::EndPass(PassState& pass, bool anyRead) {
    if (pass.away) {
        failing_.Forget();
        if (forwarding_.exchange(false)) LogDatabaseAway(pass.cause);
        return Pass::Stalled;
    }
    if (pass.stored > 0)
        for (const auto& [table, failure] : pass.failures)
            if (failing_.Failed(table)) LogTableSetAside(table, failure, spool_->Path());
    if (!anyRead) return Pass::Empty;
    if (pass.stored > 0 || pass.setAside > 0) return Pass::Progress;
    return pass.blocked.empty() ? Pass::Stalled : Pass::Blocked;
}

// Stored readings leave the spool; those whose removal fails are tried again at the next pass.
void StoreAndForward::Removed(const std::vector<std::int64_t>& sequences) {
    if (!spool_->Remove(sequences)) {
        unremoved_.insert(sequences.begin(), sequences.end());
        Stalled("spool " + spool_->Path().string() + " cannot be written (" + spool_->Trouble() + ")");
        return;
    }
    for (const std::int64_t sequence : sequences) unremoved_.erase(sequence);
    forwarded_.fetch_add(static_cast<std::int64_t>(sequences.size()), std::memory_order_relaxed);
    forwardedThisOutage_ += static_cast<std::int64_t>(sequences.size());
    Stalled({});
}

// A stall of the spool's own leaves one line when it begins and one when forwarding goes on.
void StoreAndForward::Stalled(const std::string& why) {
    std::lock_guard lock(stalledMutex_);
    if (why.empty() && !stalled_.empty()) LogForwardingResumed();
    if (!why.empty() && stalled_.empty()) LogForwardingStalled(why);
    stalled_ = why;
}

// Rows never tried get their RIDs, chosen as a writer chooses them, on disk before any is used.
// A spool that cannot note them does not stop forwarding: only a crash before their removal could
// then store such a row twice.
void StoreAndForward::PlanRecordIds(std::vector<SpooledReading>& batch) {
    std::vector<const SpooledReading*> planned;
    for (SpooledReading& spooled : batch) {
        bool changed = false;
        for (const HistoryRowKind kind : kRowKinds) {
            RowProgress& row = spooled.Row(kind);
            if (!row.pending || row.rid) continue;
            row.rid = NextRecordId();
            untried_.emplace(spooled.sequence, kind);
            changed = true;
        }
        if (changed) planned.push_back(&spooled);
    }
    if (!planned.empty()) spool_->Note(planned);
}

// Stores the reading's pending rows whose tables have not failed in this pass; true when none is
// left. A row refused for good leaves its line and is given up, as a direct write would.
bool StoreAndForward::ForwardReading(SpooledReading& spooled, PassState& pass) {
    if (unremoved_.count(spooled.sequence) != 0) return false;
    for (const HistoryRowKind kind : kRowKinds) {
        RowProgress& row = spooled.Row(kind);
        if (!row.pending) continue;
        const std::string table = RowTable(spooled.reading, kind);
        if (pass.blocked.count(table) != 0) continue;
        HistoryRowWriter::Options options;
        options.rid = row.rid;
        options.ridTriedBefore = untried_.erase({spooled.sequence, kind}) == 0;
        options.beforeRetry = [this, &spooled, &row](std::int32_t rid) {
            row.rid = rid;
            spool_->Note({&spooled});
            return true;
        };
        const RowOutcome outcome = rows_.Insert(spooled.reading, kind, row.localTime, options);
        switch (outcome.result) {
            case RowOutcome::Result::Stored:
                if (!forwarding_.exchange(true)) LogForwarding(spool_->Held());
                row.pending = false;
                ++pass.stored;
                pass.failedInARow = 0;
                NoteTableStored(table);
                break;
            case RowOutcome::Result::Refused:
                LogRowFailure(spooled.reading, kind, &outcome.error);
                row.pending = false;
                spool_->Note({&spooled});
                break;
            case RowOutcome::Result::Transient:
                Failed(spooled, kind, outcome.error, pass);
                if (pass.away) return false;
                break;
            default:
                pass.away = true;
                pass.cause = NotOpen();
                return false;
        }
    }
    return !spooled.channel.pending && !spooled.fullRcds.pending;
}

// A row failed for a passing reason: set aside when its table is known to keep failing; otherwise
// its table waits for the rest of the pass, and the database is away after enough such failures.
void StoreAndForward::Failed(SpooledReading& spooled, HistoryRowKind kind, const CSQLException& failure,
                             PassState& pass) {
    const std::string table = RowTable(spooled.reading, kind);
    if (failing_.SettingAside(table) && spool_->SetAside(spooled, kind, table, failure)) {
        spooled.Row(kind).pending = false;
        failing_.CountSetAside(table);
        ++pass.setAside;
        return;
    }
    pass.blocked.insert(table);
    pass.failures.emplace(table, failure);
    if (failing_.Known(table) || ++pass.failedInARow < kFailuresOfTheDatabase) return;
    pass.away = true;
    pass.cause = failure;
}

// The spool is empty: the workers write directly again. False while readings are still on their
// way into the spool.
bool StoreAndForward::HandBack() {
    {
        std::lock_guard lock(stateMutex_);
        if (spool_->Held() != 0) return false;
        LogForwardingDone(forwardedThisOutage_);
        forwardedThisOutage_ = 0;
        NoteRoom();
        forwarding_ = false;
        away_.store(false, std::memory_order_release);
    }
    spool_->Shrink();
    return true;
}
