// Result columns: every column is described and fetched as text.
#include "platform/rtudb/DriverHandles.h"

namespace {

DriverStmt* Begin(SQLHSTMT handle) {
    auto* stmt = static_cast<DriverStmt*>(handle);
    if (stmt != nullptr) stmt->diag.Clear();
    return stmt;
}

int ColumnCount(const DriverStmt& stmt) { return stmt.rows != nullptr ? stmt.rows->ColumnCount() : 0; }

bool ValidColumn(const DriverStmt& stmt, SQLUSMALLINT column) { return column >= 1 && column <= ColumnCount(stmt); }

std::string DeclaredType(const DriverStmt& stmt, SQLUSMALLINT column) { return stmt.rows->ColumnTypeName(column - 1); }

SQLULEN ColumnLength(const DriverStmt& stmt, SQLUSMALLINT column) {
    return static_cast<SQLULEN>(stmt.rows->ColumnLength(column - 1));
}

std::string ColumnName(const DriverStmt& stmt, SQLUSMALLINT column) { return stmt.rows->ColumnName(column - 1); }

SQLLEN NumericAttribute(const DriverStmt& stmt, SQLUSMALLINT column, SQLUSMALLINT field) {
    switch (field) {
        case SQL_DESC_TYPE:
        case SQL_DESC_CONCISE_TYPE:
        case SQL_DESC_DISPLAY_SIZE:
        case SQL_DESC_LENGTH:
        case SQL_DESC_OCTET_LENGTH:
        case SQL_DESC_PRECISION:
        case SQL_COLUMN_LENGTH:
        case SQL_COLUMN_PRECISION:
            return static_cast<SQLLEN>(ColumnLength(stmt, column));
        case SQL_DESC_NULLABLE:
            return SQL_NULLABLE_UNKNOWN;
        case SQL_DESC_SEARCHABLE:
            return SQL_PRED_SEARCHABLE;
        case SQL_DESC_UPDATABLE:
            return SQL_ATTR_READWRITE_UNKNOWN;
        case SQL_DESC_CASE_SENSITIVE:
            return SQL_TRUE;
        case SQL_DESC_COUNT:
            return ColumnCount(stmt);
        default:
            return 0;
    }
}

// One column's text, or nothing for NULL.
bool ColumnText(DriverStmt& stmt, SQLUSMALLINT column, std::string& text) { return stmt.rows->Text(column - 1, text); }

SQLRETURN NullData(SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* indicator) {
    if (indicator == nullptr) return SQL_ERROR;
    *indicator = SQL_NULL_DATA;
    if (buffer != nullptr && bufferLength > 0) static_cast<char*>(buffer)[0] = '\0';
    return SQL_SUCCESS;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT handle, SQLSMALLINT* count) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    if (count != nullptr) *count = static_cast<SQLSMALLINT>(ColumnCount(*stmt));
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                                  SQLSMALLINT textLength, SQLSMALLINT* fullLength, SQLLEN* number) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
        if (number != nullptr) *number = ColumnCount(*stmt);
        return SQL_SUCCESS;
    }
    if (!ValidColumn(*stmt, column)) return Fail(stmt->diag, "07009", "invalid column number");
    switch (field) {
        case SQL_DESC_NAME:
        case SQL_DESC_LABEL:
        case SQL_DESC_BASE_COLUMN_NAME:
        case SQL_COLUMN_NAME:
            return CopyText(ColumnName(*stmt, column), text, textLength, fullLength);
        case SQL_DESC_TYPE_NAME:
            return CopyText(DeclaredType(*stmt, column), text, textLength, fullLength);
        case SQL_DESC_TABLE_NAME:
        case SQL_DESC_BASE_TABLE_NAME:
        case SQL_DESC_SCHEMA_NAME:
        case SQL_DESC_CATALOG_NAME:
        case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX:
        case SQL_DESC_LOCAL_TYPE_NAME:
            return CopyText("", text, textLength, fullLength);
        default:
            if (number != nullptr) *number = NumericAttribute(*stmt, column, field);
            return SQL_SUCCESS;
    }
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT handle, SQLUSMALLINT column, SQLCHAR* name, SQLSMALLINT nameLength,
                                 SQLSMALLINT* fullNameLength, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                 SQLSMALLINT* nullable) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    if (!ValidColumn(*stmt, column)) return Fail(stmt->diag, "07009", "invalid column number");
    if (type != nullptr) *type = SQL_VARCHAR;
    if (size != nullptr) *size = ColumnLength(*stmt, column);
    if (digits != nullptr) *digits = 0;
    if (nullable != nullptr) *nullable = SQL_NULLABLE_UNKNOWN;
    return CopyText(ColumnName(*stmt, column), name, nameLength, fullNameLength);
}

// Text in pieces: a buffer too small gets what fits (01004) and the next call on the same
// column continues where the last one stopped; after the end comes SQL_NO_DATA.
SQLRETURN SQL_API SQLGetData(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT targetType, SQLPOINTER buffer,
                             SQLLEN bufferLength, SQLLEN* indicator) {
    DriverStmt* stmt = Begin(handle);
    if (stmt == nullptr) return SQL_INVALID_HANDLE;
    if (stmt->cursor != CursorState::OnRow) return Fail(stmt->diag, "24000", "no current row");
    if (!ValidColumn(*stmt, column)) return Fail(stmt->diag, "07009", "invalid column number");
    if (targetType != SQL_C_CHAR && targetType != SQL_C_DEFAULT)
        return Fail(stmt->diag, "07006", "columns are fetched as text only (SQL_C_CHAR)");
    if (column != stmt->dataRead.column) stmt->dataRead = ColumnRead{column};
    ColumnRead& read = stmt->dataRead;
    if (read.fetch == ColumnFetch::Done) return SQL_NO_DATA;
    std::string text;
    if (!ColumnText(*stmt, column, text)) {
        read.fetch = ColumnFetch::Done;
        return NullData(buffer, bufferLength, indicator) == SQL_SUCCESS
                   ? SQL_SUCCESS
                   : Fail(stmt->diag, "22002", "NULL value and no indicator");
    }
    const SQLRETURN result = CopyText(text.substr(read.bytesHandedOut), buffer, bufferLength, indicator);
    if (result != SQL_SUCCESS_WITH_INFO) {
        read.fetch = ColumnFetch::Done;
        return result;
    }
    // What fits is the buffer less its terminating NUL.
    read.fetch = ColumnFetch::PartlyRead;
    read.bytesHandedOut += bufferLength > 0 ? static_cast<std::size_t>(bufferLength) - 1 : 0;
    stmt->diag.Add("01004", "[Telvorn RTUDB] String data, right truncated");
    return result;
}

}  // extern "C"
