#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "storage/SpoolFile.h"
#include "storage/SpoolLock.h"
#include "storage/SpooledReading.h"

class CSQLException;

// The spool's bounds: its file, and the memory that takes readings while the file cannot.
struct SpoolLimits {
    std::int64_t fileBytes = 0;
    std::int64_t memoryBytes = 0;
};

// The local spool: readings the database could not take, oldest first. They are kept in the spool
// file (SpoolFile) and, while the file cannot take them (full to its bound, the disk full, the file
// failing), in memory up to a bound of its own, after every reading of the file; the forwarder
// writes them to the file once it has room again. Only a reading that fits neither is refused.
//
// At Open the spool is made sound: a write-ahead log whose file has gone and a damaged file are
// kept aside under new names (each with a line in the event log saying where), the readings that
// can still be read from them are taken in, and the rows set aside by an earlier run are given
// another chance. A file that cannot be opened at all leaves a spool in memory only.
//
// Threads: Enqueue and WaitDurable from any number of worker threads at once. Appends share
// commits: while one thread writes, the others queue, and the next write takes all of them in one
// transaction, so a burst costs one flush rather than one each. Settle, Oldest, Note, Remove and
// Shrink from one thread (the forwarder); SetAside and the figures from any thread.
// Locks: queueMutex_ guards the queue; fileMutex_ the file and the readings in memory;
// troubleMutex_ the trouble text. A thread holds fileMutex_ only without queueMutex_, and takes
// troubleMutex_ last.
class ReadingSpool {
public:
    enum class OpenResult { Opened, MemoryOnly, HeldElsewhere };
    enum class AppendResult { Held, Refused };

    // One reading on its way in. The caller owns it until WaitDurable returns.
    struct Append {
        explicit Append(SpooledReading spooled) : reading(std::move(spooled)) {}
        SpooledReading reading;
        AppendResult result = AppendResult::Refused;
        std::string why;    // when Refused: the file's trouble and the memory's bound
        bool done = false;  // guarded by queueMutex_
    };

    ReadingSpool() = default;
    // Writes the readings still in memory to the file; those it cannot take are logged as lost.
    ~ReadingSpool();
    ReadingSpool(const ReadingSpool&) = delete;
    ReadingSpool& operator=(const ReadingSpool&) = delete;

    // Call once, before any other method. HeldElsewhere: another process has the spool, nothing
    // was touched and the spool must not be used. MemoryOnly: the file cannot be used (logged),
    // readings are held in memory only. `message` says why whenever the result is not Opened.
    OpenResult Open(const std::filesystem::path& path, SpoolLimits limits, std::string& message);

    // Counts the reading as held at once; WaitDurable then writes it (or waits for the thread that
    // writes it) and tells the outcome. A refused reading is not held.
    void Enqueue(Append& append);
    AppendResult WaitDurable(Append& append);

    // Readings held in memory go to the file, oldest first, as far as it has room.
    void Settle();
    // Up to `count` readings after sequence `after` (0: from the oldest), oldest first: those of the
    // file, then those in memory. A file that cannot be read sets `error` and gives those in memory.
    std::vector<SpooledReading> Oldest(std::size_t count, std::int64_t after, std::string& error);
    // Writes the rows' progress (pending, RID) of these readings, those of the file in one commit.
    bool Note(const std::vector<const SpooledReading*>& readings);
    // Removes readings whose rows are all stored (or given up or set aside), in one commit.
    bool Remove(const std::vector<std::int64_t>& sequences);
    // Keeps the reading's `kind` row among the rows set aside with the failure that kept refusing
    // it, in the file; the reading need not be in the spool. False when the file cannot take it.
    bool SetAside(const SpooledReading& spooled, HistoryRowKind kind, const std::string& table,
                  const CSQLException& failure);
    // Once the spool is empty: gives the file's free pages back and empties its log.
    void Shrink();

    // The file is open: readings are not held in memory only.
    bool FileOpen() const { return fileOpened_.load(std::memory_order_relaxed); }
    // Readings held (file and memory), counting those queued on their way in.
    std::int64_t Held() const { return held_.load(std::memory_order_relaxed); }
    std::int64_t MemoryHeld() const { return memoryHeld_.load(std::memory_order_relaxed); }
    std::int64_t MemoryBytes() const { return memoryBytes_.load(std::memory_order_relaxed); }
    std::int64_t RowsSetAside() const { return rowsSetAside_.load(std::memory_order_relaxed); }
    // The file's pages in use, in bytes.
    std::int64_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }
    // Arrival of the oldest reading held, seconds since the epoch; 0 when none is.
    std::int64_t OldestArrival() const { return oldestArrival_.load(std::memory_order_relaxed); }
    std::int64_t LimitBytes() const { return limits_.fileBytes; }
    std::int64_t MemoryLimitBytes() const { return limits_.memoryBytes; }
    // The file refuses writes for a fault (disk full, damaged, failing), not for its bound.
    bool FileFailing() const { return fileFailing_.load(std::memory_order_relaxed); }
    // Why the file does not take readings now ("full (64 KiB)", "disk full", ...); empty while it does.
    std::string Trouble() const;
    const std::filesystem::path& Path() const { return path_; }

private:
    void OpenFile(std::string& message);
    void TakeIn(const std::filesystem::path& aside, bool damaged, const std::string& why);
    void WriteBatch(const std::vector<Append*>& batch);
    void Keep(Append& append);
    void NoteTrouble(const std::string& why, bool failing);
    void AfterMemoryShrank();
    void UpdateFigures();
    std::deque<SpooledReading>::iterator InMemory(std::int64_t sequence);

    std::filesystem::path path_;
    SpoolLimits limits_;
    SpoolLock lock_;

    std::mutex queueMutex_;
    std::condition_variable written_;
    std::vector<Append*> queue_;  // guarded by queueMutex_
    bool writing_ = false;        // guarded by queueMutex_: a thread is writing a batch

    std::mutex fileMutex_;
    SpoolFile file_;                         // guarded by fileMutex_
    bool fileOpen_ = false;                  // guarded by fileMutex_
    std::deque<SpooledReading> memory_;      // guarded by fileMutex_: newer than every reading of the file
    std::int64_t memoryCount_ = 0;           // guarded by fileMutex_: readings taken in memory, ever
    std::int64_t heldInMemoryThisTime_ = 0;  // guarded by fileMutex_: since the file last took all

    mutable std::mutex troubleMutex_;
    std::string trouble_;                   // guarded by troubleMutex_
    std::atomic<bool> troubled_{false};     // trouble_ is not empty
    std::atomic<bool> fileFailing_{false};  // the trouble is a fault of the file, not its bound

    std::atomic<bool> fileOpened_{false};  // fileOpen_, for any thread
    std::atomic<std::int64_t> held_{0};
    std::atomic<std::int64_t> memoryHeld_{0};
    std::atomic<std::int64_t> memoryBytes_{0};
    std::atomic<std::int64_t> rowsSetAside_{0};
    std::atomic<std::int64_t> bytes_{0};
    std::atomic<std::int64_t> oldestArrival_{0};
};
