// The PostgreSQL side of the rewriter and of the error mapping, without a server.
#include "platform/rtudb/PostgresErrors.h"
#include "platform/rtudb/PostgresRows.h"
#include "platform/rtudb/PostgresText.h"
#include "platform/rtudb/SqlRewriter.h"
#include "tests/platform/rtudb/RewriteCase.h"

#include <gtest/gtest.h>

#include <ostream>
#include <regex>

namespace {

class PostgresRewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(PostgresRewriteTest, AccessTextBecomesPostgresText) {
    const RewrittenStatement result = RewriteStatement(GetParam().input, SqlDialect::Postgres);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.sql, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, PostgresRewriteTest,
    ::testing::Values(
        RewriteCase{
            "ChannelTable",
            "CREATE TABLE 12_DIN0(RID INT PRIMARY KEY, RVALUE BYTE, RTIME TEXT(32), LTIME TEXT(32), RTYPE INT)",
            "create table \"12_din0\"(rid integer primary key, rvalue smallint, rtime varchar(32) COLLATE \"C\", "
            "ltime varchar(32) COLLATE \"C\", rtype integer)"},
        RewriteCase{"FloatAndUnsizedText", "CREATE TABLE T(V FLOAT, N TEXT)",
                    "create table t(v double precision, n text COLLATE \"C\")"},
        RewriteCase{"TypeWordsOnlyInDefinitions", "SELECT * FROM 12_AIN3 WHERE RVALUE <= 5",
                    "select * from \"12_ain3\" where rvalue <= 5"},
        RewriteCase{"LiteralsKeepTheirCase", "INSERT INTO FULLRCDS(UID, RDATACH) VALUES ('12', 'DIN3')",
                    "insert into fullrcds(uid, rdatach) values ('12', 'DIN3')"},
        RewriteCase{"DeleteAsteriskDropped", "DELETE * FROM RTU_TAB WHERE UID='A7' ",
                    "delete  from rtu_tab where uid='A7' "},
        RewriteCase{"AccessQuotesBecomeStandard", "SELECT [12_B], `x\"y` FROM T", "select \"12_B\", \"x\"\"y\" from t"},
        RewriteCase{"StandardQuotesKept", "SELECT \"Mixed\" FROM T", "select \"Mixed\" from t"},
        RewriteCase{"DateEscape", "VALUES ({d'2014-04-11'})", "values ('2014-04-11')"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PostgresRewriteNowTest, NowIsTheClientsLocalTimeAsText) {
    const RewrittenStatement result = RewriteStatement("INSERT INTO T(A) VALUES (NOW())", SqlDialect::Postgres);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(
        std::regex_match(result.sql, std::regex(R"(insert into t\(a\) values \('\d{4}-\d\d-\d\d \d\d:\d\d:\d\d'\))")))
        << result.sql;
}

TEST(PostgresErrorTest, ServerStatesMapToTheProgramsStates) {
    EXPECT_EQ(MapPostgresError("23505", "duplicate key", false).sqlState, "23000");
    EXPECT_EQ(MapPostgresError("23502", "null value", false).sqlState, "23000");
    EXPECT_EQ(MapPostgresError("42P07", "relation exists", false).sqlState, "42S01");
    EXPECT_EQ(MapPostgresError("42P01", "relation does not exist", false).sqlState, "42S02");
    EXPECT_EQ(MapPostgresError("42601", "syntax error", false).sqlState, "42000");
    EXPECT_EQ(MapPostgresError("42703", "column does not exist", false).sqlState, "HY000");
    EXPECT_EQ(MapPostgresError("22001", "value too long", false).sqlState, "HY000");
    // The server's own code stays in the message, for whoever logs the failure.
    EXPECT_EQ(MapPostgresError("22001", "value too long", false).message, "value too long (SQLSTATE 22001)");
    EXPECT_EQ(MapPostgresError("42P01", "relation does not exist", false).message,
              "relation does not exist (SQLSTATE 42P01)");
    EXPECT_EQ(MapPostgresError("", "could not extend file: No space left on device", false).message,
              "could not extend file: No space left on device (SQLSTATE 53100)");
}

// Bytes that are not part of well-formed UTF-8 become the characters of their numbers; UTF-8
// stays as it is.
TEST(PostgresTextTest, BytesThatAreNotUtf8BecomeTheCharactersOfTheirNumbers) {
    EXPECT_EQ(ValidUtf8("2026 'a\\b'"), "2026 'a\\b'");
    EXPECT_EQ(ValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(ValidUtf8("20\xFF"), "20\xC3\xBF");
    EXPECT_EQ(ValidUtf8("20\xC3"), "20\xC3\x83");                      // cut sequence
    EXPECT_EQ(ValidUtf8("\xC3("), "\xC3\x83(");                        // lead byte without its follower
    EXPECT_EQ(ValidUtf8("\xC0\xAF"), "\xC3\x80\xC2\xAF");              // overlong "/"
    EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");  // a surrogate
}

TEST(PostgresErrorTest, LostConnectionIsCommunicationLinkFailure) {
    EXPECT_EQ(MapPostgresError("", "server closed the connection unexpectedly\n", true).sqlState, "08S01");
    EXPECT_EQ(MapPostgresError("57P01", "terminating connection", false).sqlState, "08S01");
    EXPECT_EQ(MapPostgresError("08006", "connection failure", false).sqlState, "08S01");
    const MappedError lost = MapPostgresError("", "server closed the connection unexpectedly\n\tThis probably", true);
    EXPECT_NE(lost.message.find("server closed the connection unexpectedly;"), std::string::npos) << lost.message;
    EXPECT_NE(lost.message.find("reconnects"), std::string::npos);
}

TEST(PostgresErrorTest, TextAgainstNumberSaysWhatToDo) {
    const MappedError error = MapPostgresError("42883", "operator does not exist: character varying >= integer", false);
    EXPECT_EQ(error.sqlState, "42000");
    EXPECT_NE(error.message.find("character varying >= integer"), std::string::npos);
    EXPECT_NE(error.message.find("quote the number"), std::string::npos);
}

TEST(PostgresRowsTest, DoublesPrintAsSqlitePrintsThem) {
    EXPECT_EQ(FormatLikeSqlite(1.0), "1.0");
    EXPECT_EQ(FormatLikeSqlite(12.3), "12.3");
    EXPECT_EQ(FormatLikeSqlite(-0.5), "-0.5");
    EXPECT_EQ(FormatLikeSqlite(1234567.89), "1234567.89");
    EXPECT_EQ(FormatLikeSqlite(0.1 + 0.2), "0.3");
    EXPECT_EQ(FormatLikeSqlite(1e20), "1.0e+20");
    EXPECT_EQ(FormatLikeSqlite(2.5e-7), "2.5e-07");
}

}  // namespace
