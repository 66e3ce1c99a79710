#include "storage/sql/SQLInsert.h"
#include "storage/sql/SQLUpdate.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct LiteralCase {
    const char* name;
    const char* value;
    std::uint8_t valueType;
    const char* literal;
};

void PrintTo(const LiteralCase& c, std::ostream* out) { *out << c.name; }

class ValueLiteralTest : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(ValueLiteralTest, InsertAndUpdateWriteTheSameLiteral) {
    const LiteralCase& c = GetParam();
    CSQLInsert insert("T");
    insert.AddField("A", c.value, c.valueType);
    EXPECT_EQ(insert.BuildSQL(), std::string("INSERT INTO T( A ) VALUES( ") + c.literal + " )");
    CSQLUpdate update("T");
    update.AddField("A", c.value, c.valueType);
    EXPECT_EQ(update.BuildSQL(), std::string("update T set A=") + c.literal);
}

INSTANTIATE_TEST_SUITE_P(Literals, ValueLiteralTest,
                         ::testing::Values(LiteralCase{"QuoteDoubled", "O'Brien", kValueText, "'O''Brien'"},
                                           LiteralCase{"OnlyQuotes", "''", kValueText, "''''''"},
                                           LiteralCase{"EmptyIsNull", "", kValueText, "NULL"},
                                           LiteralCase{"LowerNull", "null", kValueText, "NULL"},
                                           LiteralCase{"MixedCaseNullAsNumber", "NuLl", kValueInteger, "NULL"},
                                           LiteralCase{"NowUpper", "NOW()", kValueText, "NOW()"},
                                           LiteralCase{"NowLower", "now()", kValueText, "now()"},
                                           LiteralCase{"DateEscape", "{d'2014-04-11'}", kValueText, "{d'2014-04-11'}"},
                                           LiteralCase{"FloatBare", "12.5", kValueFloat, "12.5"},
                                           LiteralCase{"IntegerBare", "12", kValueInteger, "12"},
                                           LiteralCase{"NumberBare", "-3", kValueNumber, "-3"},
                                           LiteralCase{"DigitsAsText", "12", kValueText, "'12'"},
                                           LiteralCase{"NullPrefixIsText", "nullable", kValueText, "'nullable'"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CSQLInsertTest, ColumnsAndValuesAreJoinedInOrderAndKeptInSql) {
    CSQLInsert insert("RTU_TAB");
    insert.AddField("UID", "12", kValueText);
    insert.AddField("RDATA1", "a'b", kValueText);
    const std::string expected = "INSERT INTO RTU_TAB( UID, RDATA1 ) VALUES( '12', 'a''b' )";
    EXPECT_EQ(insert.BuildSQL(), expected);
    EXPECT_EQ(insert.sql, expected);
}

TEST(CSQLInsertTest, QuotesStayWhenEscapingIsOff) {
    CSQLInsert insert("T");
    insert.escapeQuotes = false;
    insert.AddField("A", "it's", kValueText);
    EXPECT_EQ(insert.BuildSQL(), "INSERT INTO T( A ) VALUES( 'it's' )");
}

TEST(CSQLUpdateTest, ColumnWithEqualsSignGetsNoSecondOne) {
    CSQLUpdate update("RTU_TAB");
    update.AddField("RDATA1=", "x", kValueText);
    update.AddField("RDATA2", "y", kValueText);
    EXPECT_EQ(update.BuildSQL(), "update RTU_TAB set RDATA1='x', RDATA2='y'");
}

TEST(CSQLUpdateTest, WhereTextIsAppendedWhenSet) {
    CSQLUpdate update("T");
    update.AddField("A", "1", kValueInteger);
    update.where = "B=2";
    EXPECT_EQ(update.BuildSQL(), "update T set A=1 where B=2");
}

}  // namespace
