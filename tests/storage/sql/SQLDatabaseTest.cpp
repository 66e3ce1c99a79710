#include "tests/storage/sql/SqlLayerFixture.h"

#include "storage/sql/ComposeStatement.h"
#include "storage/sql/SQLInsert.h"

#include <sys/wait.h>
#include <unistd.h>

#include <regex>

namespace {

constexpr const char* kCreatePeople = "CREATE TABLE PEOPLE(UID TEXT(32) PRIMARY KEY, NAME TEXT(32), NOTE TEXT(32))";

class SQLDatabaseFixture : public SqlLayerTest {
protected:
    void SetUp() override {
        SqlLayerTest::SetUp();
        ASSERT_TRUE(Exec(kCreatePeople));
    }

    bool InsertPerson(const std::string& uid, const std::string& name, const std::string& note = "x") {
        CSQLInsert insert("PEOPLE");
        insert.AddField("UID", uid, kValueText);
        insert.AddField("NAME", name, kValueText);
        insert.AddField("NOTE", note, kValueText);
        return Exec(insert.BuildSQL());
    }
};

using SQLDatabaseTest = OnEachEngine<SQLDatabaseFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, SQLDatabaseTest, EachEngine(), EngineName);

// The cancelled statement runs without end on its engine; the connection then serves the next one.
TEST_P(SQLDatabaseTest, QueryPastTheTimeOutIsCancelledAndTheConnectionGoesOn) {
    ASSERT_TRUE(db.SetQueryTimeout(1));
    CSQLRecordset endless(db);
    endless.SetSQL(OnPostgres()
                       ? "SELECT pg_sleep(3600)"
                       : "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n) SELECT COUNT(*) FROM n");
    try {
        endless.Open();
        endless.MoveNext();
        ADD_FAILURE() << "the endless query returned";
    } catch (const CSQLException& error) {
        EXPECT_EQ(error.sqlState, kQueryTimeoutState) << error.message;
    }
    EXPECT_TRUE(InsertPerson("1", "after"));
    EXPECT_EQ(FirstField(db, "SELECT NAME FROM PEOPLE"), "after");
}

TEST_P(SQLDatabaseTest, QuoteInTextValueIsStoredIntact) {
    EXPECT_TRUE(InsertPerson("1", "O'Brien"));
    EXPECT_EQ(Column("SELECT NAME FROM PEOPLE"), std::vector<std::string>{"O'Brien"});
}

TEST_P(SQLDatabaseTest, NullAndEmptyValuesAreStoredAsNull) {
    EXPECT_TRUE(InsertPerson("1", "nUlL", ""));
    EXPECT_EQ(Count("PEOPLE WHERE NAME IS NULL AND NOTE IS NULL"), 1);
}

TEST_P(SQLDatabaseTest, NowValueStoresTheCurrentTimeStamp) {
    EXPECT_TRUE(InsertPerson("1", "NOW()"));
    const std::string stored = Column("SELECT NAME FROM PEOPLE").at(0);
    EXPECT_TRUE(std::regex_match(stored, std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})"))) << stored;
}

TEST_P(SQLDatabaseTest, DateEscapeValueIsStoredAsItsText) {
    EXPECT_TRUE(InsertPerson("1", "{d'2014-04-11'}"));
    EXPECT_EQ(Column("SELECT NAME FROM PEOPLE"), std::vector<std::string>{"2014-04-11"});
}

TEST_P(SQLDatabaseTest, DeleteMatchingNothingReturnsFalseWithoutError) {
    EXPECT_FALSE(Exec("DELETE FROM PEOPLE WHERE UID='nobody'"));
    EXPECT_FALSE(Exec("DELETE * FROM PEOPLE WHERE UID='nobody' "));
}

TEST_P(SQLDatabaseTest, UpdateMatchingNothingReturnsFalseWithoutError) {
    EXPECT_FALSE(Exec("update PEOPLE set NAME='a' WHERE UID='nobody'"));
}

