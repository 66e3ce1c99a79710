#include "storage/ReadingSpool.h"

#include <algorithm>

#include "storage/HistoryLog.h"
#include "storage/SpoolRecovery.h"

namespace {

// Readings in memory are numbered from here on: above any sequence of the file, so that one order
// holds for both.
constexpr std::int64_t kFirstMemorySequence = std::int64_t{1} << 62;
// Readings written from memory to the file per commit.
constexpr std::size_t kSettleReadings = 256;

bool InFile(std::int64_t sequence) { return sequence > 0 && sequence < kFirstMemorySequence; }

// What a reading held in memory costs, near enough.
std::int64_t Footprint(const SpooledReading& spooled) {
    const HistoryReading& reading = spooled.reading;
    return static_cast<std::int64_t>(sizeof(SpooledReading) + reading.channelName.size() + reading.valueText.size() +
                                     reading.rtuTime.size() + reading.gpsText.size() +
                                     spooled.channel.localTime.size() + spooled.fullRcds.localTime.size());
}

}  // namespace

ReadingSpool::~ReadingSpool() {
    Settle();
    std::lock_guard lock(fileMutex_);
    if (!memory_.empty()) LogSpoolLostAtStop(path_, static_cast<std::int64_t>(memory_.size()), Trouble());
}

ReadingSpool::OpenResult ReadingSpool::Open(const std::filesystem::path& path, SpoolLimits limits,
                                            std::string& message) {
    path_ = path;
    limits_ = limits;
    switch (lock_.Take(path, message)) {
        case SpoolLock::Result::HeldElsewhere:
            return OpenResult::HeldElsewhere;
        case SpoolLock::Result::Failed:
            NoteTrouble(message, true);
            return OpenResult::MemoryOnly;
        case SpoolLock::Result::Taken:
            break;
    }
    std::lock_guard lock(fileMutex_);
    OpenFile(message);
    if (fileOpen_) {
        const std::int64_t requeued = file_.Requeue();
        if (requeued > 0) LogSpoolRequeued(path_, requeued);
        rowsSetAside_ = file_.RowsSetAside();
    }
    held_ = (fileOpen_ ? file_.Readings() : 0) + static_cast<std::int64_t>(memory_.size());
    UpdateFigures();
    return fileOpen_ ? OpenResult::Opened : OpenResult::MemoryOnly;
}

// Call under fileMutex_. A log without its file, and a damaged file, are kept aside and read into
// the new file, oldest first.
void ReadingSpool::OpenFile(std::string& message) {
    const std::filesystem::path orphan = spool_recovery::KeepOrphanedLogAside(path_);
    std::string why;
    SpoolFile::OpenResult opened = file_.Open(path_, limits_.fileBytes, why);
    std::filesystem::path damaged;
    std::string damage;
    if (opened == SpoolFile::OpenResult::Damaged) {
        damage = why;
        damaged = spool_recovery::KeepDamagedAside(path_);
        if (!damaged.empty()) opened = file_.Open(path_, limits_.fileBytes, why);
    }
    fileOpen_ = opened == SpoolFile::OpenResult::Opened;
    fileOpened_ = fileOpen_;
    if (!fileOpen_) {
        message = why;
        NoteTrouble(why, true);
    }
    if (!orphan.empty()) TakeIn(orphan, false, {});
    if (!damaged.empty()) TakeIn(damaged, true, damage);
}

// Call under fileMutex_. The readings go into the new file a chunk at a time, so that a large file
// kept aside is never held in memory whole; those the file does not take wait in memory.
void ReadingSpool::TakeIn(const std::filesystem::path& aside, bool damaged, const std::string& why) {
    std::vector<SpooledReading> chunk;
    std::int64_t refused = 0;
    std::string refusedWhy;
    const auto flush = [&] {
        std::vector<SpooledReading*> pointers;
        for (SpooledReading& spooled : chunk) pointers.push_back(&spooled);
        const std::size_t written = fileOpen_ && memory_.empty() ? file_.Append(pointers) : 0;
        if (fileOpen_ && written < chunk.size() && file_.Why() != SpoolFile::Trouble::None)
            NoteTrouble(file_.WhyText(), file_.Why() != SpoolFile::Trouble::Bound);
        for (std::size_t i = written; i < chunk.size(); ++i) {
            Append append(std::move(chunk[i]));
            Keep(append);
            if (append.result == AppendResult::Refused) {
                ++refused;
                refusedWhy = append.why;
            }
        }
        chunk.clear();
    };
    const std::int64_t taken = spool_recovery::Salvage(aside, [&](SpooledReading& spooled) {
        spooled.sequence = 0;
        chunk.push_back(std::move(spooled));
        if (chunk.size() == kSettleReadings) flush();
    });
    flush();
    LogSpoolKeptAside(path_, aside, damaged, why, taken - refused);
    if (refused > 0) LogSpoolFull(refusedWhy);
}

