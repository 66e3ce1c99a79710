// The driver's statements on either engine, its connection strings and its setup.
#include "tests/platform/rtudb/DriverFixture.h"

#include <ostream>
#include <thread>
#include <tuple>

namespace {

TEST_F(DriverTest, DataSourceFileIsFoundUnderTheConnectingUsersHome) {
    EXPECT_TRUE(std::filesystem::exists(DatabaseFile()));
}

TEST_F(DriverTest, CommitsAreDurableWithWriteAheadLogAndFullSync) {
    ASSERT_EQ(Exec("PRAGMA journal_mode"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), std::vector<std::string>{"wal"});
    ASSERT_EQ(Exec("PRAGMA synchronous"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), std::vector<std::string>{"2"});
}

struct FailureCase {
    const char* name;
    const char* statement;
    const char* sqlState;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class DriverFailureTest : public DriverTest, public ::testing::WithParamInterface<std::tuple<TestEngine, FailureCase>> {
protected:
    TestEngine Engine() const override { return std::get<0>(GetParam()); }
    const FailureCase& Case() const { return std::get<1>(GetParam()); }
};

TEST_P(DriverFailureTest, RefusalCarriesItsSqlState) {
    ASSERT_EQ(Exec("INSERT INTO T(A, B) VALUES (1, 'x')"), SQL_SUCCESS);
    EXPECT_EQ(Exec(Case().statement), SQL_ERROR);
    EXPECT_EQ(state_, Case().sqlState);
}

INSTANTIATE_TEST_SUITE_P(
    States, DriverFailureTest,
    ::testing::Combine(EachEngine(),
                       ::testing::Values(FailureCase{"DuplicateKey", "INSERT INTO T(A) VALUES (1)", "23000"},
                                         FailureCase{"TableExists", "CREATE TABLE T(A INT)", "42S01"},
                                         FailureCase{"NoSuchTable", "SELECT * FROM 12_DIN0", "42S02"},
                                         FailureCase{"Syntax", "SELEC * FROM T", "42000"},
                                         FailureCase{"SecondStatement", "SELECT * FROM T; DELETE FROM T", "42000"},
                                         FailureCase{"UnterminatedLiteral", "SELECT 'x FROM T", "42000"},
                                         FailureCase{"OtherFailure", "SELECT NOPE FROM T", "HY000"})),
    [](const auto& info) {
        return std::string(std::get<1>(info.param).name) + "_" + EngineLabel(std::get<0>(info.param));
    });

using DriverStatementTest = OnEachEngine<DriverTest>;
INSTANTIATE_TEST_SUITE_P(Engines, DriverStatementTest, EachEngine(), EngineName);

TEST_P(DriverStatementTest, RefusedSecondStatementLeavesTheDataAlone) {
    ASSERT_EQ(Exec("INSERT INTO T(A) VALUES (1)"), SQL_SUCCESS);
    EXPECT_EQ(Exec("INSERT INTO T(A) VALUES (2);DELETE FROM T"), SQL_ERROR);
    ASSERT_EQ(Exec("SELECT A FROM T"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), std::vector<std::string>{"1"});
}

TEST_P(DriverStatementTest, UpdateOrDeleteThatChangesNothingReportsNoData) {
    EXPECT_EQ(Exec("UPDATE T SET B='y' WHERE A=5"), SQL_NO_DATA);
    EXPECT_EQ(Exec("DELETE * FROM T WHERE A=5"), SQL_NO_DATA);
    ASSERT_EQ(Exec("INSERT INTO T(A) VALUES (5)"), SQL_SUCCESS);
    EXPECT_EQ(Exec("UPDATE T SET B='y' WHERE A=5"), SQL_SUCCESS);
    SQLLEN rows = 0;
    SQLRowCount(stmt_, &rows);
    EXPECT_EQ(rows, 1);
}

TEST_P(DriverStatementTest, NullFetchesEmptyWithTheNullIndicator) {
    ASSERT_EQ(Exec("INSERT INTO T(A) VALUES (1)"), SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT B, A FROM T"), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    char buffer[8] = "junk";
    SQLLEN indicator = 0;
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS);
    EXPECT_EQ(indicator, SQL_NULL_DATA);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS);
    EXPECT_STREQ(buffer, "1");
    EXPECT_EQ(indicator, 1);
}

TEST_P(DriverStatementTest, LongTextIsFetchedInPieces) {
    ASSERT_EQ(Exec("INSERT INTO T(A, B) VALUES (1, 'abcdefghij')"), SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT B FROM T"), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    char buffer[5];
    SQLLEN indicator = 0;
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(indicator, 10);
    EXPECT_EQ(StateOf(stmt_), "01004");
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS_WITH_INFO);
    EXPECT_STREQ(buffer, "efgh");
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS);
    EXPECT_STREQ(buffer, "ij");
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_NO_DATA);
}

