// Running statements: rewriting for the engine, one statement per call, the no-data result.
#include "platform/rtudb/DriverHandles.h"
#include "platform/rtudb/SqlRewriter.h"

namespace {

SQLRETURN ExecuteText(DriverStmt& stmt, const std::string& text) {
    ResetStatement(stmt);
    IEngine* engine = stmt.dbc->engine.get();
    if (engine == nullptr) return Fail(stmt.diag, "08003", "connection not open");
    const RewrittenStatement rewritten = RewriteStatement(text, engine->Dialect());
    if (!rewritten.ok) return Fail(stmt.diag, "42000", rewritten.error);
    stmt.verb = rewritten.verb;
    RunResult result = engine->Run(rewritten);
    switch (result.outcome) {
        case RunOutcome::Rows:
            stmt.rows = std::move(result.rows);
            stmt.cursor = CursorState::Open;
            return SQL_SUCCESS;
        case RunOutcome::Done:
            stmt.rowCount = result.changedRows;
            return SQL_SUCCESS;
        case RunOutcome::NoData:
            stmt.rowCount = 0;
            return SQL_NO_DATA;
        case RunOutcome::Failed:
            break;
    }
    return FailFromEngine(stmt.diag, result.error);
}

DriverStmt* Begin(SQLHSTMT handle) {
    auto* stmt = static_cast<DriverStmt*>(handle);
    if (stmt != nullptr) stmt->diag.Clear();
    return stmt;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    return ExecuteText(*stmt, TextArgument(text, length));
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    ResetStatement(*stmt);
    stmt->preparedText = TextArgument(text, length);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT handle) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    return ExecuteText(*stmt, stmt->preparedText);
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT handle) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    stmt->dataRead = {};
    switch (stmt->cursor) {
        case CursorState::None:
            return Fail(stmt->diag, "24000", "no result set");
        case CursorState::Done:
            return SQL_NO_DATA;
        case CursorState::Open:
        case CursorState::OnRow:
            break;
    }
    EngineError error;
    if (stmt->rows->Next(error)) {
        stmt->cursor = CursorState::OnRow;
        return SQL_SUCCESS;
    }
    stmt->cursor = CursorState::Done;
    if (error.sqlState.empty()) return SQL_NO_DATA;
    return FailFromEngine(stmt->diag, error);
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT handle) {
    return Begin(handle) == nullptr ? SQL_INVALID_HANDLE : SQL_NO_DATA;
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT handle, SQLLEN* count) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    if (count != nullptr) *count = stmt->rowCount;
    return SQL_SUCCESS;
}

}  // extern "C"
