#include "storage/SpoolFile.h"

#include <sqlite3.h>

#include <algorithm>
#include <ctime>

#include "storage/SpoolFileSystem.h"
#include "storage/SpoolRows.h"
#include "storage/sql/SQLException.h"

using spool_rows::Number;

namespace {

// Below this SQLite cannot hold its schema (the first page, the pointer map, two tables) and a
// few readings.
constexpr std::int64_t kFewestPages = 16;
// The forwarder's share of the bound: a pass of 64 readings plans at most 128 RIDs (a few hundred
// bytes) and sets aside at most as many rows, with a page split here and there.
constexpr std::int64_t kFewestReservePages = 4;
constexpr std::int64_t kMostReservePages = 256;
// The write-ahead log is copied into the file once it holds this many pages, and cut back to
// kLogBytes after, so that it stays small however long the spool is in use.
constexpr int kCheckpointPages = 256;
constexpr std::int64_t kLogBytes = 1 << 20;

bool IsDamage(int rc) { return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB; }

}  // namespace

SpoolFile::~SpoolFile() { Finish(); }

SpoolFile::OpenResult SpoolFile::Open(const std::filesystem::path& path, std::int64_t limitBytes, std::string& error) {
    std::error_code none;
    const bool fresh = std::filesystem::file_size(path, none) == 0 || none;
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, spool_files::Name()) !=
        SQLITE_OK) {
        error = db_ != nullptr ? sqlite3_errmsg(db_) : "cannot open " + path.string();
        Finish();
        return OpenResult::Failed;
    }
    sqlite3_extended_result_codes(db_, 1);
    // Checked before anything is written, so that a damaged file is kept aside as it was found.
    sqlite3_stmt* check = nullptr;
    int rc = sqlite3_prepare_v2(db_, "PRAGMA quick_check(1)", -1, &check, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_step(check);
    const std::string verdict =
        rc == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(check, 0)) : sqlite3_errmsg(db_);
    sqlite3_finalize(check);
    if (IsDamage(rc) || (rc == SQLITE_ROW && verdict != "ok")) {
        error = verdict;
        Finish();
        return OpenResult::Damaged;
    }
    if (rc != SQLITE_ROW || !Configure(fresh, error)) {
        if (error.empty()) error = verdict;
        const bool damaged = IsDamage(sqlite3_extended_errcode(db_));
        Finish();
        return damaged ? OpenResult::Damaged : OpenResult::Failed;
    }
    pageSize_ = Number(db_, "PRAGMA page_size");
    limitPages_ = std::max(limitBytes / std::max<std::int64_t>(pageSize_, 1), kFewestPages);
    reservePages_ = std::clamp(limitPages_ / 16, kFewestReservePages, kMostReservePages);
    UseBound(true);
    return OpenResult::Opened;
}

bool SpoolFile::Configure(bool fresh, std::string& error) {
    const std::int64_t layout = Number(db_, "PRAGMA user_version");
    if (layout > spool_rows::kLayoutVersion) {
        error = "written by a later Telvorn (layout " + std::to_string(layout) + ")";
        return false;
    }
    // Free pages go back to the file system once the spool is empty; only a new file can have it.
    if (fresh && Execute("PRAGMA auto_vacuum=INCREMENTAL") != SQLITE_OK) return false;
    const std::string logLimit = "PRAGMA journal_size_limit=" + std::to_string(kLogBytes);
    const std::string checkpoint = "PRAGMA wal_autocheckpoint=" + std::to_string(kCheckpointPages);
    const std::string version = "PRAGMA user_version=" + std::to_string(spool_rows::kLayoutVersion);
    // Freed pages and cells are zeroed, so that a spool read page by page (SpoolPages.h) shows no
    // reading already forwarded.
    for (const char* sql :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA secure_delete=ON", logLimit.c_str(),
          checkpoint.c_str(), spool_rows::kCreateReadings, spool_rows::kCreateAside, version.c_str()})
        if (Execute(sql) != SQLITE_OK) return false;
    return Prepare();
}

