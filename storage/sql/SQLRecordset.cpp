#include "storage/sql/SQLRecordset.h"

#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"

#include <sqlext.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr SQLLEN kFieldBufferSize = 2024;

}  // namespace

CSQLRecordset::CSQLRecordset(const CSQLDatabase& database) : dbc(database.dbc) {}

// A destructor must not throw: a failing release of the handle is dropped here.
CSQLRecordset::~CSQLRecordset() {
    try {
        FreeStatement(SQL_DROP);
    } catch (const CSQLException&) {
    }
}

void CSQLRecordset::SetSQL(const std::string& text) { sql = text; }

bool CSQLRecordset::Open() {
    if (!where.empty()) sql += " where " + where;
    if (!orderBy.empty()) sql += " order by " + orderBy;
    if (!groupBy.empty()) sql += " group by " + groupBy;
    if (dbc == SQL_NULL_HDBC) return false;
    FreeStatement(SQL_DROP);
    lastResult = SQLAllocStmt(dbc, &stmt);
    if (!SqlSucceeded(lastResult)) {
        stmt = SQL_NULL_HSTMT;
        throw MakeSQLException(SQL_HANDLE_DBC, dbc, sql);
    }
    lastResult = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS);
    if (!SqlSucceeded(lastResult)) Fail();
    return true;
}

bool CSQLRecordset::MoveNext() {
    lastResult = SQLFetch(stmt);
    if (SqlSucceeded(lastResult)) return true;
    if (lastResult == SQL_NO_DATA) return false;
    Fail();
}

const std::string& CSQLRecordset::GetField(int column, std::uint8_t valueType) {
    fieldBuffer.clear();
    char buffer[kFieldBufferSize] = {};
    SQLLEN indicator = 0;
    lastResult = SQLGetData(stmt, static_cast<SQLUSMALLINT>(column), SQL_C_CHAR, buffer, kFieldBufferSize, &indicator);
    if (!SqlSucceeded(lastResult)) Fail();
    if (indicator != SQL_NULL_DATA) fieldBuffer = buffer;
    if (valueType == kValueFloat) {
        char number[64];
        std::snprintf(number, sizeof number, "%.2f", std::strtod(fieldBuffer.c_str(), nullptr));
        fieldBuffer = number;
    }
    return fieldBuffer;
}

// SQL_DROP releases the handle; SQL_CLOSE only ends its cursor, so the handle is kept for reuse.
void CSQLRecordset::FreeStatement(SQLUSMALLINT option) {
    if (stmt == SQL_NULL_HSTMT) return;
    lastResult = SQLFreeStmt(stmt, option);
    if (option == SQL_DROP) stmt = SQL_NULL_HSTMT;
    if (!SqlSucceeded(lastResult)) throw MakeSQLException(SQL_HANDLE_DBC, dbc, sql);
}

void CSQLRecordset::Fail() { throw MakeSQLException(SQL_HANDLE_STMT, stmt, sql); }
