#pragma once

#include <sql.h>

#include <atomic>
#include <string>

// The one connection of the process and the runner of statements that return no rows.
//
// Threads: Connect and Close run on the user-interface thread. Execute keeps its statement
// handle in the object, so two threads must never run it at once: every caller holds
// DatabaseMutex around it. `connected` may be read from any thread. Recordsets on other
// threads use the connection through their own statement handles.
class CSQLDatabase {
public:
    CSQLDatabase();
    virtual ~CSQLDatabase();
    CSQLDatabase(const CSQLDatabase&) = delete;
    CSQLDatabase& operator=(const CSQLDatabase&) = delete;

    // Never throws; the result and `connected` tell. May be called again after a failure.
    bool Connect(const std::string& dataSource, const std::string& user, const std::string& password);
    // Runs and commits one statement. False (no commit, nothing thrown) when the statement
    // reported no data, as an UPDATE or DELETE that matched no row does. Throws CSQLException.
    bool Execute(const std::string& statement);
    void Close();
    // Statements of this connection, its recordsets' included, that run longer than `seconds` are
    // cancelled and raise CSQLException with SQLSTATE kQueryTimeoutState; 0, the default, waits
    // without limit. Before or after Connect; false when the driver refused the setting.
    bool SetQueryTimeout(unsigned seconds);

    SQLRETURN lastResult = SQL_SUCCESS;
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;  // exists only during Execute
    std::atomic<bool> connected{false};
    bool autoCommit = true;

private:
    [[noreturn]] void Fail(SQLSMALLINT handleType, SQLHANDLE handle);
    void FreeStatementHandle();
};
