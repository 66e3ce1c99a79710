#pragma once

// The driver as an application meets it: through unixODBC, on a SQLite file of the test's own or
// in a schema of its own on the private PostgreSQL cluster.
#include "tests/storage/OdbcTestEnvironment.h"

#include <sql.h>
#include <sqlext.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

inline SQLCHAR* Text(const std::string& text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())); }

inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// One environment and connection; each statement on a fresh statement handle.
class DriverTest : public OdbcTest {
protected:
    void SetUp() override {
        OdbcTest::SetUp();
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
        SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
        ASSERT_EQ(SQLConnect(dbc_, Text(OdbcTestEnvironment::kDataSource), SQL_NTS, Text(User()), SQL_NTS,
                             Text(Password()), SQL_NTS),
                  SQL_SUCCESS);
        ASSERT_EQ(Exec("CREATE TABLE T(A INT PRIMARY KEY, B TEXT(32))"), SQL_SUCCESS);
    }

    void TearDown() override {
        Close();
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }

    // Runs one statement on a new handle, which stays open for fetching; remembers its state.
    SQLRETURN Exec(const std::string& text) {
        Close();
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
        const SQLRETURN result = SQLExecDirect(stmt_, Text(text), SQL_NTS);
        state_ = StateOf(stmt_);
        return result;
    }

    static std::string StateOf(SQLHSTMT stmt) { return DiagnosticOf(stmt).first; }

    // SQLSTATE and message of the statement's first diagnostic.
    static std::pair<std::string, std::string> DiagnosticOf(SQLHSTMT stmt) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[512] = {};
        SQLSMALLINT length = 0;
        if (SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof message, &length) != SQL_SUCCESS)
            return {};
        return {reinterpret_cast<const char*>(state), reinterpret_cast<const char*>(message)};
    }

    // The first column of every row.
    std::vector<std::string> Fetch() {
        std::vector<std::string> values;
        while (SQLFetch(stmt_) == SQL_SUCCESS) {
            char buffer[256];
            SQLLEN indicator = 0;
            SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
            values.push_back(indicator == SQL_NULL_DATA ? "<null>" : buffer);
        }
        return values;
    }

    void Close() {
        if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
        stmt_ = SQL_NULL_HSTMT;
    }

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
    std::string state_;
};
