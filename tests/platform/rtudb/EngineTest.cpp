// What the two engines must agree on, and what only the server engine has: accounts, schemas
// and a connection that can be lost.
#include "tests/platform/rtudb/DriverFixture.h"

#include <chrono>
#include <thread>

namespace {

using Values = std::vector<std::string>;

using EngineRulesTest = OnEachEngine<DriverTest>;
INSTANTIATE_TEST_SUITE_P(Engines, EngineRulesTest, EachEngine(), EngineName);

TEST_P(EngineRulesTest, NameInAnyLetterCaseIsTheSameTable) {
    ASSERT_EQ(Exec("CREATE TABLE 12_Mixed(A INT PRIMARY KEY, B TEXT(8))"), SQL_SUCCESS);
    ASSERT_EQ(Exec("INSERT INTO 12_MIXED(A, B) VALUES (1, 'x')"), SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT b FROM 12_mixed"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), Values{"x"});
    ASSERT_EQ(Exec("CREATE TABLE FULLRCDS(RID INT PRIMARY KEY)"), SQL_SUCCESS);
    ASSERT_EQ(Exec("INSERT INTO fullrcds(RID) VALUES (3)"), SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT RID FROM FullRcds"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), Values{"3"});
    EXPECT_EQ(Exec("CREATE TABLE fullrcds(RID INT)"), SQL_ERROR);
    EXPECT_EQ(state_, "42S01");
}

// The private cluster's own collation puts 'a1' before 'B1'; the tables must not follow it.
TEST_P(EngineRulesTest, TextSortsAndComparesByteWise) {
    int key = 0;
    for (const char* text : {"a1", "B1", "7", "12", "100", "b"})
        ASSERT_EQ(Exec("INSERT INTO T(A, B) VALUES (" + std::to_string(++key) + ", '" + text + "')"), SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT B FROM T ORDER BY B"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), (Values{"100", "12", "7", "B1", "a1", "b"}));
    ASSERT_EQ(Exec("SELECT B FROM T WHERE B >= 'B' AND B <= 'a2' ORDER BY B"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), (Values{"B1", "a1"}));
}

TEST_P(EngineRulesTest, FloatColumnReadsBackTheSameText) {
    ASSERT_EQ(Exec("CREATE TABLE 7_AIN1(RID INT PRIMARY KEY, RVALUE FLOAT)"), SQL_SUCCESS);
    int rid = 0;
    for (const char* value : {"1.00", "12.30", "1234567.89", "-0.50", "100"})
        ASSERT_EQ(Exec("INSERT INTO 7_AIN1(RID, RVALUE) VALUES (" + std::to_string(++rid) + ", " + value + ")"),
                  SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT RVALUE FROM 7_AIN1 ORDER BY RID"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), (Values{"1.0", "12.3", "1234567.89", "-0.5", "100.0"}));
}

// FULLRCDS keeps its value as text. SQLite then compares a bare number as text ('9.00' >= 5 but
// not '10.00'); the server refuses the comparison with a message that says what to do, rather
// than give rows of its own choosing.
TEST_P(EngineRulesTest, TextColumnAgainstBareNumberIsTextOrRefused) {
    ASSERT_EQ(Exec("INSERT INTO T(A, B) VALUES (1, '10.00')"), SQL_SUCCESS);
    ASSERT_EQ(Exec("INSERT INTO T(A, B) VALUES (2, '9.00')"), SQL_SUCCESS);
    if (!OnPostgres()) {
        ASSERT_EQ(Exec("SELECT B FROM T WHERE B >= 5"), SQL_SUCCESS);
        EXPECT_EQ(Fetch(), Values{"9.00"});
        return;
    }
    EXPECT_EQ(Exec("SELECT B FROM T WHERE B >= 5"), SQL_ERROR);
    const auto [state, message] = DiagnosticOf(stmt_);
    EXPECT_EQ(state, "42000");
    EXPECT_NE(message.find("text column"), std::string::npos) << message;
}

// The server engine alone.
class PostgresDriverTest : public DriverTest {
protected:
    TestEngine Engine() const override { return TestEngine::Postgres; }

    // A second connection with the given password and login time-out; its result and state.
    std::pair<SQLRETURN, std::string> ConnectOther(const std::string& password, SQLHDBC& dbc, SQLULEN timeout = 7) {
        SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc);
        SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
        const SQLRETURN result = SQLConnect(dbc, Text(OdbcTestEnvironment::kDataSource), SQL_NTS, Text(User()), SQL_NTS,
                                            Text(password), SQL_NTS);
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[512] = {};
        SQLSMALLINT length = 0;
        SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, message, sizeof message, &length);
        lastMessage_ = reinterpret_cast<const char*>(message);
        return {result, reinterpret_cast<const char*>(state)};
    }

    static void Release(SQLHDBC dbc) {
        SQLDisconnect(dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }

    // Runs `text` until it succeeds, at most `attempts` times a quarter second apart.
    SQLRETURN ExecUntilDone(const std::string& text, int attempts) {
        SQLRETURN result = Exec(text);
        for (int i = 1; i < attempts && result != SQL_SUCCESS; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            result = Exec(text);
        }
        return result;
    }

    std::string lastMessage_;
};

TEST_F(PostgresDriverTest, PasswordOfSqlConnectIsChecked) {
    SQLHDBC other = SQL_NULL_HDBC;
    EXPECT_EQ(ConnectOther("wrong", other), std::make_pair(SQLRETURN{SQL_ERROR}, std::string("08001")));
    EXPECT_NE(lastMessage_.find("password"), std::string::npos) << lastMessage_;
    SQLFreeHandle(SQL_HANDLE_DBC, other);
}

TEST_F(PostgresDriverTest, SchemaThatDoesNotExistIsNamedInTheRefusal) {
    PointDataSource({{"SCHEMA", "NoSuchSchema"}});
    SQLHDBC other = SQL_NULL_HDBC;
    EXPECT_EQ(ConnectOther(Password(), other).first, SQL_ERROR);
    EXPECT_NE(lastMessage_.find("nosuchschema"), std::string::npos) << lastMessage_;
    SQLFreeHandle(SQL_HANDLE_DBC, other);
}

TEST_F(PostgresDriverTest, TablesLiveInTheDataSourceSchemaWithLowerCaseNames) {
    ASSERT_EQ(Exec("CREATE TABLE 12_DIN0(RID INT PRIMARY KEY, RVALUE BYTE, RTIME TEXT(32))"), SQL_SUCCESS);
    ASSERT_EQ(Exec("INSERT INTO 12_DIN0(RID, RVALUE, RTIME) VALUES (1, 1, 't')"), SQL_SUCCESS);
    PostgresCluster& cluster = PostgresCluster::Instance();
    EXPECT_EQ(cluster.Query("SELECT rvalue || ' ' || pg_typeof(rvalue) FROM " + schema_ + ".\"12_din0\""),
              "1 smallint\n");
    EXPECT_EQ(cluster.Query("SELECT count(*) FROM pg_tables WHERE tablename = '12_din0'"), "1\n");
}

// The connection is cut under the driver: the statement that meets it fails with 08S01, the next
// one opens a new connection.
TEST_F(PostgresDriverTest, LostConnectionFailsOneStatementAndTheNextReconnects) {
    ASSERT_TRUE(PostgresCluster::Instance().Sql(
        "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = 'telvorn'"));
    EXPECT_EQ(Exec("INSERT INTO T(A) VALUES (1)"), SQL_ERROR);
    EXPECT_EQ(state_, "08S01");
    EXPECT_EQ(Exec("INSERT INTO T(A) VALUES (2)"), SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT A FROM T"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), Values{"2"});
}

TEST_F(PostgresDriverTest, ServerDownFailsStatementsAndIsUsedAgainOnceBack) {
    PostgresCluster& cluster = PostgresCluster::Instance();
    ASSERT_TRUE(cluster.Stop());
    EXPECT_EQ(Exec("INSERT INTO T(A) VALUES (1)"), SQL_ERROR);
    EXPECT_EQ(state_, "08S01");
    EXPECT_EQ(Exec("INSERT INTO T(A) VALUES (1)"), SQL_ERROR);
    EXPECT_EQ(state_, "08S01");
    ASSERT_TRUE(cluster.Start());
    EXPECT_EQ(ExecUntilDone("INSERT INTO T(A) VALUES (1)", 40), SQL_SUCCESS);
    ASSERT_EQ(Exec("SELECT A FROM T"), SQL_SUCCESS);
    EXPECT_EQ(Fetch(), Values{"1"});
}

TEST_F(PostgresDriverTest, AnswerLaterThanTheLoginTimeOutFailsTheCallAndTheNextReconnects) {
    SQLHDBC other = SQL_NULL_HDBC;
    ASSERT_TRUE(SQL_SUCCEEDED(ConnectOther(Password(), other, 1).first)) << lastMessage_;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, other, &stmt);
    EXPECT_EQ(SQLExecDirect(stmt, Text("SELECT pg_sleep(5)"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(StateOf(stmt), "HYT00");
    EXPECT_EQ(SQLExecDirect(stmt, Text("SELECT 1"), SQL_NTS), SQL_SUCCESS);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    Release(other);
}

}  // namespace
