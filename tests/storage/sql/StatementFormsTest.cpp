// The program's own statement texts, sent unchanged, and the results its storage relies on.
#include "tests/storage/sql/SqlLayerFixture.h"

#include "storage/sql/SQLInsert.h"
#include "storage/sql/SQLUpdate.h"

#include <cstdio>
#include <tuple>

namespace {

constexpr const char* kCreateRtuTab =
    "CREATE TABLE %s(UID TEXT(32) PRIMARY KEY, RDATA1 TEXT(32), RDATA2 TEXT(32), RDATA3 TEXT(32), RDATA4 TEXT(32), "
    "RDATA5 TEXT(32), RDATA6 TEXT(32), RDATA7 TEXT(32), RDATA8 TEXT(32), RDATA9 TEXT(32), RDATA10 TEXT(32), "
    "RDATA11 TEXT(32), RDATA12 TEXT(32) )";
constexpr const char* kCreateFullRcds =
    "CREATE TABLE FULLRCDS(RID INT PRIMARY KEY, UID TEXT(32), RDATACH TEXT(32), RVALUE TEXT(32), RSTATE INT, "
    "RGPS TEXT(128), RTIME TEXT(32), LTIME TEXT(32), RDATA1 TEXT(32), RDATA2 TEXT(32), RDATA3 TEXT(32), "
    "RDATA4 TEXT(32), RDATA5 TEXT(32), RDATA6 TEXT(32), RDATA7 TEXT(32) )";
constexpr const char* kLtime = "2014-04-11 12:30:00";

template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char text[1024];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

class StatementFormsFixture : public SqlLayerTest {
protected:
    void SetUp() override
    {
        SqlLayerTest::SetUp();
        ASSERT_TRUE(Exec(Format(kCreateRtuTab, "RTU_TAB")));
        ASSERT_TRUE(Exec(kCreateFullRcds));
    }

    bool CreateChannel(const char* uid, const char* name, int number, const char* valueType)
    {
        if (number < 0)
            return Exec(Format("CREATE TABLE %s_%s(RID INT PRIMARY KEY, RVALUE %s, RTIME TEXT(32), LTIME TEXT(32), "
                               "RTYPE INT )", uid, name, valueType));
        return Exec(Format("CREATE TABLE %s_%s%d(RID INT PRIMARY KEY, RVALUE %s, RTIME TEXT(32), LTIME TEXT(32), "
                           "RTYPE INT)", uid, name, number, valueType));
    }

    bool WriteInt(int uid, const char* name, int number, int rid, int value, const char* rtime, int state)
    {
        if (number < 0)
            return Exec(Format("INSERT INTO %d_%s(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (%d, %d, '%s', '%s', %d)",
                               uid, name, rid, value, kLtime, rtime, state));
        return Exec(Format("INSERT INTO %d_%s%d(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (%d, %d, '%s', '%s', %d)",
                           uid, name, number, rid, value, kLtime, rtime, state));
    }

    bool WriteFloat(int uid, const char* name, int number, int rid, double value, const char* rtime)
    {
        return Exec(Format("INSERT INTO %d_%s%d(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (%d, %.2f, '%s', '%s', %d)",
                           uid, name, number, rid, value, kLtime, rtime, 0));
    }

    bool WriteFull(int rid, int uid, const char* name, int number, float value, int state, const char* rtime)
    {
        return Exec(Format("INSERT INTO FULLRCDS(RID, UID, RDATACH, RVALUE, RSTATE, RGPS, RTIME, LTIME) VALUES "
                           "(%d, '%d', '%s%d', '%.2f', %d, '%s', '%s', '%s')",
                           rid, uid, name, number, value, state, "", rtime, kLtime));
    }

    bool AddRtu(const std::string& uid, const std::string& model)
    {
        CSQLInsert insert("RTU_TAB");
        insert.AddField("UID", uid, kValueText);
        insert.AddField("RDATA1", "Pump " + uid, kValueText);
        insert.AddField("RDATA7", model, kValueText);
        return Exec(insert.BuildSQL());
    }
};

using StatementFormsTest = OnEachEngine<StatementFormsFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, StatementFormsTest, EachEngine(), EngineName);

