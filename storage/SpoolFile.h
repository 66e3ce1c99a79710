#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/SpooledReading.h"

class CSQLException;
struct sqlite3;
struct sqlite3_stmt;

// The spool's SQLite file: the readings oldest first with where their rows stand, and the rows set
// aside (a table that kept refusing them). Written through (write-ahead log, synchronous=FULL), so
// that a reading appended survives a crash or a power loss.
//
// Bounded: SQLite's max_page_count refuses pages past the bound. Appends may use the bound less a
// reserve; the forwarder's own bookkeeping (RIDs planned, rows set aside) may use the reserve too,
// so that a spool full of readings can still be forwarded. The write-ahead log is checkpointed at
// 1 MiB and cut back to that size after each checkpoint.
//
// Threads: one at a time (its owner's lock).
class SpoolFile {
public:
    enum class OpenResult { Opened, Damaged, Failed };
    // Why the last write was refused.
    enum class Trouble { None, Bound, Disk, Damaged, Failing };

    SpoolFile() = default;
    ~SpoolFile();
    SpoolFile(const SpoolFile&) = delete;
    SpoolFile& operator=(const SpoolFile&) = delete;

    // Opens the file, creating it when missing, after checking it: Damaged when it is not a sound
    // spool file (the caller keeps it aside), Failed when it cannot be opened at all; `error` says
    // why.
    OpenResult Open(const std::filesystem::path& path, std::int64_t limitBytes, std::string& error);

    // Appends the readings in order, in as few commits as the room allows, giving each its
    // sequence; returns how many were appended (the first ones). Fewer: Why() tells.
    std::size_t Append(const std::vector<SpooledReading*>& readings);
    // Up to `count` readings after sequence `after`, oldest first; false when the file cannot be read.
    bool Oldest(std::size_t count, std::int64_t after, std::vector<SpooledReading>& readings);
    // Writes the rows' progress (pending, RID) of these readings in one commit.
    bool Note(const std::vector<const SpooledReading*>& readings);
    // Removes these readings in one commit.
    bool Remove(const std::vector<std::int64_t>& sequences);
    // Keeps the reading's `kind` row among the rows set aside, with the failure; when the reading
    // is in the file (`inFile`), its row is done there, in the same commit.
    bool SetAside(const SpooledReading& spooled, HistoryRowKind kind, bool inFile, const std::string& table,
                  const CSQLException& failure);
    // Puts every row set aside back among the readings, after the newest; returns how many.
    std::int64_t Requeue();
    // Once the spool is empty: gives free pages back to the file system and empties the log.
    void Shrink();

    std::int64_t Readings();
    std::int64_t RowsSetAside();
    // The pages in use, in bytes.
    std::int64_t Bytes();
    // Arrival of the oldest reading, seconds since the epoch; 0 when none.
    std::int64_t OldestArrival();

    Trouble Why() const { return trouble_; }
    // The last failure in words: "full (64 KiB)", "disk full", or SQLite's message.
    const std::string& WhyText() const { return troubleText_; }
    std::int64_t LimitBytes() const { return limitPages_ * pageSize_; }

private:
    bool Configure(bool fresh, std::string& error);
    bool Prepare();
    void Finish();
    bool Transaction(const std::vector<SpooledReading*>& readings, std::size_t count, std::size_t& failedAt);
    bool UpdateRow(const SpooledReading& spooled);
    bool Step(sqlite3_stmt* statement);
    int Execute(const char* sql);
    bool Commit();
    void Rollback();
    void UseBound(bool forAppends);
    void Failed(int rc);

    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* update_ = nullptr;
    sqlite3_stmt* remove_ = nullptr;
    sqlite3_stmt* oldest_ = nullptr;
    sqlite3_stmt* aside_ = nullptr;
    sqlite3_stmt* asideDone_[2] = {nullptr, nullptr};
    std::int64_t pageSize_ = 4096;
    std::int64_t limitPages_ = 0;
    std::int64_t reservePages_ = 0;
    bool boundForAppends_ = false;
    Trouble trouble_ = Trouble::None;
    std::string troubleText_;
};