bool SpoolFile::Prepare() {
    const std::string insert = std::string("INSERT INTO readings(") + spool_rows::kInsertColumns +
                               ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    const std::string aside = std::string("INSERT INTO aside(") + spool_rows::kInsertColumns +
                              ", table_name, sqlstate, message, set_aside_at) "
                              "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    const std::string oldest =
        std::string("SELECT ") + spool_rows::kColumns + " FROM readings WHERE seq > ? ORDER BY seq LIMIT ?";
    const auto prepare = [this](const std::string& sql, sqlite3_stmt** statement) {
        return sqlite3_prepare_v2(db_, sql.c_str(), -1, statement, nullptr) == SQLITE_OK;
    };
    return prepare(insert, &insert_) && prepare(aside, &aside_) && prepare(oldest, &oldest_) &&
           prepare(
               "UPDATE readings SET channel_pending = ?, channel_rid = ?, full_pending = ?, full_rid = ? "
               "WHERE seq = ?",
               &update_) &&
           prepare("DELETE FROM readings WHERE seq = ?", &remove_) &&
           prepare("UPDATE readings SET channel_pending = 0 WHERE seq = ?", &asideDone_[0]) &&
           prepare("UPDATE readings SET full_pending = 0 WHERE seq = ?", &asideDone_[1]);
}

void SpoolFile::Finish() {
    for (sqlite3_stmt** statement : {&insert_, &update_, &remove_, &oldest_, &aside_, &asideDone_[0], &asideDone_[1]}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::size_t SpoolFile::Append(const std::vector<SpooledReading*>& readings) {
    UseBound(true);
    for (std::size_t count = readings.size(); count > 0;) {
        std::size_t failedAt = count;
        if (Transaction(readings, count, failedAt)) {
            trouble_ = Trouble::None;
            return count;
        }
        // A reading that did not fit: those before it may; a commit that failed: half of them may.
        count = failedAt < count ? failedAt : count / 2;
    }
    return 0;
}

// The first `count` readings in one commit; false, with nothing written and `failedAt` the reading
// that failed (`count` for the commit), otherwise.
bool SpoolFile::Transaction(const std::vector<SpooledReading*>& readings, std::size_t count, std::size_t& failedAt) {
    const int begun = Execute("BEGIN IMMEDIATE");
    if (begun != SQLITE_OK) {
        Failed(begun);
        failedAt = 0;
        return false;
    }
    std::vector<std::int64_t> sequences;
    for (std::size_t i = 0; i < count; ++i) {
        sqlite3_reset(insert_);
        spool_rows::BindReading(insert_, 1, *readings[i]);
        if (!Step(insert_)) {
            Failed(sqlite3_extended_errcode(db_));
            Rollback();
            failedAt = i;
            return false;
        }
        sequences.push_back(sqlite3_last_insert_rowid(db_));
    }
    if (!Commit()) return false;
    for (std::size_t i = 0; i < count; ++i) readings[i]->sequence = sequences[i];
    return true;
}

bool SpoolFile::Oldest(std::size_t count, std::int64_t after, std::vector<SpooledReading>& readings) {
    sqlite3_reset(oldest_);
    sqlite3_bind_int64(oldest_, 1, after);
    sqlite3_bind_int64(oldest_, 2, static_cast<std::int64_t>(count));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(oldest_)) == SQLITE_ROW) readings.push_back(spool_rows::ReadReading(oldest_));
    sqlite3_reset(oldest_);
    if (rc == SQLITE_DONE) return true;
    Failed(rc);
    return false;
}

bool SpoolFile::Note(const std::vector<const SpooledReading*>& readings) {
    UseBound(false);
    if (const int rc = Execute("BEGIN IMMEDIATE"); rc != SQLITE_OK) {
        Failed(rc);
        return false;
    }
    for (const SpooledReading* spooled : readings) {
        if (!UpdateRow(*spooled)) {
            Failed(sqlite3_extended_errcode(db_));
            Rollback();
            return false;
        }
    }
    return Commit();
}

bool SpoolFile::UpdateRow(const SpooledReading& spooled) {
    sqlite3_reset(update_);
    sqlite3_bind_int(update_, 1, spooled.channel.pending ? 1 : 0);
    spool_rows::BindRid(update_, 2, spooled.channel.rid);
    sqlite3_bind_int(update_, 3, spooled.fullRcds.pending ? 1 : 0);
    spool_rows::BindRid(update_, 4, spooled.fullRcds.rid);
    sqlite3_bind_int64(update_, 5, spooled.sequence);
    return Step(update_);
}

bool SpoolFile::Remove(const std::vector<std::int64_t>& sequences) {
    if (const int rc = Execute("BEGIN IMMEDIATE"); rc != SQLITE_OK) {
        Failed(rc);
        return false;
    }
    for (const std::int64_t sequence : sequences) {
        sqlite3_reset(remove_);
        sqlite3_bind_int64(remove_, 1, sequence);
        if (!Step(remove_)) {
            Failed(sqlite3_extended_errcode(db_));
            Rollback();
            return false;
        }
    }
    return Commit();
}