TEST_P(StatementFormsTest, EveryChannelTableFormIsCreated)
{
    EXPECT_TRUE(CreateChannel("12", "DIN", 0, "BYTE"));
    EXPECT_TRUE(CreateChannel("12", "BATT", -1, "BYTE"));
    EXPECT_TRUE(CreateChannel("12", "ITEMP", -1, "FLOAT"));
    EXPECT_TRUE(CreateChannel("12", "ECOUNTER_REPORT", 7, "FLOAT"));
    EXPECT_TRUE(CreateChannel("12", "MBUSREG", 63, "FLOAT"));
    EXPECT_TRUE(CreateChannel("12", "RALARMS", -1, "TEXT(128)"));
    EXPECT_TRUE(CreateChannel("A7", "AIN", 0, "FLOAT"));
    EXPECT_TRUE(CreateChannel("12", "SENSOR", 1, "INT"));
    EXPECT_EQ(Query("SELECT * FROM 12_MBUSREG63"), Rows{});
}

TEST_P(StatementFormsTest, ExistingTablesAreRefused)
{
    EXPECT_EQ(ErrorOf(Format(kCreateRtuTab, "RTU_TAB")).sqlState, "42S01");
    EXPECT_EQ(ErrorOf(kCreateFullRcds).sqlState, "42S01");
    ASSERT_TRUE(CreateChannel("12", "DIN", 3, "BYTE"));
    EXPECT_THROW(CreateChannel("12", "DIN", 3, "BYTE"), CSQLException);
}

TEST_P(StatementFormsTest, DigitalReadingIsStoredInItsChannelAndInFullRcds)
{
    ASSERT_TRUE(CreateChannel("12", "DIN", 3, "BYTE"));
    EXPECT_TRUE(WriteInt(12, "DIN", 3, 1000, 1, "2014-04-11 09:05:07", 1));
    EXPECT_TRUE(WriteFull(1001, 12, "DIN", 3, 1.0f, 1, "2014-04-11 09:05:07"));
    EXPECT_EQ(Query("SELECT * FROM 12_DIN3"), (Rows{{"1000", "1", "2014-04-11 09:05:07", kLtime, "1"}}));
    EXPECT_EQ(Query("SELECT RID, UID, RDATACH, RVALUE, RSTATE, RGPS, RDATA1 FROM FULLRCDS"),
              (Rows{{"1001", "12", "DIN3", "1.00", "1", "", ""}}));
}

TEST_P(StatementFormsTest, ChannelWithoutNumberIsWrittenWithMinusOneInFullRcds)
{
    ASSERT_TRUE(CreateChannel("12", "BATT", -1, "BYTE"));
    EXPECT_TRUE(WriteInt(12, "BATT", -1, -5, 3, "t", 0));
    EXPECT_TRUE(WriteFull(-6, 12, "BATT", -1, 3.0f, 0, "t"));
    EXPECT_EQ(Query("SELECT RID, RVALUE FROM 12_BATT"), (Rows{{"-5", "3"}}));
    EXPECT_EQ(Column("SELECT RDATACH FROM FULLRCDS"), std::vector<std::string>{"BATT-1"});
}

TEST_P(StatementFormsTest, DuplicateRidIsRefusedWithIntegrityState)
{
    ASSERT_TRUE(CreateChannel("12", "AIN", 3, "FLOAT"));
    EXPECT_TRUE(WriteFloat(12, "AIN", 3, 42, 1.5, "t"));
    try {
        WriteFloat(12, "AIN", 3, 42, 2.5, "t");
        FAIL() << "duplicate accepted";
    } catch (const CSQLException& error) {
        EXPECT_EQ(error.sqlState, "23000");
    }
    EXPECT_TRUE(WriteFull(42, 12, "AIN", 3, 1.5f, 0, "t"));
    EXPECT_THROW(WriteFull(42, 12, "AIN", 3, 1.5f, 0, "t"), CSQLException);
    EXPECT_EQ(Count("12_AIN3"), 1);
}

TEST_P(StatementFormsTest, ReadingForMissingChannelTableIsRefused)
{
    try {
        WriteInt(99, "DIN", 0, 1, 1, "t", 0);
        FAIL() << "no error";
    } catch (const CSQLException& error) {
        EXPECT_EQ(error.sqlState, "42S02");
    }
}

