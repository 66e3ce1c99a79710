#include "storage/StoreAndForward.h"

#include <algorithm>
#include <ctime>

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

constexpr HistoryRowKind kRowKinds[] = {HistoryRowKind::Channel, HistoryRowKind::FullRcds};

}  // namespace

StoreAndForward::StoreAndForward(CSQLDatabase* database, std::unique_ptr<ReadingSpool> spool)
    : rows_(database), spool_(std::move(spool)) {
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
    const ReadingSpool::AppendResult result = spool_->WaitDurable(append);
    if (result != ReadingSpool::AppendResult::Held) {
        CountRefusal(result, append);
        return HoldResult::Refused;
    }
    NoteRoom();
    return HoldResult::Held;
}

// After the spool was full: once a reading fits again, or the spool is emptied.
void StoreAndForward::NoteRoom() {
    if (full_.load(std::memory_order_relaxed) && full_.exchange(false))
        LogSpoolTakesAgain(refusedWhileFull_.exchange(0));
}

// A full spool refuses quietly after its one line; a failing one leaves the lines of the lost rows.
void StoreAndForward::CountRefusal(ReadingSpool::AppendResult result, const ReadingSpool::Append& append) {
    if (result == ReadingSpool::AppendResult::Full) {
        refused_.fetch_add(1, std::memory_order_relaxed);
        refusedWhileFull_.fetch_add(1, std::memory_order_relaxed);
        if (!full_.exchange(true)) LogSpoolFull(spool_->LimitBytes());
        return;
    }
    CSQLException error;
    error.sqlState = "HY000";
    error.message = "spool " + spool_->Path().string() + ": " + append.error;
    for (const HistoryRowKind kind : kRowKinds)
        if (append.reading.Row(kind).pending) LogRowFailure(append.reading.reading, kind, &error);
}

SpoolFigures StoreAndForward::Figures() const {
    SpoolFigures figures;
    figures.spoolOpen = true;
    figures.databaseAway = away_.load(std::memory_order_relaxed);
    figures.forwarding = forwarding_.load(std::memory_order_relaxed);
    figures.readingsHeld = spool_->Held();
    figures.bytes = spool_->Bytes();
    figures.limitBytes = spool_->LimitBytes();
    const std::int64_t oldest = spool_->OldestArrival();
    if (figures.readingsHeld > 0 && oldest > 0)
        figures.oldestAgeSeconds = std::max<std::int64_t>(0, std::time(nullptr) - oldest);
    figures.forwarded = forwarded_.load(std::memory_order_relaxed);
    figures.refused = refused_.load(std::memory_order_relaxed);
    return figures;
}

void StoreAndForward::Wake() {
    { std::lock_guard lock(wakeMutex_); }
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
        wake_.wait_for(lock, pass == Pass::Empty ? kQueuedWait : probe, [this] { return stopping_; });
        if (pass == Pass::Stalled) probe = std::min<std::chrono::milliseconds>(probe * 2, kLongestProbe);
    }
}

StoreAndForward::Pass StoreAndForward::ForwardBatch() {
    std::string error;
    std::vector<SpooledReading> batch = spool_->Oldest(kBatchReadings, error);
    if (batch.empty()) return error.empty() ? Pass::Empty : Pass::Stalled;
    if (!PlanRecordIds(batch)) return Pass::Stalled;
    std::vector<std::int64_t> done;
    CSQLException failure;
    RowOutcome::Result stop = RowOutcome::Result::Stored;
    for (SpooledReading& spooled : batch) {
        stop = ForwardReading(spooled, failure);
        if (stop != RowOutcome::Result::Stored) break;
        if (!forwarding_.exchange(true)) LogForwarding(spool_->Held());
        done.push_back(spooled.sequence);
    }
    if (!done.empty() && spool_->Remove(done)) {
        forwarded_.fetch_add(static_cast<std::int64_t>(done.size()), std::memory_order_relaxed);
        forwardedThisOutage_ += static_cast<std::int64_t>(done.size());
    }
    if (stop == RowOutcome::Result::Transient && forwarding_.exchange(false)) LogDatabaseAway(failure);
    return stop == RowOutcome::Result::Stored ? Pass::Progress : Pass::Stalled;
}

// Rows never tried get their RIDs, chosen as a writer chooses them, on disk before any is used.
bool StoreAndForward::PlanRecordIds(std::vector<SpooledReading>& batch) {
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
    return planned.empty() || spool_->Note(planned);
}

// Stores the reading's pending rows; Stored when none is left. A row refused for good leaves its
// line and is given up, as a direct write would; a transient failure stops the pass.
RowOutcome::Result StoreAndForward::ForwardReading(SpooledReading& spooled, CSQLException& failure) {
    for (const HistoryRowKind kind : kRowKinds) {
        RowProgress& row = spooled.Row(kind);
        if (!row.pending) continue;
        HistoryRowWriter::Options options;
        options.rid = row.rid;
        options.ridTriedBefore = untried_.erase({spooled.sequence, kind}) == 0;
        options.beforeRetry = [this, &spooled, &row](std::int32_t rid) {
            row.rid = rid;
            spool_->Note({&spooled});
        };
        const RowOutcome outcome = rows_.Insert(spooled.reading, kind, row.localTime, options);
        switch (outcome.result) {
            case RowOutcome::Result::Stored:
                row.pending = false;
                break;
            case RowOutcome::Result::Refused:
                LogRowFailure(spooled.reading, kind, &outcome.error);
                row.pending = false;
                spool_->Note({&spooled});
                break;
            case RowOutcome::Result::Transient:
                failure = outcome.error;
                return outcome.result;
            default:
                return RowOutcome::Result::NotConnected;
        }
    }
    return RowOutcome::Result::Stored;
}

// The spool is empty: the workers write directly again. False while readings are still on their
// way into the spool.
bool StoreAndForward::HandBack() {
    std::lock_guard lock(stateMutex_);
    if (spool_->Held() != 0) return false;
    LogForwardingDone(forwardedThisOutage_);
    forwardedThisOutage_ = 0;
    NoteRoom();
    forwarding_ = false;
    away_.store(false, std::memory_order_release);
    return true;
}