void ReadingSpool::Enqueue(Append& append) {
    std::lock_guard lock(queueMutex_);
    queue_.push_back(&append);
    held_.fetch_add(1, std::memory_order_relaxed);
}

ReadingSpool::AppendResult ReadingSpool::WaitDurable(Append& append) {
    std::unique_lock lock(queueMutex_);
    while (!append.done) {
        if (writing_) {
            written_.wait(lock);
            continue;
        }
        writing_ = true;
        std::vector<Append*> batch;
        batch.swap(queue_);
        lock.unlock();
        WriteBatch(batch);
        lock.lock();
        for (Append* written : batch) written->done = true;
        writing_ = false;
        written_.notify_all();
    }
    return append.result;
}

// Into the file while nothing waits in memory (so that the file's readings stay the oldest), in
// memory from the first reading the file does not take.
void ReadingSpool::WriteBatch(const std::vector<Append*>& batch) {
    std::lock_guard lock(fileMutex_);
    std::size_t written = 0;
    if (fileOpen_ && memory_.empty()) {
        std::vector<SpooledReading*> readings;
        for (Append* append : batch) readings.push_back(&append->reading);
        written = file_.Append(readings);
        if (written < batch.size())
            NoteTrouble(file_.WhyText(), file_.Why() != SpoolFile::Trouble::Bound);
        else if (troubled_.load(std::memory_order_relaxed))
            NoteTrouble({}, false);
    }
    std::int64_t refused = 0;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (i < written)
            batch[i]->result = AppendResult::Held;
        else
            Keep(*batch[i]);
        if (batch[i]->result == AppendResult::Refused) ++refused;
    }
    held_.fetch_sub(refused, std::memory_order_relaxed);
    UpdateFigures();
}

// Call under fileMutex_: the reading goes to memory when it fits there.
void ReadingSpool::Keep(Append& append) {
    const std::int64_t size = Footprint(append.reading);
    if (memoryBytes_.load(std::memory_order_relaxed) + size > limits_.memoryBytes) {
        append.result = AppendResult::Refused;
        append.why = Trouble() + " and memory full (" + std::to_string(limits_.memoryBytes / 1024) + " KiB)";
        return;
    }
    if (memory_.empty() && heldInMemoryThisTime_ == 0) LogSpoolHeldInMemory(path_, Trouble(), limits_.memoryBytes);
    append.reading.sequence = kFirstMemorySequence + memoryCount_++;
    memory_.push_back(append.reading);
    ++heldInMemoryThisTime_;
    memoryHeld_.fetch_add(1, std::memory_order_relaxed);
    memoryBytes_.fetch_add(size, std::memory_order_relaxed);
    append.result = AppendResult::Held;
}

void ReadingSpool::Settle() {
    std::lock_guard lock(fileMutex_);
    if (!fileOpen_ || memory_.empty()) return;
    while (!memory_.empty()) {
        std::vector<SpooledReading> chunk(memory_.begin(), memory_.begin() + std::min(memory_.size(), kSettleReadings));
        std::vector<SpooledReading*> readings;
        for (SpooledReading& spooled : chunk) readings.push_back(&spooled);
        const std::size_t written = file_.Append(readings);
        for (std::size_t i = 0; i < written; ++i) {
            memoryBytes_.fetch_sub(Footprint(memory_.front()), std::memory_order_relaxed);
            memoryHeld_.fetch_sub(1, std::memory_order_relaxed);
            memory_.pop_front();
        }
        if (written < chunk.size()) {
            NoteTrouble(file_.WhyText(), file_.Why() != SpoolFile::Trouble::Bound);
            break;
        }
    }
    AfterMemoryShrank();
    UpdateFigures();
}

