#include "storage/sql/SQLException.h"

namespace {

constexpr SQLSMALLINT kMessageBufferLength = 511;  // the message keeps at most 510 characters
constexpr std::size_t kSqlStateLength = 5;

}  // namespace

CSQLException MakeSQLException(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& statement) {
    SQLCHAR sqlState[kSqlStateLength + 1] = {};
    SQLCHAR message[kMessageBufferLength] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT messageLength = 0;
    CSQLException error;
    error.statement = statement;
    const SQLRETURN result =
        SQLGetDiagRec(handleType, handle, 1, sqlState, &nativeError, message, kMessageBufferLength - 1, &messageLength);
    if (!SqlSucceeded(result)) {
        error.sqlState = "HY000";
        error.message = "ODBC call failed without a diagnostic record";
        return error;
    }
    error.nativeError = static_cast<std::int16_t>(nativeError & 0xffff);
    error.sqlState.assign(reinterpret_cast<const char*>(sqlState));
    error.sqlState.resize(std::min(error.sqlState.size(), kSqlStateLength));
    error.message.assign(reinterpret_cast<const char*>(message));
    return error;
}
