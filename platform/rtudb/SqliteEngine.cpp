#include "platform/rtudb/SqliteEngine.h"

#include "platform/rtudb/HomePath.h"
#include "platform/rtudb/LocalNow.h"
#include "platform/rtudb/SqlTokenizer.h"
#include "platform/rtudb/SqliteErrors.h"

#include <sqlite3.h>

#include <strings.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

constexpr int kDefaultBusyTimeoutMs = 5000;
constexpr std::size_t kUnsizedTextLength = 255;  // TEXT without a length
constexpr std::size_t kOtherColumnLength = 32;   // numbers print within this
// SQLite asks whether a step may go on after this many virtual-machine instructions: a clock read
// per thousand costs nothing beside the instructions, and a second of work is some million of them.
constexpr int kProgressInstructions = 1000;

// Holds the SQLite connection's own (recursive) mutex, so that a step and the reading of its
// error code, message and change count see the same statement's outcome.
class ConnectionLock {
public:
    explicit ConnectionLock(sqlite3* db) : mutex_(sqlite3_db_mutex(db)) { sqlite3_mutex_enter(mutex_); }
    ~ConnectionLock() { sqlite3_mutex_leave(mutex_); }
    ConnectionLock(const ConnectionLock&) = delete;
    ConnectionLock& operator=(const ConnectionLock&) = delete;

private:
    sqlite3_mutex* mutex_;
};

// The connection's current error; call under ConnectionLock.
EngineError ErrorOf(sqlite3* db) {
    const int code = sqlite3_extended_errcode(db);
    const char* message = sqlite3_errmsg(db);
    return {SqlStateForSqlite(code, message), message != nullptr ? message : "unknown SQLite error", code};
}

// The query time-out of the connection (SQL_ATTR_QUERY_TIMEOUT), counted from the start of each
// step: a step that runs past it is interrupted and fails with HYT00. Seconds may be set from any
// thread; Start and Expired run under ConnectionLock, so the deadline has one writer at a time.
class StepBudget {
public:
    using Clock = std::chrono::steady_clock;

    void SetSeconds(unsigned seconds) { seconds_.store(seconds); }
    void Start() {
        const unsigned seconds = seconds_.load();
        timed_ = seconds != 0;
        deadline_ = Clock::now() + std::chrono::seconds(seconds);
    }
    // SQLite's progress handler: non-zero interrupts the statement.
    static int Expired(void* self) {
        const auto& budget = *static_cast<const StepBudget*>(self);
        return budget.timed_ && Clock::now() >= budget.deadline_ ? 1 : 0;
    }
    // The error of a failed step, which is the time-out's when the step was interrupted.
    EngineError ErrorOf(sqlite3* db) const {
        if ((sqlite3_extended_errcode(db) & 0xff) != SQLITE_INTERRUPT) return ::ErrorOf(db);
        return {"HYT00",
                "statement cancelled: it ran longer than its time-out of " + std::to_string(seconds_.load()) + " s",
                SQLITE_INTERRUPT};
    }

private:
    std::atomic<unsigned> seconds_{0};
    bool timed_ = false;
    Clock::time_point deadline_{};
};

// A query's statement; the first row was stepped to by Run and is handed out by the first Next.
class SqliteRows final : public IEngineRows {
public:
    SqliteRows(sqlite3* db, sqlite3_stmt* statement, bool rowPending, StepBudget& budget)
        : db_(db), statement_(statement), rowPending_(rowPending), done_(!rowPending), budget_(budget) {}

    ~SqliteRows() override {
        ConnectionLock lock(db_);
        sqlite3_finalize(statement_);
    }

    SqliteRows(const SqliteRows&) = delete;
    SqliteRows& operator=(const SqliteRows&) = delete;

    int ColumnCount() const override { return sqlite3_column_count(statement_); }

    std::string ColumnName(int index) const override {
        const char* name = sqlite3_column_name(statement_, index);
        return name != nullptr ? name : "";
    }

    std::string ColumnTypeName(int index) const override {
        const char* type = sqlite3_column_decltype(statement_, index);
        return type != nullptr ? type : "";
    }

    // TEXT(32) gives 32; a type without a length gives a width its values fit in.
    std::size_t ColumnLength(int index) const override {
        const std::string type = ColumnTypeName(index);
        if (const auto open = type.find('('); open != std::string::npos) {
            const long length = std::strtol(type.c_str() + open + 1, nullptr, 10);
            if (length > 0) return static_cast<std::size_t>(length);
        }
        return type.empty() || strncasecmp(type.c_str(), "TEXT", 4) == 0 ? kUnsizedTextLength : kOtherColumnLength;
    }

    bool Next(EngineError& error) override {
        if (rowPending_) {
            rowPending_ = false;
            return true;
        }
        if (done_) return false;
        ConnectionLock lock(db_);
        budget_.Start();
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW) return true;
        done_ = true;
        if (rc != SQLITE_DONE) error = budget_.ErrorOf(db_);
        return false;
    }

    bool Text(int index, std::string& text) override {
        ConnectionLock lock(db_);
        if (sqlite3_column_type(statement_, index) == SQLITE_NULL) return false;
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
        const int length = sqlite3_column_bytes(statement_, index);
        text.assign(bytes != nullptr ? bytes : "", static_cast<std::size_t>(length));
        return true;
    }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_;
    bool rowPending_;
    bool done_;
    StepBudget& budget_;  // the engine's, which outlives its statements
};

