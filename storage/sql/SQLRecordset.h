#pragma once

#include "storage/sql/SQLBase.h"

#include <sql.h>

class CSQLDatabase;

// A forward-only cursor over one SELECT, with its own statement handle on the database's
// connection. Used by one thread at a time; several recordsets may run on one connection.
class CSQLRecordset : public CSQLBaseWhere {
public:
    explicit CSQLRecordset(const CSQLDatabase& database);
    ~CSQLRecordset() override;
    CSQLRecordset(const CSQLRecordset&) = delete;
    CSQLRecordset& operator=(const CSQLRecordset&) = delete;

    void SetSQL(const std::string& text);
    // Runs the statement. False, doing nothing, without a connection; throws CSQLException.
    bool Open();
    // True when a row is current, false after the last row; throws CSQLException.
    bool MoveNext();
    // The text of column `column` (from 1) of the current row, at most 2023 bytes; empty for
    // NULL. Valid until the next GetField. Throws CSQLException.
    const std::string& GetField(int column, std::uint8_t valueType);
    void FreeStatement(SQLUSMALLINT option);

    SQLRETURN lastResult = SQL_SUCCESS;
    SQLHDBC dbc = SQL_NULL_HDBC;  // the database's, not owned
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    std::string orderBy;
    std::string groupBy;
    std::string fieldBuffer;

private:
    [[noreturn]] void Fail();
};