std::vector<SpooledReading> ReadingSpool::Oldest(std::size_t count, std::int64_t after, std::string& error) {
    std::lock_guard lock(fileMutex_);
    std::vector<SpooledReading> readings;
    if (fileOpen_ && after < kFirstMemorySequence && !file_.Oldest(count, after, readings)) {
        error = file_.WhyText();
        NoteTrouble(error, true);
        readings.clear();
    }
    for (auto it = InMemory(after + 1); it != memory_.end() && readings.size() < count; ++it) readings.push_back(*it);
    return readings;
}

bool ReadingSpool::Note(const std::vector<const SpooledReading*>& readings) {
    std::lock_guard lock(fileMutex_);
    std::vector<const SpooledReading*> inFile;
    for (const SpooledReading* spooled : readings) {
        if (InFile(spooled->sequence)) {
            inFile.push_back(spooled);
            continue;
        }
        const auto it = InMemory(spooled->sequence);
        if (it != memory_.end() && it->sequence == spooled->sequence) {
            it->channel = spooled->channel;
            it->fullRcds = spooled->fullRcds;
        }
    }
    return inFile.empty() || (fileOpen_ && file_.Note(inFile));
}

bool ReadingSpool::Remove(const std::vector<std::int64_t>& sequences) {
    std::lock_guard lock(fileMutex_);
    std::vector<std::int64_t> inFile;
    for (const std::int64_t sequence : sequences)
        if (InFile(sequence)) inFile.push_back(sequence);
    if (!inFile.empty() && !(fileOpen_ && file_.Remove(inFile))) return false;
    std::int64_t removed = static_cast<std::int64_t>(inFile.size());
    for (const std::int64_t sequence : sequences) {
        const auto it = InMemory(sequence);
        if (InFile(sequence) || it == memory_.end() || it->sequence != sequence) continue;
        memoryBytes_.fetch_sub(Footprint(*it), std::memory_order_relaxed);
        memoryHeld_.fetch_sub(1, std::memory_order_relaxed);
        memory_.erase(it);
        ++removed;
    }
    held_.fetch_sub(removed, std::memory_order_relaxed);
    AfterMemoryShrank();
    UpdateFigures();
    return true;
}

bool ReadingSpool::SetAside(const SpooledReading& spooled, HistoryRowKind kind, const std::string& table,
                            const CSQLException& failure) {
    std::lock_guard lock(fileMutex_);
    if (!fileOpen_ || !file_.SetAside(spooled, kind, InFile(spooled.sequence), table, failure)) return false;
    const auto it = InMemory(spooled.sequence);
    if (spooled.sequence >= kFirstMemorySequence && it != memory_.end() && it->sequence == spooled.sequence)
        it->Row(kind).pending = false;
    rowsSetAside_.fetch_add(1, std::memory_order_relaxed);
    UpdateFigures();
    return true;
}

void ReadingSpool::Shrink() {
    std::lock_guard lock(fileMutex_);
    if (!fileOpen_) return;
    file_.Shrink();
    UpdateFigures();
}

std::string ReadingSpool::Trouble() const {
    std::lock_guard lock(troubleMutex_);
    return trouble_;
}

void ReadingSpool::NoteTrouble(const std::string& why, bool failing) {
    std::lock_guard lock(troubleMutex_);
    trouble_ = why;
    troubled_.store(!why.empty(), std::memory_order_relaxed);
    fileFailing_.store(failing, std::memory_order_relaxed);
}

// Call under fileMutex_: once the file holds everything again, the episode in memory is over.
void ReadingSpool::AfterMemoryShrank() {
    if (!memory_.empty() || heldInMemoryThisTime_ == 0 || !fileOpen_) return;
    LogSpoolFileTakesAgain(path_, heldInMemoryThisTime_);
    heldInMemoryThisTime_ = 0;
    NoteTrouble({}, false);
}

// Call under fileMutex_.
void ReadingSpool::UpdateFigures() {
    if (!fileOpen_) {
        oldestArrival_ = memory_.empty() ? 0 : memory_.front().arrivedAt;
        return;
    }
    bytes_ = file_.Bytes();
    const std::int64_t oldest = file_.OldestArrival();
    oldestArrival_ = oldest != 0 || memory_.empty() ? oldest : memory_.front().arrivedAt;
}

// Call under fileMutex_: the first reading in memory at or after `sequence`.
std::deque<SpooledReading>::iterator ReadingSpool::InMemory(std::int64_t sequence) {
    return std::lower_bound(
        memory_.begin(), memory_.end(), sequence,
        [](const SpooledReading& spooled, std::int64_t wanted) { return spooled.sequence < wanted; });
}