// SQLite stops at the first statement; anything after it that is not a blank, a comment or a
// ';' means the text held a second statement, which is refused rather than silently dropped.
bool TailIsEmpty(const char* tail) {
    if (tail == nullptr) return true;
    const TokenizedText rest = Tokenize(tail);
    if (!rest.ok) return false;
    for (const Token& token : rest.tokens)
        if (!IsBlank(token) && !IsSymbol(token, ';')) return false;
    return true;
}

// SQLite writes on into a file that was removed or replaced after it was opened, and those rows
// vanish with the last handle; a write is refused instead, so the program reports it as failed.
bool FileHasMoved(sqlite3* db) {
    int moved = 0;
    return sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0;
}

RunResult Failure(EngineError error) {
    RunResult result;
    result.error = std::move(error);
    return result;
}

// now() as Access offers it.
void NowFunction(sqlite3_context* context, int, sqlite3_value**) {
    const std::string text = LocalNowText();
    sqlite3_result_text(context, text.c_str(), -1, SQLITE_TRANSIENT);
}

class SqliteEngine final : public IEngine {
public:
    explicit SqliteEngine(sqlite3* db) : db_(db) {
        sqlite3_progress_handler(db_, kProgressInstructions, &StepBudget::Expired, &budget_);
    }
    ~SqliteEngine() override { sqlite3_close_v2(db_); }
    SqliteEngine(const SqliteEngine&) = delete;
    SqliteEngine& operator=(const SqliteEngine&) = delete;

    SqlDialect Dialect() const override { return SqlDialect::Sqlite; }
    std::string ProductName() const override { return "SQLite"; }
    std::string ProductVersion() const override { return sqlite3_libversion(); }
    void SetQueryTimeout(unsigned seconds) override { budget_.SetSeconds(seconds); }

    RunResult Run(const RewrittenStatement& statement) override {
        ConnectionLock lock(db_);
        budget_.Start();  // SQLite may ask the progress handler while it prepares, too
        sqlite3_stmt* prepared = nullptr;
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db_, statement.sql.c_str(), -1, &prepared, &tail) != SQLITE_OK)
            return Failure(ErrorOf(db_));
        if (prepared == nullptr) return Failure({"42000", "no statement given"});
        if (!TailIsEmpty(tail)) {
            sqlite3_finalize(prepared);
            return Failure({"42000", "only one statement per call is accepted; text after it refused"});
        }
        if (!sqlite3_stmt_readonly(prepared) && FileHasMoved(db_)) {
            sqlite3_finalize(prepared);
            return Failure({"HY000", "database file removed or replaced since it was opened; nothing written"});
        }
        return FirstStep(prepared, statement.verb);
    }

private:
    // The first step runs the statement; a query keeps its first row for the first Next.
    RunResult FirstStep(sqlite3_stmt* prepared, const std::string& verb) {
        budget_.Start();
        const int rc = sqlite3_step(prepared);
        RunResult result;
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            result.error = budget_.ErrorOf(db_);
            sqlite3_finalize(prepared);
            return result;
        }
        if (rc == SQLITE_ROW || sqlite3_column_count(prepared) > 0) {
            result.outcome = RunOutcome::Rows;
            result.rows = std::make_unique<SqliteRows>(db_, prepared, rc == SQLITE_ROW, budget_);
            return result;
        }
        sqlite3_finalize(prepared);
        result.changedRows = sqlite3_changes(db_);
        const bool noData = (verb == "UPDATE" || verb == "DELETE") && result.changedRows == 0;
        result.outcome = noData ? RunOutcome::NoData : RunOutcome::Done;
        return result;
    }

    sqlite3* db_;
    StepBudget budget_;
};

bool Configure(sqlite3* db, unsigned loginTimeoutSeconds) {
    const int busyMs = loginTimeoutSeconds > 0 ? static_cast<int>(loginTimeoutSeconds) * 1000 : kDefaultBusyTimeoutMs;
    sqlite3_busy_timeout(db, busyMs);
    return sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr) ==
               SQLITE_OK &&
           sqlite3_create_function(db, "now", 0, SQLITE_UTF8, nullptr, NowFunction, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

std::unique_ptr<IEngine> OpenSqliteEngine(const DataSourceSettings& settings, EngineError& error) {
    if (settings.file.empty()) {
        const std::string where =
            settings.dataSource.empty() ? "connection string" : "data source " + settings.dataSource;
        error = {"IM002", where + " names no DBQ file"};
        return nullptr;
    }
    const std::string path = ExpandHomePath(settings.file);
    sqlite3* db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK ||
        !Configure(db, settings.loginTimeoutSeconds)) {
        const std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close_v2(db);
        error = {"08001", "cannot open database file " + path + ": " + message};
        return nullptr;
    }
    return std::make_unique<SqliteEngine>(db);
}
