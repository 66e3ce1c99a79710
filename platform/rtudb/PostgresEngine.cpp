#include "platform/rtudb/PostgresEngine.h"

#include "platform/rtudb/PostgresErrors.h"
#include "platform/rtudb/PostgresRewrite.h"
#include "platform/rtudb/PostgresRows.h"
#include "platform/rtudb/PostgresText.h"

#include <libpq-fe.h>
#include <poll.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// After a failed reconnection the next attempts fail at once for this long, so that a server
// that is down, or a network that swallows packets, costs one wait per pause rather than one
// per statement while the callers queue behind the connection.
constexpr auto kReconnectPause = std::chrono::seconds(1);

// TCP keepalive probes notice a peer that vanished while a statement waits for its answer.
constexpr const char* kKeepaliveIdleSeconds = "2";
constexpr const char* kKeepaliveIntervalSeconds = "1";
constexpr const char* kKeepaliveCount = "3";

std::string ConnectionMessage(PGconn* connection) {
    const char* message = connection != nullptr ? PQerrorMessage(connection) : "out of memory";
    std::string text = message != nullptr ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

EngineError LostConnection(const std::string& message) { return {"08S01", message, 0}; }

// Opens and prepares one server connection; nullptr with `error` set on failure.
PGconn* OpenConnection(const DataSourceSettings& settings, EngineError& error) {
    const std::string timeout = std::to_string(settings.loginTimeoutSeconds);
    const std::string userTimeoutMs = std::to_string(settings.loginTimeoutSeconds * 1000);
    std::deque<std::string> texts;  // owns every value until the connection is made
    std::vector<const char*> keys;
    std::vector<const char*> values;
    auto add = [&](const char* key, std::string value) {
        if (value.empty()) return;
        keys.push_back(key);
        values.push_back(texts.emplace_back(std::move(value)).c_str());
    };
    add("host", settings.server);
    add("port", settings.port);
    add("dbname", settings.database);
    add("user", settings.user);
    add("password", settings.password);
    add("application_name", "telvorn");
    // The program composes its statements as text with quoted literals: its session reads them as
    // written whatever the server's own settings say. Backslashes in a literal are plain characters
    // (standard_conforming_strings, off on some servers), and the text is UTF-8 (see ValidUtf8).
    add("options", "-c standard_conforming_strings=on");
    add("client_encoding", "UTF8");
    if (settings.loginTimeoutSeconds > 0) {
        add("connect_timeout", timeout);
        add("tcp_user_timeout", userTimeoutMs);
    }
    add("keepalives_idle", kKeepaliveIdleSeconds);
    add("keepalives_interval", kKeepaliveIntervalSeconds);
    add("keepalives_count", kKeepaliveCount);
    keys.push_back(nullptr);
    values.push_back(nullptr);
    PGconn* connection = PQconnectdbParams(keys.data(), values.data(), 0);
    if (PQstatus(connection) != CONNECTION_OK) {
        error = {"08001", "cannot connect to the PostgreSQL server: " + ConnectionMessage(connection), 0};
        PQfinish(connection);
        return nullptr;
    }
    return connection;
}

// Every statement works in the data source's schema, which must exist (the administrator makes
// it); the name follows the rule for all names: lower case.
bool SelectSchema(PGconn* connection, const std::string& schema, EngineError& error) {
    if (schema.empty()) return true;
    const std::string folded = FoldedName(schema);
    const char* parameters[] = {folded.c_str()};
    PGresult* result = PQexecParams(connection,
                                    "SELECT set_config('search_path', quote_ident(nspname), false) "
                                    "FROM pg_namespace WHERE nspname = $1",
                                    1, nullptr, parameters, nullptr, nullptr, 0);
    const bool ran = PQresultStatus(result) == PGRES_TUPLES_OK;
    const bool found = ran && PQntuples(result) == 1;
    if (!ran)
        error = {"08001", "cannot select schema " + folded + ": " + ConnectionMessage(connection), 0};
    else if (!found)
        error = {"08001",
                 "schema " + folded + " does not exist in the database; create it first (CREATE SCHEMA " + folded + ")",
                 0};
    PQclear(result);
    return found;
}

class PostgresEngine final : public IEngine {
public:
    PostgresEngine(const DataSourceSettings& settings, PGconn* connection)
        : settings_(settings), connection_(connection) {}
    ~PostgresEngine() override { PQfinish(connection_); }
    PostgresEngine(const PostgresEngine&) = delete;
    PostgresEngine& operator=(const PostgresEngine&) = delete;

    SqlDialect Dialect() const override { return SqlDialect::Postgres; }
    std::string ProductName() const override { return "PostgreSQL"; }

    std::string ProductVersion() const override {
        std::lock_guard lock(mutex_);
        const int version = connection_ != nullptr ? PQserverVersion(connection_) : 0;
        return std::to_string(version / 10000) + "." + std::to_string(version % 10000);
    }

    void SetQueryTimeout(unsigned seconds) override { queryTimeoutSeconds_.store(seconds); }

    RunResult Run(const RewrittenStatement& statement) override {
        std::lock_guard lock(mutex_);
        RunResult result;
        if (!EnsureConnection(result.error)) return result;
        if (!ApplyQueryTimeout(result.error)) return result;
        if (!Send(statement.sql, result.error)) return result;
        PGresult* last = nullptr;
        if (!Collect(last, result.error)) return result;
        return Outcome(last, statement.verb);
    }

private:
    // Reconnects when the last statement found the connection lost; call under mutex_.
    bool EnsureConnection(EngineError& error) {
        if (connection_ != nullptr) return true;
        if (Clock::now() - lastFailure_ < kReconnectPause) {
            error = LostConnection("PostgreSQL server not reachable (" + lastFailureMessage_ +
                                   "); the connection is tried again within a second");
            return false;
        }
        EngineError failure;
        PGconn* connection = OpenConnection(settings_, failure);
        if (connection != nullptr && !SelectSchema(connection, settings_.schema, failure)) {
            PQfinish(connection);
            connection = nullptr;
        }
        if (connection == nullptr) {
            lastFailure_ = Clock::now();
            lastFailureMessage_ = failure.message;
            error = LostConnection(failure.message);
            return false;
        }
        connection_ = connection;
        appliedTimeoutSeconds_.reset();
        return true;
    }

    // The server cancels a statement that runs past the time-out (statement_timeout), so a long
    // query frees the session and its locks as well; the session's setting follows the time-out
    // before the next statement. A session never given one keeps the server's own setting.
    bool ApplyQueryTimeout(EngineError& error) {
        const unsigned wanted = queryTimeoutSeconds_.load();
        if (appliedTimeoutSeconds_ == wanted || (!appliedTimeoutSeconds_ && wanted == 0)) return true;
        const std::string setting = wanted == 0 ? "SET statement_timeout TO DEFAULT"
                                                : "SET statement_timeout = " + std::to_string(wanted * 1000ULL);
        if (!Send(setting, error)) return false;
        PGresult* last = nullptr;
        if (!Collect(last, error)) return false;
        const bool set = PQresultStatus(last) == PGRES_COMMAND_OK;
        if (!set) error = FromConnection(last);
        PQclear(last);
        if (set) appliedTimeoutSeconds_ = wanted;
        return set;
    }

    void Drop() {
        PQfinish(connection_);
        connection_ = nullptr;
    }

    // One statement through the extended protocol, which refuses a second one in the text.
    bool Send(const std::string& sql, EngineError& error) {
        const std::string text = ValidUtf8(sql);
        if (PQsendQueryParams(connection_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1) return true;
        error = FromConnection(nullptr);
        return false;
    }

    // Waits for the answer, at most the login time-out (after the query time-out, within which the
    // server answers by itself); the last result ends in `last`.
    bool Collect(PGresult*& last, EngineError& error) {
        const auto deadline = Clock::now() + std::chrono::seconds(settings_.loginTimeoutSeconds) +
                              std::chrono::seconds(appliedTimeoutSeconds_.value_or(0));
        while (PQisBusy(connection_) == 1) {
            if (!WaitReadable(deadline)) {
                error = {"HYT00",
                         "no answer from the PostgreSQL server within " +
                             std::to_string(settings_.loginTimeoutSeconds) +
                             " s; the connection is closed and the next statement reconnects",
                         0};
                Drop();
                return false;
            }
            if (PQconsumeInput(connection_) != 1) {
                error = FromConnection(nullptr);
                return false;
            }
        }
        while (PGresult* next = PQgetResult(connection_)) {
            PQclear(last);
            last = next;
        }
        if (last != nullptr) return true;
        error = FromConnection(nullptr);
        return false;
    }

    bool WaitReadable(Clock::time_point deadline) const {
        pollfd descriptor{PQsocket(connection_), POLLIN, 0};
        for (;;) {
            int waitMs = -1;
            if (settings_.loginTimeoutSeconds > 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0) return false;
                waitMs = static_cast<int>(left.count());
            }
            const int ready = poll(&descriptor, 1, waitMs);
            if (ready > 0) return true;
            if (ready == 0) return false;
            if (errno != EINTR) return true;  // PQconsumeInput then reports the fault
        }
    }

    // The error of `result`, or of the connection when there is none; a lost connection is
    // dropped so that the next statement opens a new one.
    EngineError FromConnection(PGresult* result) {
        const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
        const char* primary = result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        const std::string message = primary != nullptr  ? primary
                                    : result != nullptr ? PQresultErrorMessage(result)
                                                        : ConnectionMessage(connection_);
        const bool lost = PQstatus(connection_) != CONNECTION_OK;
        const MappedError mapped = MapPostgresError(state != nullptr ? state : "", message, lost);
        if (lost || mapped.sqlState == "08S01") Drop();
        return {mapped.sqlState, mapped.message, 0};
    }

    RunResult Outcome(PGresult* last, const std::string& verb) {
        RunResult result;
        switch (PQresultStatus(last)) {
            case PGRES_TUPLES_OK:
                result.outcome = RunOutcome::Rows;
                result.rows = std::make_unique<PostgresRows>(last);
                return result;
            case PGRES_COMMAND_OK: {
                const char* changed = PQcmdTuples(last);
                result.changedRows = changed != nullptr && *changed != '\0' ? std::stoll(changed) : -1;
                const bool noData = (verb == "UPDATE" || verb == "DELETE") && result.changedRows == 0;
                result.outcome = noData ? RunOutcome::NoData : RunOutcome::Done;
                PQclear(last);
                return result;
            }
            default:
                result.error = FromConnection(last);
                PQclear(last);
                return result;
        }
    }

    const DataSourceSettings settings_;
    mutable std::mutex mutex_;  // guards connection_ and the failure fields: libpq serves one caller at a time
    PGconn* connection_;        // owned; nullptr after a loss until the next statement reconnects
    std::atomic<unsigned> queryTimeoutSeconds_{0};
    std::optional<unsigned> appliedTimeoutSeconds_;  // the session's statement_timeout; none: the server's
    Clock::time_point lastFailure_{};
    std::string lastFailureMessage_;
};

}  // namespace

std::unique_ptr<IEngine> OpenPostgresEngine(const DataSourceSettings& settings, EngineError& error) {
    PGconn* connection = OpenConnection(settings, error);
    if (connection == nullptr) return nullptr;
    if (!SelectSchema(connection, settings.schema, error)) {
        PQfinish(connection);
        return nullptr;
    }
    return std::make_unique<PostgresEngine>(settings, connection);
}