bool SpoolFile::SetAside(const SpooledReading& spooled, HistoryRowKind kind, bool inFile, const std::string& table,
                         const CSQLException& failure) {
    UseBound(false);
    SpooledReading row = spooled;
    row.channel.pending = kind == HistoryRowKind::Channel;
    row.fullRcds.pending = kind == HistoryRowKind::FullRcds;
    if (const int rc = Execute("BEGIN IMMEDIATE"); rc != SQLITE_OK) {
        Failed(rc);
        return false;
    }
    sqlite3_reset(aside_);
    spool_rows::BindReading(aside_, 1, row);
    spool_rows::BindText(aside_, spool_rows::kInsertValues + 1, table);
    spool_rows::BindText(aside_, spool_rows::kInsertValues + 2, failure.sqlState);
    sqlite3_bind_blob(aside_, spool_rows::kInsertValues + 3, failure.message.data(),
                      static_cast<int>(failure.message.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(aside_, spool_rows::kInsertValues + 4, std::time(nullptr));
    sqlite3_stmt* done = asideDone_[kind == HistoryRowKind::Channel ? 0 : 1];
    sqlite3_reset(done);
    sqlite3_bind_int64(done, 1, spooled.sequence);
    if (!Step(aside_) || (inFile && !Step(done))) {
        Failed(sqlite3_extended_errcode(db_));
        Rollback();
        return false;
    }
    return Commit();
}

std::int64_t SpoolFile::Requeue() {
    UseBound(false);
    const std::string move = std::string("BEGIN IMMEDIATE; INSERT INTO readings(") + spool_rows::kInsertColumns +
                             ") SELECT " + spool_rows::kInsertColumns + " FROM aside ORDER BY seq; DELETE FROM aside";
    if (Execute(move.c_str()) != SQLITE_OK) {
        Failed(sqlite3_extended_errcode(db_));
        Rollback();
        return 0;
    }
    const std::int64_t moved = sqlite3_changes(db_);
    return Commit() ? moved : 0;
}

void SpoolFile::Shrink() {
    Execute("PRAGMA incremental_vacuum");
    Execute("PRAGMA wal_checkpoint(TRUNCATE)");
}

std::int64_t SpoolFile::Readings() { return Number(db_, "SELECT COUNT(*) FROM readings"); }
std::int64_t SpoolFile::RowsSetAside() { return Number(db_, "SELECT COUNT(*) FROM aside"); }
std::int64_t SpoolFile::Bytes() {
    return (Number(db_, "PRAGMA page_count") - Number(db_, "PRAGMA freelist_count")) * pageSize_;
}
std::int64_t SpoolFile::OldestArrival() { return Number(db_, "SELECT arrived FROM readings ORDER BY seq LIMIT 1"); }

// Appends stop short of the reserve; max_page_count is per connection and changes nothing on disk.
void SpoolFile::UseBound(bool forAppends) {
    if (boundForAppends_ == forAppends && db_ != nullptr && limitPages_ > 0) return;
    boundForAppends_ = forAppends;
    const std::int64_t pages = forAppends ? limitPages_ - reservePages_ : limitPages_;
    Execute(("PRAGMA max_page_count=" + std::to_string(pages)).c_str());
}

void SpoolFile::Failed(int rc) {
    if ((rc & 0xff) == SQLITE_FULL) {
        // SQLite says "full" for the bound and for the disk alike; the file layer knows which.
        trouble_ = spool_files::TakeDiskFull() ? Trouble::Disk : Trouble::Bound;
        troubleText_ =
            trouble_ == Trouble::Disk ? "disk full" : "file full (" + std::to_string(LimitBytes() / 1024) + " KiB)";
        return;
    }
    trouble_ = IsDamage(rc) ? Trouble::Damaged : Trouble::Failing;
    troubleText_ = sqlite3_errstr(rc);
    if (db_ != nullptr && sqlite3_extended_errcode(db_) == rc) troubleText_ = sqlite3_errmsg(db_);
}

bool SpoolFile::Step(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    sqlite3_reset(statement);
    return rc == SQLITE_DONE;
}

int SpoolFile::Execute(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

bool SpoolFile::Commit() {
    const int rc = Execute("COMMIT");
    if (rc == SQLITE_OK) return true;
    Failed(rc);
    Rollback();
    return false;
}

void SpoolFile::Rollback() {
    if (sqlite3_get_autocommit(db_) == 0) Execute("ROLLBACK");
}
