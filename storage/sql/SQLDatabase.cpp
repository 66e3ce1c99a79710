#include "storage/sql/SQLDatabase.h"

#include "storage/sql/SQLException.h"

#include <sqlext.h>

namespace {

constexpr SQLULEN kLoginTimeoutSeconds = 7;

SQLCHAR* Text(const std::string& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); }

}  // namespace

// A failure here is not reported: it shows as a failing Connect.
CSQLDatabase::CSQLDatabase() {
    lastResult = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    if (!SqlSucceeded(lastResult)) return;
    lastResult = SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SqlSucceeded(lastResult)) return;
    lastResult = SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!SqlSucceeded(lastResult)) return;
    lastResult = SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
}

CSQLDatabase::~CSQLDatabase() { Close(); }

bool CSQLDatabase::Connect(const std::string& dataSource, const std::string& user, const std::string& password) {
    lastResult = SQLConnect(dbc, Text(dataSource), SQL_NTS, Text(user), SQL_NTS, Text(password), SQL_NTS);
    connected = SqlSucceeded(lastResult);
    return connected;
}

bool CSQLDatabase::Execute(const std::string& statement) {
    lastResult = SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!SqlSucceeded(lastResult)) {
        stmt = SQL_NULL_HSTMT;
        Fail(SQL_HANDLE_DBC, dbc);
    }
    lastResult = SQLExecDirect(stmt, Text(statement), SQL_NTS);
    if (SqlSucceeded(lastResult)) {
        if (autoCommit) {
            lastResult = SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT);
            if (!SqlSucceeded(lastResult)) Fail(SQL_HANDLE_DBC, dbc);
        }
    } else if (lastResult != SQL_NO_DATA) {
        Fail(SQL_HANDLE_STMT, stmt);
    }
    FreeStatementHandle();
    return SqlSucceeded(lastResult);
}

bool CSQLDatabase::SetQueryTimeout(unsigned seconds) {
    lastResult = SQLSetConnectAttr(dbc, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN{seconds}), 0);
    return SqlSucceeded(lastResult);
}

// The connection handle is freed whether or not it was ever connected, and every handle is
// forgotten once freed, so Close may run again from the destructor.
void CSQLDatabase::Close() {
    FreeStatementHandle();
    if (connected) SQLDisconnect(dbc);
    connected = false;
    if (dbc != SQL_NULL_HDBC) {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        dbc = SQL_NULL_HDBC;
    }
    if (env != SQL_NULL_HENV) {
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        env = SQL_NULL_HENV;
    }
}

void CSQLDatabase::Fail(SQLSMALLINT handleType, SQLHANDLE handle) {
    CSQLException error = MakeSQLException(handleType, handle);
    FreeStatementHandle();
    throw error;
}

void CSQLDatabase::FreeStatementHandle() {
    if (stmt == SQL_NULL_HSTMT) return;
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    stmt = SQL_NULL_HSTMT;
}
