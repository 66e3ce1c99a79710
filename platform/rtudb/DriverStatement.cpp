// Running statements: rewriting, one statement per call, stepping and the no-data result.
#include "platform/rtudb/DriverHandles.h"
#include "platform/rtudb/SqlRewriter.h"
#include "platform/rtudb/SqlTokenizer.h"

namespace {

// SQLite stops at the first statement; anything after it that is not a blank, a comment or a
// ';' means the text held a second statement, which is refused rather than silently dropped.
bool TailIsEmpty(const char* tail)
{
    if (tail == nullptr) return true;
    const TokenizedText rest = Tokenize(tail);
    if (!rest.ok) return false;
    for (const Token& token : rest.tokens) {
        const bool blank = token.kind == TokenKind::Space || token.kind == TokenKind::Comment
            || (token.kind == TokenKind::Symbol && token.text == ";");
        if (!blank) return false;
    }
    return true;
}

// The first step runs the statement; a query keeps its first row for SQLFetch. Call under
// ConnectionLock.
SQLRETURN FirstStep(DriverStmt& stmt, sqlite3* db)
{
    const int rc = sqlite3_step(stmt.statement);
    if (rc == SQLITE_ROW) {
        stmt.cursor = CursorState::RowPending;
        return SQL_SUCCESS;
    }
    if (rc != SQLITE_DONE) {
        const SQLRETURN result = FailFromSqlite(stmt.diag, db);
        sqlite3_reset(stmt.statement);
        return result;
    }
    if (sqlite3_column_count(stmt.statement) > 0) {
        stmt.cursor = CursorState::Done;
        return SQL_SUCCESS;
    }
    stmt.rowCount = sqlite3_changes(db);
    if ((stmt.verb == "UPDATE" || stmt.verb == "DELETE") && stmt.rowCount == 0) return SQL_NO_DATA;
    return SQL_SUCCESS;
}

// SQLite writes on into a file that was removed or replaced after it was opened, and those rows
// vanish with the last handle; a write is refused instead, so the program reports it as failed.
bool FileHasMoved(sqlite3* db)
{
    int moved = 0;
    return sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK && moved != 0;
}

SQLRETURN ExecuteText(DriverStmt& stmt, const std::string& text)
{
    ResetStatement(stmt);
    const RewrittenStatement rewritten = RewriteStatement(text);
    if (!rewritten.ok) return Fail(stmt.diag, "42000", rewritten.error);
    stmt.verb = rewritten.verb;
    sqlite3* db = stmt.dbc->db;
    if (db == nullptr) return Fail(stmt.diag, "08003", "connection not open");
    ConnectionLock lock(db);
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db, rewritten.sql.c_str(), -1, &stmt.statement, &tail) != SQLITE_OK)
        return FailFromSqlite(stmt.diag, db);
    if (stmt.statement == nullptr) return Fail(stmt.diag, "42000", "no statement given");
    if (!TailIsEmpty(tail)) {
        sqlite3_finalize(stmt.statement);
        stmt.statement = nullptr;
        return Fail(stmt.diag, "42000", "only one statement per call is accepted; text after it refused");
    }
    if (!sqlite3_stmt_readonly(stmt.statement) && FileHasMoved(db)) {
        sqlite3_finalize(stmt.statement);
        stmt.statement = nullptr;
        return Fail(stmt.diag, "HY000", "database file removed or replaced since it was opened; nothing written");
    }
    return FirstStep(stmt, db);
}

DriverStmt* Begin(SQLHSTMT handle)
{
    auto* stmt = static_cast<DriverStmt*>(handle);
    if (stmt != nullptr) stmt->diag.Clear();
    return stmt;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length)
{
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    return ExecuteText(*stmt, TextArgument(text, length));
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length)
{
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    ResetStatement(*stmt);
    stmt->preparedText = TextArgument(text, length);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT handle)
{
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    return ExecuteText(*stmt, stmt->preparedText);
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT handle)
{
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    stmt->dataColumn = 0;
    stmt->dataOffset = 0;
    switch (stmt->cursor) {
    case CursorState::None: return Fail(stmt->diag, "24000", "no result set");
    case CursorState::Done: return SQL_NO_DATA;
    case CursorState::RowPending: stmt->cursor = CursorState::OnRow; return SQL_SUCCESS;
    case CursorState::OnRow: break;
    }
    ConnectionLock lock(stmt->dbc->db);
    const int rc = sqlite3_step(stmt->statement);
    if (rc == SQLITE_ROW) return SQL_SUCCESS;
    stmt->cursor = CursorState::Done;
    if (rc == SQLITE_DONE) return SQL_NO_DATA;
    return FailFromSqlite(stmt->diag, stmt->dbc->db);
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT handle)
{
    return Begin(handle) == nullptr ? SQL_INVALID_HANDLE : SQL_NO_DATA;
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT handle, SQLLEN* count)
{
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    if (count != nullptr) *count = stmt->rowCount;
    return SQL_SUCCESS;
}

}  // extern "C"
