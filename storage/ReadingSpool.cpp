#include "storage/ReadingSpool.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>

namespace {

// Spool files of this layout say so in their user_version, for a later layout to tell them apart.
constexpr int kLayoutVersion = 1;

// Below a few pages SQLite cannot even hold its schema.
constexpr std::int64_t kFewestPages = 8;

constexpr const char* kCreate =
    "CREATE TABLE IF NOT EXISTS readings("
    "seq INTEGER PRIMARY KEY, arrived INTEGER NOT NULL, unit INTEGER NOT NULL, channel TEXT NOT NULL, "
    "number INTEGER NOT NULL, value TEXT NOT NULL, full_value REAL NOT NULL, rtime BLOB NOT NULL, "
    "state INTEGER NOT NULL, gps BLOB NOT NULL, "
    "channel_pending INTEGER NOT NULL, channel_rid INTEGER, channel_ltime TEXT NOT NULL, "
    "full_pending INTEGER NOT NULL, full_rid INTEGER, full_ltime TEXT NOT NULL)";
constexpr const char* kColumns =
    "seq, arrived, unit, channel, number, value, full_value, rtime, state, gps, "
    "channel_pending, channel_rid, channel_ltime, full_pending, full_rid, full_ltime";

std::string Text(sqlite3_stmt* statement, int column) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    return std::string(bytes != nullptr ? bytes : "",
                       static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

void BindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Texts from the network (the RTU time, the GPS text) are kept as bytes: they need not be UTF-8.
void BindBytes(sqlite3_stmt* statement, int index, const std::string& bytes) {
    sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

void BindRid(sqlite3_stmt* statement, int index, const std::optional<std::int32_t>& rid) {
    if (rid)
        sqlite3_bind_int(statement, index, *rid);
    else
        sqlite3_bind_null(statement, index);
}

std::optional<std::int32_t> Rid(sqlite3_stmt* statement, int column) {
    if (sqlite3_column_type(statement, column) == SQLITE_NULL) return std::nullopt;
    return sqlite3_column_int(statement, column);
}

std::int64_t Number(sqlite3* db, const char* query) {
    sqlite3_stmt* statement = nullptr;
    std::int64_t number = 0;
    if (sqlite3_prepare_v2(db, query, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        number = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return number;
}

SpooledReading ReadRow(sqlite3_stmt* statement) {
    SpooledReading spooled;
    spooled.sequence = sqlite3_column_int64(statement, 0);
    spooled.arrivedAt = sqlite3_column_int64(statement, 1);
    HistoryReading& reading = spooled.reading;
    reading.unitId = sqlite3_column_int(statement, 2);
    reading.channelName = Text(statement, 3);
    reading.channelNumber = sqlite3_column_int(statement, 4);
    reading.valueText = Text(statement, 5);
    reading.fullValue = static_cast<float>(sqlite3_column_double(statement, 6));
    reading.rtuTime = Text(statement, 7);
    reading.state = static_cast<std::uint8_t>(sqlite3_column_int(statement, 8));
    reading.gpsText = Text(statement, 9);
    spooled.channel = {sqlite3_column_int(statement, 10) != 0, Rid(statement, 11), Text(statement, 12)};
    spooled.fullRcds = {sqlite3_column_int(statement, 13) != 0, Rid(statement, 14), Text(statement, 15)};
    return spooled;
}

}  // namespace

ReadingSpool::~ReadingSpool() {
    Finish();
    if (lockDescriptor_ >= 0) close(lockDescriptor_);
}

bool ReadingSpool::Open(const std::filesystem::path& path, std::int64_t limitBytes, std::string& error) {
    path_ = path;
    limitBytes_ = limitBytes;
    lockDescriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockDescriptor_ < 0) {
        error = "cannot create " + path.string();
        return false;
    }
    if (flock(lockDescriptor_, LOCK_EX | LOCK_NB) != 0) {
        error = path.string() + " is in use by another process";
        return false;
    }
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK ||
        !Execute("PRAGMA journal_mode=WAL") || !Execute("PRAGMA synchronous=FULL") || !Execute(kCreate) ||
        !Execute(("PRAGMA user_version=" + std::to_string(kLayoutVersion)).c_str()) || !Prepare()) {
        error = Error();
        Finish();
        return false;
    }
    pageSize_ = Number(db_, "PRAGMA page_size");
    const std::int64_t pages = std::max(limitBytes / std::max<std::int64_t>(pageSize_, 1), kFewestPages);
    Execute(("PRAGMA max_page_count=" + std::to_string(pages)).c_str());
    held_ = Number(db_, "SELECT COUNT(*) FROM readings");
    UpdateFigures();
    return true;
}

bool ReadingSpool::Prepare() {
    const std::string insert =
        "INSERT INTO readings(arrived, unit, channel, number, value, full_value, rtime, state, gps, "
        "channel_pending, channel_rid, channel_ltime, full_pending, full_rid, full_ltime) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    const std::string oldest = std::string("SELECT ") + kColumns + " FROM readings ORDER BY seq LIMIT ?";
    return sqlite3_prepare_v2(db_, insert.c_str(), -1, &insert_, nullptr) == SQLITE_OK &&
           sqlite3_prepare_v2(db_,
                              "UPDATE readings SET channel_pending = ?, channel_rid = ?, full_pending = ?, "
                              "full_rid = ? WHERE seq = ?",
                              -1, &update_, nullptr) == SQLITE_OK &&
           sqlite3_prepare_v2(db_, "DELETE FROM readings WHERE seq = ?", -1, &remove_, nullptr) == SQLITE_OK &&
           sqlite3_prepare_v2(db_, oldest.c_str(), -1, &oldest_, nullptr) == SQLITE_OK;
}

void ReadingSpool::Finish() {
    for (sqlite3_stmt** statement : {&insert_, &update_, &remove_, &oldest_}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    sqlite3_close_v2(db_);
    db_ = nullptr;
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

void ReadingSpool::WriteBatch(const std::vector<Append*>& batch) {
    std::lock_guard lock(dbMutex_);
    if (batch.size() == 1 || !WriteTogether(batch))
        for (Append* append : batch) WriteAlone(*append);
    std::int64_t refused = 0;
    std::int64_t earliest = 0;
    for (const Append* append : batch) {
        if (append->result != AppendResult::Held)
            ++refused;
        else if (earliest == 0 || append->reading.arrivedAt < earliest)
            earliest = append->reading.arrivedAt;
    }
    held_.fetch_sub(refused, std::memory_order_relaxed);
    if (earliest != 0) {
        std::int64_t none = 0;
        oldestArrival_.compare_exchange_strong(none, earliest, std::memory_order_relaxed);
    }
    UpdateFigures();
}

// One transaction for the whole batch; false, with nothing written, when any reading fails (the
// full spool among them), so that each is then written alone and learns its own outcome.
bool ReadingSpool::WriteTogether(const std::vector<Append*>& batch) {
    if (!Execute("BEGIN IMMEDIATE")) return false;
    for (Append* append : batch) {
        if (InsertRow(append->reading) != SQLITE_DONE) {
            if (sqlite3_get_autocommit(db_) == 0) Execute("ROLLBACK");
            return false;
        }
    }
    if (!Execute("COMMIT")) {
        if (sqlite3_get_autocommit(db_) == 0) Execute("ROLLBACK");
        return false;
    }
    for (Append* append : batch) append->result = AppendResult::Held;
    return true;
}

void ReadingSpool::WriteAlone(Append& append) {
    const int rc = InsertRow(append.reading);
    if (rc == SQLITE_DONE) {
        append.result = AppendResult::Held;
    } else if ((rc & 0xff) == SQLITE_FULL) {
        append.result = AppendResult::Full;
    } else {
        append.result = AppendResult::Failed;
        append.error = Error();
    }
}

// Call under dbMutex_.
int ReadingSpool::InsertRow(SpooledReading& spooled) {
    const HistoryReading& reading = spooled.reading;
    sqlite3_reset(insert_);
    sqlite3_clear_bindings(insert_);
    sqlite3_bind_int64(insert_, 1, spooled.arrivedAt);
    sqlite3_bind_int(insert_, 2, reading.unitId);
    BindText(insert_, 3, reading.channelName);
    sqlite3_bind_int(insert_, 4, reading.channelNumber);
    BindText(insert_, 5, reading.valueText);
    sqlite3_bind_double(insert_, 6, reading.fullValue);
    BindBytes(insert_, 7, reading.rtuTime);
    sqlite3_bind_int(insert_, 8, reading.state);
    BindBytes(insert_, 9, reading.gpsText);
    sqlite3_bind_int(insert_, 10, spooled.channel.pending ? 1 : 0);
    BindRid(insert_, 11, spooled.channel.rid);
    BindText(insert_, 12, spooled.channel.localTime);
    sqlite3_bind_int(insert_, 13, spooled.fullRcds.pending ? 1 : 0);
    BindRid(insert_, 14, spooled.fullRcds.rid);
    BindText(insert_, 15, spooled.fullRcds.localTime);
    const int rc = sqlite3_step(insert_);
    if (rc == SQLITE_DONE) spooled.sequence = sqlite3_last_insert_rowid(db_);
    sqlite3_reset(insert_);
    return rc == SQLITE_DONE ? rc : sqlite3_extended_errcode(db_);
}

std::vector<SpooledReading> ReadingSpool::Oldest(std::size_t count, std::string& error) {
    std::lock_guard lock(dbMutex_);
    std::vector<SpooledReading> readings;
    sqlite3_reset(oldest_);
    sqlite3_bind_int64(oldest_, 1, static_cast<std::int64_t>(count));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(oldest_)) == SQLITE_ROW) readings.push_back(ReadRow(oldest_));
    if (rc != SQLITE_DONE) {
        error = Error();
        readings.clear();
    }
    sqlite3_reset(oldest_);
    return readings;
}

bool ReadingSpool::Note(const std::vector<const SpooledReading*>& readings) {
    std::lock_guard lock(dbMutex_);
    if (!Execute("BEGIN IMMEDIATE")) return false;
    for (const SpooledReading* spooled : readings) {
        sqlite3_reset(update_);
        sqlite3_bind_int(update_, 1, spooled->channel.pending ? 1 : 0);
        BindRid(update_, 2, spooled->channel.rid);
        sqlite3_bind_int(update_, 3, spooled->fullRcds.pending ? 1 : 0);
        BindRid(update_, 4, spooled->fullRcds.rid);
        sqlite3_bind_int64(update_, 5, spooled->sequence);
        const int rc = sqlite3_step(update_);
        sqlite3_reset(update_);
        if (rc != SQLITE_DONE) {
            if (sqlite3_get_autocommit(db_) == 0) Execute("ROLLBACK");
            return false;
        }
    }
    return Execute("COMMIT");
}

bool ReadingSpool::Remove(const std::vector<std::int64_t>& sequences) {
    std::lock_guard lock(dbMutex_);
    if (!Execute("BEGIN IMMEDIATE")) return false;
    for (const std::int64_t sequence : sequences) {
        sqlite3_reset(remove_);
        sqlite3_bind_int64(remove_, 1, sequence);
        const int rc = sqlite3_step(remove_);
        sqlite3_reset(remove_);
        if (rc != SQLITE_DONE) {
            if (sqlite3_get_autocommit(db_) == 0) Execute("ROLLBACK");
            return false;
        }
    }
    if (!Execute("COMMIT")) return false;
    held_.fetch_sub(static_cast<std::int64_t>(sequences.size()), std::memory_order_relaxed);
    oldestArrival_.store(Number(db_, "SELECT arrived FROM readings ORDER BY seq LIMIT 1"), std::memory_order_relaxed);
    UpdateFigures();
    return true;
}

// Call under dbMutex_ (or before the spool is shared).
void ReadingSpool::UpdateFigures() {
    const std::int64_t inUse = Number(db_, "PRAGMA page_count") - Number(db_, "PRAGMA freelist_count");
    bytes_.store(inUse * pageSize_, std::memory_order_relaxed);
    if (held_.load(std::memory_order_relaxed) > 0 && oldestArrival_.load(std::memory_order_relaxed) == 0)
        oldestArrival_.store(Number(db_, "SELECT arrived FROM readings ORDER BY seq LIMIT 1"),
                             std::memory_order_relaxed);
}

bool ReadingSpool::Execute(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

std::string ReadingSpool::Error() const {
    return db_ != nullptr ? sqlite3_errmsg(db_) : "cannot open " + path_.string();
}