TEST_P(SQLDatabaseTest, ChangingStatementsReturnTrue) {
    EXPECT_TRUE(InsertPerson("1", "a"));
    EXPECT_TRUE(Exec("update PEOPLE set NAME='b' WHERE UID='1'"));
    EXPECT_TRUE(Exec("DELETE FROM PEOPLE WHERE UID='1'"));
}

TEST_P(SQLDatabaseTest, CreatingAnExistingTableRaises) {
    const CSQLException error = ErrorOf(kCreatePeople);
    EXPECT_EQ(error.sqlState, "42S01");
    EXPECT_NE(error.message.find("already exists"), std::string::npos) << error.message;
    EXPECT_TRUE(error.statement.empty());
}

TEST_P(SQLDatabaseTest, NullColumnReadsAsEmptyText) {
    EXPECT_TRUE(InsertPerson("1", ""));
    EXPECT_EQ(Query("SELECT NAME, UID FROM PEOPLE"), (Rows{{"", "1"}}));
}

TEST_P(SQLDatabaseTest, EmptyResultEndsAtOnce) {
    CSQLRecordset recordset(db);
    recordset.SetSQL("SELECT * FROM PEOPLE");
    ASSERT_TRUE(recordset.Open());
    EXPECT_FALSE(recordset.MoveNext());
}

TEST_P(SQLDatabaseTest, RecordsetErrorCarriesItsStatement) {
    CSQLRecordset recordset(db);
    recordset.SetSQL("SELECT * FROM MISSING");
    try {
        recordset.Open();
        FAIL() << "no error";
    } catch (const CSQLException& error) {
        EXPECT_EQ(error.sqlState, "42S02");
        EXPECT_EQ(error.statement, "SELECT * FROM MISSING");
    }
}

TEST_P(SQLDatabaseTest, FieldLongerThanTheBufferIsCutTo2023Bytes) {
    ASSERT_TRUE(Exec("CREATE TABLE LONGTEXT(T TEXT)"));
    ASSERT_TRUE(Exec("INSERT INTO LONGTEXT(T) VALUES ('" + std::string(3000, 'a') + "')"));
    EXPECT_EQ(Column("SELECT T FROM LONGTEXT").at(0), std::string(2023, 'a'));
}

TEST_P(SQLDatabaseTest, FloatFieldIsRewrittenWithTwoDecimals) {
    ASSERT_TRUE(Exec("CREATE TABLE V(RVALUE FLOAT)"));
    ASSERT_TRUE(Exec("INSERT INTO V(RVALUE) VALUES (12.3)"));
    EXPECT_EQ(FirstField(db, "SELECT RVALUE FROM V", kValueFloat), "12.30");
}

TEST_P(SQLDatabaseTest, TextAfterTheFirstStatementIsRefusedAndNothingRuns) {
    const CSQLException error = ErrorOf("INSERT INTO PEOPLE(UID) VALUES ('1'); DROP TABLE PEOPLE");
    EXPECT_EQ(error.sqlState, "42000");
    EXPECT_EQ(Count("PEOPLE"), 0);
}

TEST_P(SQLDatabaseTest, OverlongComposedStatementIsRefusedAndNothingRuns) {
    const std::string name(300, 'n');
    try {
        Exec(ComposeStatement(256, "INSERT INTO PEOPLE(UID, NAME) VALUES ('1', '%s')", name.c_str()));
        FAIL() << "no error";
    } catch (const CSQLException& error) {
        EXPECT_EQ(error.sqlState, "22001");
        EXPECT_NE(error.message.find("255-byte area"), std::string::npos) << error.message;
    }
    EXPECT_EQ(Count("PEOPLE"), 0);
}

TEST_P(SQLDatabaseTest, ComposedStatementThatFitsIsWhole) {
    EXPECT_EQ(ComposeStatement(25, "DELETE FROM %s", "PEOPLE_TABLE"), "DELETE FROM PEOPLE_TABLE");
    EXPECT_THROW(ComposeStatement(24, "DELETE FROM %s", "PEOPLE_TABLE"), CSQLException);
}

