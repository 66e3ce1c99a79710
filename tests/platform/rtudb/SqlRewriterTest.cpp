#include "platform/rtudb/HomePath.h"
#include "platform/rtudb/SqlRewriter.h"
#include "platform/rtudb/SqliteErrors.h"
#include "tests/platform/rtudb/RewriteCase.h"

#include <gtest/gtest.h>

#include <ostream>

#include <pwd.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

class RewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteTest, AccessTextBecomesSqliteText) {
    const RewrittenStatement result = RewriteStatement(GetParam().input);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.sql, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, RewriteTest,
    ::testing::Values(RewriteCase{"DigitNameQuoted", "INSERT INTO 12_DIN0(RID) VALUES (1)",
                                  "INSERT INTO \"12_DIN0\"(RID) VALUES (1)"},
                      RewriteCase{"DigitNameInSelect", "SELECT * FROM 12_AIN3 WHERE RVALUE <= 5",
                                  "SELECT * FROM \"12_AIN3\" WHERE RVALUE <= 5"},
                      RewriteCase{"LetterNameUntouched", "SELECT * FROM A7_BATT", "SELECT * FROM A7_BATT"},
                      RewriteCase{"NumbersUntouched", "VALUES (12, 5.25, -3, 1e5, 2.5E-3, 0x1F, .5)",
                                  "VALUES (12, 5.25, -3, 1e5, 2.5E-3, 0x1F, .5)"},
                      RewriteCase{"DeleteAsteriskDropped", "DELETE * FROM RTU_TAB WHERE UID='7' ",
                                  "DELETE  FROM RTU_TAB WHERE UID='7' "},
                      RewriteCase{"DeleteAsteriskAnyCase", "delete\n*\nfrom 7_DIN0", "delete\n\nfrom \"7_DIN0\""},
                      RewriteCase{"MultiplicationKept", "SELECT RID * 2 FROM T", "SELECT RID * 2 FROM T"},
                      RewriteCase{"DateEscape", "VALUES ({d'2014-04-11'})", "VALUES ('2014-04-11')"},
                      RewriteCase{"TimestampEscapeWithBlanks", "VALUES ({ ts '2014-04-11 09:05:07' })",
                                  "VALUES ('2014-04-11 09:05:07')"},
                      RewriteCase{"LiteralUntouched", "VALUES ('12_DIN0; DELETE * FROM x {d''1''}')",
                                  "VALUES ('12_DIN0; DELETE * FROM x {d''1''}')"},
                      RewriteCase{"QuotedNamesUntouched", "SELECT \"12_A\", [12_B], `12_C` FROM T",
                                  "SELECT \"12_A\", [12_B], `12_C` FROM T"},
                      RewriteCase{"CommentUntouched", "SELECT 1 -- 12_X;\n", "SELECT 1 -- 12_X;\n"},
                      RewriteCase{"TrailingSemicolonDropped", "SELECT 1;  ", "SELECT 1"},
                      RewriteCase{"TrailingCommentAfterSemicolon", "SELECT 1; -- done", "SELECT 1"}),
    [](const auto& info) { return std::string(info.param.name); });

// Refused texts have no output.
class RefusalTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RefusalTest, TextIsRefused) {
    const RewrittenStatement result = RewriteStatement(GetParam().input);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Statements, RefusalTest,
    ::testing::Values(RewriteCase{"SecondStatement", "INSERT INTO T VALUES (1); DROP TABLE T", nullptr},
                      RewriteCase{"SecondStatementAfterComment", "SELECT 1; /* x */ SELECT 2", nullptr},
                      RewriteCase{"UnterminatedLiteral", "SELECT 'abc", nullptr},
                      RewriteCase{"UnterminatedQuotedName", "SELECT \"abc", nullptr},
                      RewriteCase{"Empty", "  ", nullptr}, RewriteCase{"OnlyComment", "-- nothing", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RewriteVerbTest, FirstKeywordIsTheVerb) {
    EXPECT_EQ(RewriteStatement("  delete * from T").verb, "DELETE");
    EXPECT_EQ(RewriteStatement("/* c */ update T set A=1").verb, "UPDATE");
}

TEST(SqlStateTest, SqliteFailuresMapToTheirStates) {
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_CONSTRAINT_PRIMARYKEY, "UNIQUE constraint failed: T.A"), "23000");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_ERROR, "table T already exists"), "42S01");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_ERROR, "no such table: T"), "42S02");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_ERROR, "near \"SELEC\": syntax error"), "42000");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_ERROR, "no such column: X"), "HY000");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_NOTADB, nullptr), "HY000");
    // A file busy, locked, full or failing says so by its state, whatever its message.
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_BUSY, "database is locked"), "40001");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_BUSY_SNAPSHOT, "database is locked"), "40001");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_LOCKED_SHAREDCACHE, "database table is locked"), "40001");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_PROTOCOL, nullptr), "40001");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_FULL, "database or disk is full"), "53100");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_NOMEM, nullptr), "53200");
    EXPECT_STREQ(SqlStateForSqlite(SQLITE_IOERR_WRITE, "disk I/O error"), "58030");
}

class HomePathTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* home = getenv("HOME")) savedHome_ = home;
    }
    void TearDown() override { setenv("HOME", savedHome_.c_str(), 1); }

private:
    std::string savedHome_;
};

TEST_F(HomePathTest, TildeExpandsFromHome) {
    setenv("HOME", "/home/op", 1);
    EXPECT_EQ(ExpandHomePath("~/rtu/RTU.db"), "/home/op/rtu/RTU.db");
    EXPECT_EQ(ExpandHomePath("/data/~/RTU.db"), "/data/~/RTU.db");
    EXPECT_EQ(ExpandHomePath("~user/RTU.db"), "~user/RTU.db");
}

TEST_F(HomePathTest, WithoutHomeThePasswordEntryAnswers) {
    unsetenv("HOME");
    const passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(ExpandHomePath("~/rtu"), std::string(entry->pw_dir) + "/rtu");
}

}  // namespace
