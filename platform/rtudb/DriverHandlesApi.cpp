// Handle management, attributes and transactions of the RTUDB driver.
#include "platform/rtudb/DriverHandles.h"

#include <algorithm>

namespace {

SQLRETURN AllocStatement(DriverDbc* dbc, SQLHANDLE* output) {
    dbc->diag.Clear();
    if (dbc->engine == nullptr) return Fail(dbc->diag, "08003", "connection not open");
    auto* stmt = new DriverStmt(dbc);
    {
        std::lock_guard lock(dbc->statementsMutex);
        dbc->statements.push_back(stmt);
    }
    *output = stmt;
    return SQL_SUCCESS;
}

void FreeStatement(DriverStmt* stmt) {
    ResetStatement(*stmt);
    {
        std::lock_guard lock(stmt->dbc->statementsMutex);
        auto& list = stmt->dbc->statements;
        list.erase(std::remove(list.begin(), list.end(), stmt), list.end());
    }
    delete stmt;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    if (output == nullptr) return SQL_ERROR;
    *output = SQL_NULL_HANDLE;
    switch (type) {
        case SQL_HANDLE_ENV:
            *output = new DriverEnv;
            return SQL_SUCCESS;
        case SQL_HANDLE_DBC:
            if (input == SQL_NULL_HANDLE) return SQL_INVALID_HANDLE;
            *output = new DriverDbc(static_cast<DriverEnv*>(input));
            return SQL_SUCCESS;
        case SQL_HANDLE_STMT:
            if (input == SQL_NULL_HANDLE) return SQL_INVALID_HANDLE;
            return AllocStatement(static_cast<DriverDbc*>(input), output);
        default:
            return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    if (handle == SQL_NULL_HANDLE) return SQL_INVALID_HANDLE;
    switch (type) {
        case SQL_HANDLE_ENV:
            delete static_cast<DriverEnv*>(handle);
            return SQL_SUCCESS;
        case SQL_HANDLE_DBC: {
            auto* dbc = static_cast<DriverDbc*>(handle);
            if (dbc->engine != nullptr) return Fail(dbc->diag, "HY010", "connection still open");
            delete dbc;
            return SQL_SUCCESS;
        }
        case SQL_HANDLE_STMT:
            FreeStatement(static_cast<DriverStmt*>(handle));
            return SQL_SUCCESS;
        default:
            return SQL_ERROR;
    }
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option) {
    if (handle == SQL_NULL_HSTMT) return SQL_INVALID_HANDLE;
    auto* stmt = static_cast<DriverStmt*>(handle);
    stmt->diag.Clear();
    switch (option) {
        case SQL_DROP:
            FreeStatement(stmt);
            return SQL_SUCCESS;
        case SQL_CLOSE:
            ResetStatement(*stmt);
            return SQL_SUCCESS;
        case SQL_UNBIND:
        case SQL_RESET_PARAMS:
            return SQL_SUCCESS;
        default:
            return Fail(stmt->diag, "HY092", "unknown SQLFreeStmt option");
    }
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT handle) {
    if (handle == SQL_NULL_HSTMT) return SQL_INVALID_HANDLE;
    auto* stmt = static_cast<DriverStmt*>(handle);
    stmt->diag.Clear();
    ResetStatement(*stmt);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    if (handle == SQL_NULL_HENV) return SQL_INVALID_HANDLE;
    auto* env = static_cast<DriverEnv*>(handle);
    env->diag.Clear();
    if (attribute == SQL_ATTR_ODBC_VERSION) env->odbcVersion = static_cast<SQLINTEGER>(reinterpret_cast<SQLLEN>(value));
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
    if (handle == SQL_NULL_HDBC) return SQL_INVALID_HANDLE;
    auto* dbc = static_cast<DriverDbc*>(handle);
    dbc->diag.Clear();
    const auto number = static_cast<SQLULEN>(reinterpret_cast<SQLLEN>(value));
    if (attribute == SQL_ATTR_LOGIN_TIMEOUT) dbc->loginTimeoutSeconds = static_cast<SQLUINTEGER>(number);
    if (attribute == SQL_ATTR_QUERY_TIMEOUT) {
        dbc->queryTimeoutSeconds = number;
        if (dbc->engine != nullptr) dbc->engine->SetQueryTimeout(static_cast<unsigned>(number));
    }
    if (attribute == SQL_ATTR_AUTOCOMMIT && number != SQL_AUTOCOMMIT_ON)
        return Fail(dbc->diag, "HYC00", "only auto-commit is offered: every statement commits on its own");
    return SQL_SUCCESS;
}

// Every statement commits when it completes (each engine runs in autocommit, durably), so a
// commit has nothing left to do and a rollback nothing it could undo.
SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT) {
    if (handle == SQL_NULL_HANDLE) return SQL_INVALID_HANDLE;
    if (type == SQL_HANDLE_DBC) static_cast<DriverDbc*>(handle)->diag.Clear();
    if (type == SQL_HANDLE_ENV) static_cast<DriverEnv*>(handle)->diag.Clear();
    return SQL_SUCCESS;
}

}  // extern "C"
