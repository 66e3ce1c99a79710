#pragma once

#include "platform/rtudb/SqlRewriter.h"

#include <cstdint>
#include <memory>
#include <string>

// The engine behind a data source: the driver's ODBC side (handles, diagnostics, fetching in
// pieces) stays the same for every engine, and an engine only runs one rewritten statement at a
// time and hands back its rows as text. One engine is one file pair; a new one is added to
// OpenEngine.
//
// Threads: one IEngine belongs to one ODBC connection, which several threads may use at once, so
// Run is safe to call from several threads. An IEngineRows is used by one thread at a time (its
// statement's), while other threads run statements on the same engine.

struct EngineError {
    std::string sqlState;  // five characters, already in the form the program expects
    std::string message;
    std::int32_t nativeError = 0;
};

class IEngineRows {
public:
    virtual ~IEngineRows() = default;
    virtual int ColumnCount() const = 0;
    virtual std::string ColumnName(int index) const = 0;      // index from 0
    virtual std::string ColumnTypeName(int index) const = 0;  // as the table declared it, where known
    virtual std::size_t ColumnLength(int index) const = 0;    // characters its values fit in
    // Moves to the next row: true when there is one, false at the end or on failure (error set).
    virtual bool Next(EngineError& error) = 0;
    // The current row's column as text; false for NULL.
    virtual bool Text(int index, std::string& text) = 0;
};

enum class RunOutcome {
    Rows,    // a query: its rows come through `rows`
    Done,    // a statement that returns no rows ran and is committed
    NoData,  // an UPDATE or DELETE that changed no row
    Failed,  // `error` says why
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Failed;
    std::unique_ptr<IEngineRows> rows;
    std::int64_t changedRows = -1;
    EngineError error;
};

class IEngine {
public:
    virtual ~IEngine() = default;
    virtual SqlDialect Dialect() const = 0;
    // Runs one statement, committed before it returns when it changes data.
    virtual RunResult Run(const RewrittenStatement& statement) = 0;
    virtual std::string ProductName() const = 0;
    virtual std::string ProductVersion() const = 0;
    // SQL_ATTR_QUERY_TIMEOUT: a statement still running after this many seconds is cancelled and
    // fails with HYT00; 0, the default, waits without limit. Safe from any thread; applies to the
    // statements that start after it.
    virtual void SetQueryTimeout(unsigned seconds) = 0;
};

// What a data source (or a connection string) says about its engine.
struct DataSourceSettings {
    std::string dataSource;
    std::string engine;  // empty or "sqlite": the SQLite file; "postgresql": a server
    std::string file;    // DBQ, SQLite only
    std::string server;  // SERVER: a host name or the directory of the server's socket
    std::string port;
    std::string database;
    std::string schema;
    std::string user;
    std::string password;
    unsigned loginTimeoutSeconds = 0;  // 0: none
};

// Opens the engine the settings name; nullptr with `error` set when that fails.
std::unique_ptr<IEngine> OpenEngine(const DataSourceSettings& settings, EngineError& error);