TEST_P(StatementFormsTest, RegistryReadsBackInTextOrderOfUid)
{
    for (const char* uid : {"7", "12", "A7", "100"}) ASSERT_TRUE(AddRtu(uid, "403"));
    EXPECT_EQ(Column(Format("SELECT * FROM %s ORDER BY UID", "RTU_TAB")),
              (std::vector<std::string>{"100", "12", "7", "A7"}));
    EXPECT_EQ(Query("SELECT * FROM RTU_TAB ORDER BY UID").at(0).size(), 13U);
}

TEST_P(StatementFormsTest, RegistryEditChangesOnlyItsRow)
{
    ASSERT_TRUE(AddRtu("12", "403"));
    ASSERT_TRUE(AddRtu("13", "403"));
    CSQLUpdate update("RTU_TAB");
    update.AddField("RDATA1", "Tank's pump", kValueText);
    update.AddField("RDATA7", "402", kValueText);
    EXPECT_TRUE(Exec(Format("%s WHERE UID='%s'", update.BuildSQL().c_str(), "12")));
    EXPECT_EQ(Query("SELECT UID, RDATA1, RDATA7 FROM RTU_TAB ORDER BY UID"),
              (Rows{{"12", "Tank's pump", "402"}, {"13", "Pump 13", "403"}}));
    EXPECT_FALSE(Exec(Format("%s WHERE UID='%s'", update.BuildSQL().c_str(), "99")));
}

TEST_P(StatementFormsTest, RegistryDeleteWithAsteriskRemovesTheRow)
{
    ASSERT_TRUE(AddRtu("12", "403"));
    EXPECT_TRUE(Exec(Format("DELETE * FROM %s WHERE UID='%s' ", "RTU_TAB", "12")));
    EXPECT_FALSE(Exec(Format("DELETE * FROM %s WHERE UID='%s' ", "RTU_TAB", "12")));
    EXPECT_EQ(Count("RTU_TAB"), 0);
}

TEST_P(StatementFormsTest, DuplicateUnitIdIsRefused)
{
    ASSERT_TRUE(AddRtu("42", "403"));
    EXPECT_THROW(AddRtu("42", "402"), CSQLException);
}

TEST_P(StatementFormsTest, TimeRangeComparesRtimeAsText)
{
    ASSERT_TRUE(CreateChannel("12", "AIN", 3, "FLOAT"));
    int rid = 1;
    for (const char* rtime : {"2014-04-10 23:59:59", "2014-04-11 00:00:00", "2014-04-11 23:59:59",
                              "2014-04-12 00:00:00"})
        ASSERT_TRUE(WriteFloat(12, "AIN", 3, rid++, 1.0, rtime));
    const std::string where = Format("WHERE RTIME >= '%s' AND RTIME <= '%s'", "2014-04-11 00:00:00",
                                     "2014-04-11 24:60:60");
    EXPECT_EQ(Query(Format("SELECT * FROM %s %s", "12_AIN3", where.c_str())).size(), 2U);
    EXPECT_EQ(Column("SELECT RTIME FROM 12_AIN3 WHERE RTIME >= '2014-04-11 00:00:00' AND "
                     "RTIME <= '2014-04-11 24:60:60'"),
              (std::vector<std::string>{"2014-04-11 00:00:00", "2014-04-11 23:59:59"}));
}

