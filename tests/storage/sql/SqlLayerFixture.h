#pragma once

// Tests of the access layer through the whole stack: CSQLDatabase -> unixODBC -> RTUDB driver
// -> a SQLite file of the test's own.

#include "tests/storage/OdbcTestEnvironment.h"

#include "storage/sql/SQLDatabase.h"
#include "storage/sql/SQLException.h"
#include "storage/sql/SQLRecordset.h"

#include <string>
#include <vector>

using Rows = std::vector<std::vector<std::string>>;

// Column 1 of the first row of a query on `database`, read with `valueType`.
inline std::string FirstField(const CSQLDatabase& database, const std::string& select,
                              std::uint8_t valueType = kValueText) {
    CSQLRecordset recordset(database);
    recordset.SetSQL(select);
    if (!recordset.Open() || !recordset.MoveNext()) return "<no row>";
    return recordset.GetField(1, valueType);
}

class SqlLayerTest : public OdbcTest {
protected:
    void SetUp() override {
        OdbcTest::SetUp();
        ASSERT_TRUE(db.Connect(OdbcTestEnvironment::kDataSource, User(), Password()));
    }

    bool Exec(const std::string& statement) { return db.Execute(statement); }

    // Every row of a query, every column as GetField gives it.
    Rows Query(const std::string& select) {
        CSQLRecordset recordset(db);
        recordset.SetSQL(select);
        EXPECT_TRUE(recordset.Open());
        Rows rows;
        const int columns = ColumnCount(select);
        while (recordset.MoveNext()) {
            rows.emplace_back();
            for (int column = 1; column <= columns; ++column) rows.back().push_back(recordset.GetField(column, 1));
        }
        return rows;
    }

    // The error a statement raises; fails the test when it raises none.
    CSQLException ErrorOf(const std::string& statement) {
        try {
            db.Execute(statement);
        } catch (const CSQLException& error) {
            return error;
        }
        ADD_FAILURE() << "no error from: " << statement;
        return {};
    }

    std::vector<std::string> Column(const std::string& select) {
        std::vector<std::string> values;
        for (const auto& row : Query(select)) values.push_back(row.at(0));
        return values;
    }

    int Count(const std::string& table) { return std::stoi(Query("SELECT COUNT(*) FROM " + table).at(0).at(0)); }

    CSQLDatabase db;

private:
    // The layer has no column count of its own; ask the driver through a plain statement.
    int ColumnCount(const std::string& select) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, db.dbc, &stmt);
        SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(select.c_str())), SQL_NTS);
        SQLSMALLINT count = 0;
        SQLNumResultCols(stmt, &count);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        return count;
    }
};
