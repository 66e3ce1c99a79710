#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "storage/HistoryReading.h"

struct sqlite3;
struct sqlite3_stmt;

// A reading held in the spool, with where each of its two rows stands.
struct SpooledReading {
    std::int64_t sequence = 0;   // the spool's own order: the order of arrival
    std::int64_t arrivedAt = 0;  // seconds since the epoch
    HistoryReading reading;
    RowProgress channel;
    RowProgress fullRcds;

    RowProgress& Row(HistoryRowKind kind) { return kind == HistoryRowKind::Channel ? channel : fullRcds; }
    const RowProgress& Row(HistoryRowKind kind) const { return kind == HistoryRowKind::Channel ? channel : fullRcds; }
};

// The durable local spool: readings the database could not take, oldest first, in an SQLite file
// of their own (write-ahead log, synchronous=FULL), so that a reading appended survives a crash or
// a power loss. The file is bounded: SQLite's max_page_count refuses pages past the limit (its
// write-ahead log adds at most a few MiB until the next checkpoint). One process at a time: the
// file is flock'ed, so a second program in the same directory cannot forward the same readings.
//
// Threads: Enqueue and WaitDurable from any number of worker threads at once. Appends share
// commits: while one thread writes, the others queue, and the next write takes all of them in one
// transaction, so a burst costs one flush rather than one each. Oldest, Note and Remove from one
// thread (the forwarder). Held, Bytes and OldestArrival from any thread.
// Locks: queueMutex_ guards the queue; dbMutex_ the connection and its statements. A thread holds
// dbMutex_ only without queueMutex_.
class ReadingSpool {
public:
    enum class AppendResult { Held, Full, Failed };

    // One reading on its way in. The caller owns it until WaitDurable returns.
    struct Append {
        explicit Append(SpooledReading spooled) : reading(std::move(spooled)) {}
        SpooledReading reading;
        AppendResult result = AppendResult::Failed;
        std::string error;  // why, when Failed
        bool done = false;  // guarded by queueMutex_
    };

    ReadingSpool() = default;
    ~ReadingSpool();
    ReadingSpool(const ReadingSpool&) = delete;
    ReadingSpool& operator=(const ReadingSpool&) = delete;

    // Opens the file, creating it when missing; false with `error` set when it cannot be opened or
    // another process has it. Call once, before any other method.
    bool Open(const std::filesystem::path& path, std::int64_t limitBytes, std::string& error);

    // Counts the reading as held at once; WaitDurable then writes it (or waits for the thread that
    // writes it) and tells the outcome. Full and Failed readings are not held.
    void Enqueue(Append& append);
    AppendResult WaitDurable(Append& append);

    // Up to `count` readings, oldest first; empty with `error` set when the file cannot be read.
    std::vector<SpooledReading> Oldest(std::size_t count, std::string& error);
    // Writes the rows' progress (pending, RID) of these readings in one commit.
    bool Note(const std::vector<const SpooledReading*>& readings);
    // Removes readings whose rows are all committed (or given up), in one commit.
    bool Remove(const std::vector<std::int64_t>& sequences);

    // Readings held, counting those queued on their way in.
    std::int64_t Held() const { return held_.load(std::memory_order_relaxed); }
    // The file's pages in use, in bytes.
    std::int64_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }
    // Arrival of the oldest reading in the file, seconds since the epoch; 0 when empty.
    std::int64_t OldestArrival() const { return oldestArrival_.load(std::memory_order_relaxed); }
    std::int64_t LimitBytes() const { return limitBytes_; }
    const std::filesystem::path& Path() const { return path_; }

private:
    void WriteBatch(const std::vector<Append*>& batch);
    bool WriteTogether(const std::vector<Append*>& batch);
    void WriteAlone(Append& append);
    int InsertRow(SpooledReading& reading);
    bool Execute(const char* sql);
    bool Prepare();
    void Finish();
    void UpdateFigures();
    std::string Error() const;

    std::filesystem::path path_;
    std::int64_t limitBytes_ = 0;
    int lockDescriptor_ = -1;

    std::mutex queueMutex_;
    std::condition_variable written_;
    std::vector<Append*> queue_;  // guarded by queueMutex_
    bool writing_ = false;        // guarded by queueMutex_: a thread is writing a batch

    std::mutex dbMutex_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* update_ = nullptr;
    sqlite3_stmt* remove_ = nullptr;
    sqlite3_stmt* oldest_ = nullptr;
    std::int64_t pageSize_ = 0;

    std::atomic<std::int64_t> held_{0};
    std::atomic<std::int64_t> bytes_{0};
    std::atomic<std::int64_t> oldestArrival_{0};
};