TEST_P(SQLDatabaseTest, DuplicatePrimaryKeyIsRefused) {
    EXPECT_TRUE(InsertPerson("1", "a"));
    EXPECT_EQ(ErrorOf("INSERT INTO PEOPLE( UID ) VALUES( '1' )").sqlState, "23000");
}

TEST_P(SQLDatabaseTest, StatementHandleIsReleasedAfterEveryExecute) {
    EXPECT_TRUE(InsertPerson("1", "a"));
    EXPECT_EQ(db.stmt, nullptr);
    ErrorOf("INSERT INTO PEOPLE( UID ) VALUES( '1' )");
    EXPECT_EQ(db.stmt, nullptr);
}

class SQLDatabaseLifeTest : public OdbcTest {};

TEST_F(SQLDatabaseLifeTest, ConnectToAnUnknownDataSourceFailsWithoutThrowingAndMayBeRetried) {
    CSQLDatabase db;
    EXPECT_FALSE(db.Connect("NO_SUCH_DSN", "", ""));
    EXPECT_FALSE(db.connected);
    EXPECT_TRUE(db.Connect(OdbcTestEnvironment::kDataSource, "", ""));
    EXPECT_TRUE(db.connected);
}

TEST_F(SQLDatabaseLifeTest, ExecuteWithoutConnectionRaises) {
    CSQLDatabase db;
    EXPECT_THROW(db.Execute("CREATE TABLE T(A INT)"), CSQLException);
}

TEST_F(SQLDatabaseLifeTest, RecordsetOfAClosedDatabaseDoesNothing) {
    CSQLDatabase db;
    ASSERT_TRUE(db.Connect(OdbcTestEnvironment::kDataSource, "", ""));
    db.Close();
    CSQLRecordset recordset(db);
    recordset.SetSQL("SELECT 1");
    EXPECT_FALSE(recordset.Open());
}

// SQLite removes the write-ahead log when the last connection to the file closes, so its
// disappearance shows the disconnect really happened.
TEST_F(SQLDatabaseLifeTest, DestroyingAConnectedDatabaseDisconnectsAndKeepsTheData) {
    {
        CSQLDatabase db;
        ASSERT_TRUE(db.Connect(OdbcTestEnvironment::kDataSource, "", ""));
        ASSERT_TRUE(db.Execute("CREATE TABLE T(A INT)"));
        ASSERT_TRUE(db.Execute("INSERT INTO T(A) VALUES (7)"));
        ASSERT_TRUE(std::filesystem::exists(DatabaseFile().string() + "-wal"));
    }
    EXPECT_FALSE(std::filesystem::exists(DatabaseFile().string() + "-wal"));
    CSQLDatabase again;
    ASSERT_TRUE(again.Connect(OdbcTestEnvironment::kDataSource, "", ""));
    EXPECT_EQ(FirstField(again, "SELECT A FROM T"), "7");
}

// A committed row survives its process ending abruptly, connection never closed.
TEST_F(SQLDatabaseLifeTest, CommittedRowSurvivesAProcessThatDiesConnected) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto* db = new CSQLDatabase;
        const bool stored = db->Connect(OdbcTestEnvironment::kDataSource, "", "") &&
                            db->Execute("CREATE TABLE T(A INT)") && db->Execute("INSERT INTO T(A) VALUES (42)");
        _exit(stored ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    CSQLDatabase db;
    ASSERT_TRUE(db.Connect(OdbcTestEnvironment::kDataSource, "", ""));
    EXPECT_EQ(FirstField(db, "SELECT A FROM T"), "42");
}

TEST_F(SQLDatabaseLifeTest, CloseTwiceIsHarmless) {
    CSQLDatabase db;
    ASSERT_TRUE(db.Connect(OdbcTestEnvironment::kDataSource, "", ""));
    db.Close();
    db.Close();
    EXPECT_FALSE(db.connected);
}

}  // namespace