// The history query as the page composes it: "SELECT * FROM %s %s" with a value condition.
TEST_P(StatementFormsTest, ValueConditionComparesRvalueAsNumber)
{
    ASSERT_TRUE(CreateChannel("12", "AIN", 3, "FLOAT"));
    int rid = 1;
    for (double value : {9.5, 10.25, 100.0}) ASSERT_TRUE(WriteFloat(12, "AIN", 3, rid++, value, "t"));
    auto query = [this](const char* compare, const char* value) {
        const std::string condition = Format(compare, value);
        const std::string where = Format("WHERE %s", condition.c_str());
        std::vector<std::string> rids;
        for (const auto& row : Query(Format("SELECT * FROM %s %s", "12_AIN3", where.c_str()))) rids.push_back(row[0]);
        return rids;
    };
    EXPECT_EQ(query("RVALUE >= %s", "10"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(query("RVALUE = %s", "10.25"), (std::vector<std::string>{"2"}));
    EXPECT_EQ(query("RVALUE <= %s", "5"), std::vector<std::string>{});
    const std::string both = Format("WHERE RTIME >= '%s' AND RTIME <= '%s' AND %s", "t", "t", "RVALUE <= 10");
    EXPECT_EQ(Query(Format("SELECT * FROM %s %s", "12_AIN3", both.c_str())).size(), 1U);
}

TEST_P(StatementFormsTest, ChannelLoadFormsReadEveryRowInCreationColumnOrder)
{
    ASSERT_TRUE(CreateChannel("12", "ECOUNTER", 1, "FLOAT"));
    ASSERT_TRUE(CreateChannel("12", "SIGNAL", -1, "BYTE"));
    ASSERT_TRUE(WriteFloat(12, "ECOUNTER", 1, 5, 1234567.891, "t"));
    ASSERT_TRUE(WriteInt(12, "SIGNAL", -1, 6, 27, "u", 0));
    EXPECT_EQ(Query(Format("SELECT * FROM %s_%s%d", "12", "ECOUNTER", 1)),
              (Rows{{"5", "1234567.89", "t", kLtime, "0"}}));
    EXPECT_EQ(Query(Format("SELECT * FROM %s_%s", "12", "SIGNAL")), (Rows{{"6", "27", "u", kLtime, "0"}}));
}

TEST_P(StatementFormsTest, HistoryDeletionsByRidAndWholeTable)
{
    ASSERT_TRUE(CreateChannel("12", "AIN", 3, "FLOAT"));
    for (int rid = 1; rid <= 3; ++rid) ASSERT_TRUE(WriteFloat(12, "AIN", 3, rid, 1.0, "t"));
    EXPECT_TRUE(Exec(Format("DELETE FROM %s WHERE RID=%s", "12_AIN3", "2")));
    EXPECT_FALSE(Exec(Format("DELETE FROM %s WHERE RID=%s", "12_AIN3", "2")));
    EXPECT_EQ(Column("SELECT RID FROM 12_AIN3"), (std::vector<std::string>{"1", "3"}));
    EXPECT_TRUE(Exec(Format("DELETE FROM %s", "12_AIN3")));
    EXPECT_FALSE(Exec(Format("DELETE FROM %s", "12_AIN3")));
}

TEST_P(StatementFormsTest, QuoteInTimeTextIsStoredIntact)
{
    ASSERT_TRUE(CreateChannel("12", "RMESSAGES", -1, "TEXT(128)"));
    ASSERT_TRUE(Exec("INSERT INTO 12_RMESSAGES(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (1, 'it''s; DROP', '', "
                     "'a\"b', 0)"));
    EXPECT_EQ(Query("SELECT RVALUE, RTIME FROM 12_RMESSAGES"), (Rows{{"it's; DROP", "a\"b"}}));
}

// RVALUE holds BYTE, FLOAT or INT by channel; each compares with a bare number as a number
// (as text "100" would sort before "9").
class RvalueTypeTest : public StatementFormsFixture,
                       public ::testing::WithParamInterface<std::tuple<TestEngine, const char*>> {
protected:
    TestEngine Engine() const override { return std::get<0>(GetParam()); }
};

TEST_P(RvalueTypeTest, BareNumberConditionIsNumeric)
{
    ASSERT_TRUE(CreateChannel("12", "DIN", 0, std::get<1>(GetParam())));
    int rid = 1;
    for (int value : {9, 10, 100}) ASSERT_TRUE(WriteInt(12, "DIN", 0, rid++, value, "t", 0));
    EXPECT_EQ(Column("SELECT RID FROM 12_DIN0 WHERE RVALUE >= 10"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(Column("SELECT RID FROM 12_DIN0 WHERE RVALUE <= 9"), (std::vector<std::string>{"1"}));
}

INSTANTIATE_TEST_SUITE_P(ValueTypes, RvalueTypeTest,
                         ::testing::Combine(EachEngine(), ::testing::Values("BYTE", "FLOAT", "INT")),
                         [](const auto& info) {
                             return std::string(std::get<1>(info.param)) + "_" + EngineLabel(std::get<0>(info.param));
                         });

}  // namespace
