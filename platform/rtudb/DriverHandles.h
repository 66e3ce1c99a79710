#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

// The driver's side of the three ODBC handles and their diagnostic records.
//
// Threads: an environment and a connection may be used from several threads at once (the
// driver manager does not serialise calls); their diagnostics carry their own lock, and every
// use of the SQLite connection goes through ConnectionLock. A statement handle is used by one
// thread at a time, as ODBC requires.

struct DiagRecord {
    std::string sqlState;
    std::string message;
    SQLINTEGER nativeError = 0;
};

// The records of the last call on one handle; each call clears them when it starts.
class Diagnostics {
public:
    void Clear();
    void Add(const char* sqlState, const std::string& message, SQLINTEGER nativeError = 0);
    bool Get(SQLSMALLINT number, DiagRecord& record) const;
    // Removes and returns the oldest record: SQLError hands out each record once.
    bool TakeFirst(DiagRecord& record);
    SQLINTEGER Count() const;

private:
    mutable std::mutex mutex_;
    std::vector<DiagRecord> records_;
};

struct DriverEnv {
    Diagnostics diag;
    SQLINTEGER odbcVersion = SQL_OV_ODBC3;
};

struct DriverDbc {
    explicit DriverDbc(DriverEnv* owner) : env(owner) {}
    DriverEnv* env;
    Diagnostics diag;
    sqlite3* db = nullptr;  // opened full-mutex by SQLConnect, closed by SQLDisconnect
    SQLUINTEGER loginTimeoutSeconds = 0;
    std::string dataSource;
    // The connection's statements, so that a disconnect can finalize what is still open.
    std::mutex statementsMutex;
    std::vector<struct DriverStmt*> statements;
};

enum class CursorState { None, RowPending, OnRow, Done };

struct DriverStmt {
    explicit DriverStmt(DriverDbc* owner) : dbc(owner) {}
    DriverDbc* dbc;
    Diagnostics diag;
    sqlite3_stmt* statement = nullptr;
    std::string preparedText;
    std::string verb;
    CursorState cursor = CursorState::None;
    SQLLEN rowCount = -1;
    int dataColumn = 0;           // the column SQLGetData last read, for reading it in pieces
    std::size_t dataOffset = 0;   // bytes of that column already handed out
};

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

// Records one diagnostic and returns SQL_ERROR.
SQLRETURN Fail(Diagnostics& diag, const char* sqlState, const std::string& message, SQLINTEGER nativeError = 0);

// Records the connection's current SQLite error; call under ConnectionLock.
SQLRETURN FailFromSqlite(Diagnostics& diag, sqlite3* db);

// Copies text into an ODBC character buffer, cut to fit with a terminating NUL; stores the
// full length. Returns SQL_SUCCESS_WITH_INFO when the text was cut.
SQLRETURN CopyText(const std::string& text, SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* fullLength);
SQLRETURN CopyText(const std::string& text, SQLPOINTER buffer, SQLLEN bufferLength, SQLSMALLINT* fullLength);

// Text given to the driver with an explicit length or SQL_NTS.
std::string TextArgument(const SQLCHAR* text, SQLLEN length);

// Finalizes the statement's SQLite statement and forgets its cursor.
void ResetStatement(DriverStmt& stmt);
