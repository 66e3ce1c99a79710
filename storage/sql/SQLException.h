#pragma once

#include <sql.h>

#include <cstdint>
#include <string>

// A failing ODBC call of the access layer, as the driver described it. Thrown by value and
// caught by const reference.
class CSQLException {
public:
    std::int16_t nativeError = 0;  // low 16 bits of the driver's native error code
    std::string message;           // the diagnostic message, at most 510 characters
    std::string sqlState;          // the five-character SQLSTATE
    std::string statement;         // the failing recordset's statement; empty for CSQLDatabase errors
};

// Record 1 of the handle's diagnostics as an exception. A handle without a record (an invalid
// or missing handle) gives SQLSTATE HY000 with a message that says so.
CSQLException MakeSQLException(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& statement = {});

// The SQLSTATE of a statement cancelled by the connection's query time-out.
inline constexpr const char* kQueryTimeoutState = "HYT00";

inline bool SqlSucceeded(SQLRETURN result) { return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO; }