// A NULL or an empty text has no bytes to count progress by, yet is handed out once all the same.
TEST_P(DriverStatementTest, NullAndEmptyTextAreHandedOutOnceThenNoData) {
    ASSERT_EQ(Exec("INSERT INTO T(A, B) VALUES (1, '')"), SQL_SUCCESS);
    ASSERT_EQ(Exec("INSERT INTO T(A) VALUES (2)"), SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT B FROM T ORDER BY A"), SQL_SUCCESS);
    char buffer[8];
    SQLLEN indicator = 0;
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS);
    EXPECT_EQ(indicator, 0);
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_NO_DATA);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_SUCCESS);
    EXPECT_EQ(indicator, SQL_NULL_DATA);
    EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator), SQL_NO_DATA);
}

TEST_P(DriverStatementTest, EveryColumnTypeFetchesAsText) {
    ASSERT_EQ(Exec("CREATE TABLE 7_AIN0(RID INT PRIMARY KEY, RVALUE FLOAT, RSTATE BYTE, RTIME TEXT(32))"), SQL_SUCCESS);
    ASSERT_EQ(Exec("INSERT INTO 7_AIN0(RID, RVALUE, RSTATE, RTIME) VALUES (-7, 12.30, 1, {d'2014-04-11'})"),
              SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT RID || '|' || RVALUE || '|' || RSTATE || '|' || RTIME FROM 7_AIN0"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), std::vector<std::string>{"-7|12.3|1|2014-04-11"});
}

TEST_P(DriverStatementTest, NowIsOfferedAsLocalTimeText) {
    ASSERT_EQ(Exec("SELECT length(now()), substr(now(), 5, 1), substr(now(), 11, 1)"), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
    std::vector<std::string> parts;
    for (SQLUSMALLINT column = 1; column <= 3; ++column) {
        char buffer[16];
        SQLLEN indicator = 0;
        SQLGetData(stmt_, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        parts.push_back(buffer);
    }
    EXPECT_EQ(parts, (std::vector<std::string>{"19", "-", " "}));
}

// Each thread's failures keep their own state even while other threads fail differently on the
// same connection, because a step and its error read happen under one lock.
TEST_P(DriverStatementTest, ThreadsSharingTheConnectionGetTheirOwnErrors) {
    ASSERT_EQ(Exec("INSERT INTO T(A) VALUES (1)"), SQL_SUCCESS);
    auto repeat = [this](const char* statement, const char* expected, std::atomic<int>& wrong) {
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
        for (int i = 0; i < 300; ++i) {
            const SQLRETURN result = SQLExecDirect(stmt, Text(statement), SQL_NTS);
            if (result != SQL_ERROR || StateOf(stmt) != expected) ++wrong;
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    };
    std::atomic<int> wrong{0};
    std::thread duplicate([&] { repeat("INSERT INTO T(A) VALUES (1)", "23000", wrong); });
    std::thread missing([&] { repeat("INSERT INTO MISSING(A) VALUES (1)", "42S02", wrong); });
    std::thread syntax([&] { repeat("INSERT INTO T(A) VALUES (", "42000", wrong); });
    duplicate.join();
    missing.join();
    syntax.join();
    EXPECT_EQ(wrong, 0);
}

class DriverConnectTest : public OdbcTest {
protected:
    // Connects with a connection string, runs one statement and disconnects; the result of each.
    std::pair<SQLRETURN, SQLRETURN> ConnectAndRun(const std::string& connection, const std::string& statement) {
        SQLHENV env = SQL_NULL_HENV;
        SQLHDBC dbc = SQL_NULL_HDBC;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
        const SQLRETURN connected =
            SQLDriverConnect(dbc, nullptr, Text(connection), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        SQLRETURN ran = SQL_ERROR;
        if (SQL_SUCCEEDED(connected)) {
            SQLHSTMT stmt = SQL_NULL_HSTMT;
            SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
            ran = SQLExecDirect(stmt, Text(statement), SQL_NTS);
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            SQLDisconnect(dbc);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, env);
        return {connected, ran};
    }
};

TEST_F(DriverConnectTest, ConnectionStringNamesTheDataSource) {
    EXPECT_EQ(ConnectAndRun("DSN=RTUDB;UID=;PWD=", "CREATE TABLE T(A INT)"),
              std::make_pair(SQLRETURN{SQL_SUCCESS}, SQLRETURN{SQL_SUCCESS}));
    EXPECT_TRUE(std::filesystem::exists(DatabaseFile()));
}

TEST_F(DriverConnectTest, ConnectionStringFileNeedsNoDataSource) {
    const auto file = home_ / "direct; file.db";
    EXPECT_EQ(ConnectAndRun("DRIVER={Telvorn RTUDB};DBQ={" + file.string() + "}", "CREATE TABLE T(A INT)"),
              std::make_pair(SQLRETURN{SQL_SUCCESS}, SQLRETURN{SQL_SUCCESS}));
    EXPECT_TRUE(std::filesystem::exists(file));
}

TEST_F(DriverConnectTest, ConnectionStringWithoutFileIsRefused) {
    EXPECT_EQ(ConnectAndRun("DRIVER={Telvorn RTUDB}", "SELECT 1").first, SQL_ERROR);
}

class ConfigDsnTest : public OdbcTest {};

TEST_F(ConfigDsnTest, UserDataSourceIsWrittenToTheUserFile) {
    ASSERT_TRUE(
        SQLConfigDataSource(nullptr, ODBC_ADD_DSN, OdbcTestEnvironment::kDriverName, "DSN=USERDB\0DBQ=/tmp/user.db\0"));
    const std::string text = FileText(getenv("ODBCINI"));
    EXPECT_NE(text.find("[USERDB]"), std::string::npos) << text;
    EXPECT_NE(text.find("/tmp/user.db"), std::string::npos) << text;
}

TEST_F(ConfigDsnTest, SystemDataSourceIsWrittenAndRemoved) {
    const std::filesystem::path file = std::filesystem::path(getenv("ODBCSYSINI")) / "odbc.ini";
    ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, OdbcTestEnvironment::kDriverName,
                                    "DSN=SYSDB\0DBQ=~/rtu/sys.db\0DEFAULTDIR=~/rtu\0"));
    const std::string text = FileText(file);
    EXPECT_NE(text.find("[SYSDB]"), std::string::npos) << text;
    EXPECT_NE(text.find("Telvorn RTUDB"), std::string::npos) << text;
    EXPECT_NE(text.find("~/rtu/sys.db"), std::string::npos) << text;
    ASSERT_TRUE(SQLConfigDataSource(nullptr, ODBC_REMOVE_SYS_DSN, OdbcTestEnvironment::kDriverName, "DSN=SYSDB\0"));
    EXPECT_EQ(FileText(file).find("[SYSDB]"), std::string::npos);
}

TEST_F(ConfigDsnTest, RequestWithoutDsnIsRefused) {
    EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, OdbcTestEnvironment::kDriverName, "DBQ=x\0"));
}

// The program registers its SQLite entry whenever connecting fails; over an entry an
// administrator pointed at a server (down for now) that must change nothing, in either file.
TEST_F(ConfigDsnTest, AddingOverAnEntryOfAnotherEngineLeavesItAsItIs) {
    PointDataSource({{"ENGINE", "postgresql"}, {"SERVER", "db.example"}});
    const std::filesystem::path system = std::filesystem::path(getenv("ODBCSYSINI")) / "odbc.ini";
    const std::string before = FileText(system);

    EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, OdbcTestEnvironment::kDriverName,
                                     "DSN=RTUDB\0DBQ=~/rtu/RTU.db\0DEFAULTDIR=~/rtu\0"));
    EXPECT_FALSE(SQLConfigDataSource(nullptr, ODBC_ADD_DSN, OdbcTestEnvironment::kDriverName,
                                     "DSN=RTUDB\0DBQ=~/rtu/RTU.db\0DEFAULTDIR=~/rtu\0"));
    EXPECT_EQ(FileText(system), before);
    EXPECT_NE(before.find("ENGINE"), std::string::npos) << before;
    EXPECT_EQ(FileText(getenv("ODBCINI")).find("[RTUDB]"), std::string::npos) << FileText(getenv("ODBCINI"));
}

TEST_F(ConfigDsnTest, AddingOverAnSqliteEntryRewritesIt) {
    PointDataSource({{"ENGINE", "SQLite"}});
    EXPECT_TRUE(SQLConfigDataSource(nullptr, ODBC_ADD_SYS_DSN, OdbcTestEnvironment::kDriverName,
                                    "DSN=RTUDB\0DBQ=~/rtu/RTU.db\0DEFAULTDIR=~/rtu\0"));
}

}  // namespace
