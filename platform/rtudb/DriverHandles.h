#pragma once

#include "platform/rtudb/Engine.h"

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The driver's side of the three ODBC handles and their diagnostic records.
//
// Threads: an environment and a connection may be used from several threads at once (the
// driver manager does not serialise calls); their diagnostics carry their own lock, and the
// engine serialises its own work. A statement handle is used by one thread at a time, as ODBC
// requires.

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
    std::unique_ptr<IEngine> engine;  // opened by SQLConnect, closed by SQLDisconnect
    SQLUINTEGER loginTimeoutSeconds = 0;
    // SQL_ATTR_QUERY_TIMEOUT set on the connection: every statement of it is cancelled past it.
    SQLULEN queryTimeoutSeconds = 0;
    std::string dataSource;
    // The connection's statements, so that a disconnect can finalize what is still open.
    std::mutex statementsMutex;
    std::vector<struct DriverStmt*> statements;
};

// Open: rows to fetch, none current yet.
enum class CursorState { None, Open, OnRow, Done };

// How far SQLGetData has read the column it last read. A caller's buffer too small for the text
// leaves the column partly read, and the next call continues after the bytes already handed
// out; once the last piece (or the NULL) is handed out, only SQL_NO_DATA follows.
enum class ColumnFetch { NotRead, PartlyRead, Done };

struct ColumnRead {
    int column = 0;  // the column SQLGetData last read; 0 before the row's first read
    ColumnFetch fetch = ColumnFetch::NotRead;
    std::size_t bytesHandedOut = 0;  // while PartlyRead: bytes of the text already handed out
};

struct DriverStmt {
    explicit DriverStmt(DriverDbc* owner) : dbc(owner) {}
    DriverDbc* dbc;
    Diagnostics diag;
    std::unique_ptr<IEngineRows> rows;  // the current query's rows; null when there is none
    std::string preparedText;
    std::string verb;
    CursorState cursor = CursorState::None;
    SQLLEN rowCount = -1;
    ColumnRead dataRead;  // forgotten at each fetch
};

// Records one diagnostic and returns SQL_ERROR.
SQLRETURN Fail(Diagnostics& diag, const char* sqlState, const std::string& message, SQLINTEGER nativeError = 0);

// Records an engine's error.
SQLRETURN FailFromEngine(Diagnostics& diag, const EngineError& error);

// Copies text into an ODBC character buffer, cut to fit with a terminating NUL; stores the
// full length. Returns SQL_SUCCESS_WITH_INFO when the text was cut.
SQLRETURN CopyText(const std::string& text, SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* fullLength);
SQLRETURN CopyText(const std::string& text, SQLPOINTER buffer, SQLLEN bufferLength, SQLSMALLINT* fullLength);

// Text given to the driver with an explicit length or SQL_NTS.
std::string TextArgument(const SQLCHAR* text, SQLLEN length);

// Drops the statement's rows and forgets its cursor.
void ResetStatement(DriverStmt& stmt);
