// The program's own statement texts, taken from the program, sent unchanged, and the results its
// storage relies on.
#include "tests/storage/sql/SqlLayerFixture.h"

#include "storage/HistoryBrowser.h"
#include "storage/Schema.h"
#include "storage/StatementTexts.h"
#include "storage/sql/SQLInsert.h"
#include "storage/sql/SQLUpdate.h"
#include "tests/support/CalendarTime.h"

#include <cstdio>
#include <tuple>

namespace {

constexpr const char* kLtime = "2014-04-11 12:30:00";

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[1024];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::time_t Day(int year, int month, int day) {
    std::tm local = Calendar(year, month, day, 12, 0, 0);
    return std::mktime(&local);
}

class StatementFormsFixture : public SqlLayerTest {
protected:
    void SetUp() override {
        SqlLayerTest::SetUp();
        ASSERT_TRUE(Exec(RtuTableCreation()));
        ASSERT_TRUE(Exec(kFullRcdsCreation));
    }

    bool CreateChannel(const char* uid, const char* name, int number, ChannelValueType valueType) {
        return CreateChannelTable(db, uid, name, number, valueType);
    }

    static std::string Table(int uid, const char* name, int number) {
        return ChannelTableName(std::to_string(uid), name, number);
    }

    bool WriteInt(int uid, const char* name, int number, int rid, int value, const char* rtime, int state) {
        return Exec(Format(kChannelInsertFormat, Table(uid, name, number).c_str(), rid, std::to_string(value).c_str(),
                           kLtime, rtime, state));
    }

    bool WriteFloat(int uid, const char* name, int number, int rid, double value, const char* rtime) {
        return Exec(Format(kChannelInsertFormat, Table(uid, name, number).c_str(), rid, Format("%.2f", value).c_str(),
                           kLtime, rtime, 0));
    }

    bool WriteFull(int rid, int uid, const char* name, int number, float value, int state, const char* rtime) {
        return Exec(Format(kFullRcdsInsertFormat, rid, uid, name, number, value, state, "", rtime, kLtime));
    }

    bool AddRtu(const std::string& uid, const std::string& model) {
        CSQLInsert insert(kRtuTable);
        insert.AddField("UID", uid, kValueText);
        insert.AddField("RDATA1", "Pump " + uid, kValueText);
        insert.AddField("RDATA7", model, kValueText);
        return Exec(insert.BuildSQL());
    }

    // RIDs of the rows a history query selects.
    std::vector<std::string> Selected(const std::string& table, const HistoryFilter& filter) {
        const std::optional<std::string> query = ComposeHistoryQuery(table, filter);
        EXPECT_TRUE(query.has_value() && !query->empty());
        return query ? Column(*query) : std::vector<std::string>{};
    }
};

using StatementFormsTest = OnEachEngine<StatementFormsFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, StatementFormsTest, EachEngine(), EngineName);

TEST_P(StatementFormsTest, EveryChannelTableFormIsCreated) {
    EXPECT_TRUE(CreateChannel("12", "DIN", 0, kChannelByte));
    EXPECT_TRUE(CreateChannel("12", "BATT", -1, kChannelByte));
    EXPECT_TRUE(CreateChannel("12", "ITEMP", -1, kChannelFloat));
    EXPECT_TRUE(CreateChannel("12", "ECOUNTER_REPORT", 7, kChannelFloat));
    EXPECT_TRUE(CreateChannel("12", "MBUSREG", 63, kChannelFloat));
    EXPECT_TRUE(CreateChannel("12", "RALARMS", -1, kChannelText));
    EXPECT_TRUE(CreateChannel("A7", "AIN", 0, kChannelFloat));
    EXPECT_TRUE(CreateChannel("12", "SENSOR", 1, kChannelInt));
    EXPECT_EQ(Query("SELECT * FROM 12_MBUSREG63"), Rows{});
}

TEST_P(StatementFormsTest, ExistingTablesAreRefused) {
    EXPECT_EQ(ErrorOf(RtuTableCreation()).sqlState, "42S01");
    EXPECT_EQ(ErrorOf(kFullRcdsCreation).sqlState, "42S01");
    ASSERT_TRUE(CreateChannel("12", "DIN", 3, kChannelByte));
    EXPECT_THROW(CreateChannel("12", "DIN", 3, kChannelByte), CSQLException);
}

TEST_P(StatementFormsTest, DigitalReadingIsStoredInItsChannelAndInFullRcds) {
    ASSERT_TRUE(CreateChannel("12", "DIN", 3, kChannelByte));
    EXPECT_TRUE(WriteInt(12, "DIN", 3, 1000, 1, "2014-04-11 09:05:07", 1));
    EXPECT_TRUE(WriteFull(1001, 12, "DIN", 3, 1.0f, 1, "2014-04-11 09:05:07"));
    EXPECT_EQ(Query("SELECT * FROM 12_DIN3"), (Rows{{"1000", "1", "2014-04-11 09:05:07", kLtime, "1"}}));
    EXPECT_EQ(Query("SELECT RID, UID, RDATACH, RVALUE, RSTATE, RGPS, RDATA1 FROM FULLRCDS"),
              (Rows{{"1001", "12", "DIN3", "1.00", "1", "", ""}}));
}

TEST_P(StatementFormsTest, ChannelWithoutNumberIsWrittenWithMinusOneInFullRcds) {
    ASSERT_TRUE(CreateChannel("12", "BATT", -1, kChannelByte));
    EXPECT_TRUE(WriteInt(12, "BATT", -1, -5, 3, "t", 0));
    EXPECT_TRUE(WriteFull(-6, 12, "BATT", -1, 3.0f, 0, "t"));
    EXPECT_EQ(Query("SELECT RID, RVALUE FROM 12_BATT"), (Rows{{"-5", "3"}}));
    EXPECT_EQ(Column("SELECT RDATACH FROM FULLRCDS"), std::vector<std::string>{"BATT-1"});
}

TEST_P(StatementFormsTest, DuplicateRidIsRefusedWithIntegrityState) {
    ASSERT_TRUE(CreateChannel("12", "AIN", 3, kChannelFloat));
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

TEST_P(StatementFormsTest, ReadingForMissingChannelTableIsRefused) {
    try {
        WriteInt(99, "DIN", 0, 1, 1, "t", 0);
        FAIL() << "no error";
    } catch (const CSQLException& error) {
        EXPECT_EQ(error.sqlState, "42S02");
    }
}

TEST_P(StatementFormsTest, RegistryReadsBackInTextOrderOfUid) {
    for (const char* uid : {"7", "12", "A7", "100"}) ASSERT_TRUE(AddRtu(uid, "403"));
    EXPECT_EQ(Column(Format(kRtuListFormat, kRtuTable)), (std::vector<std::string>{"100", "12", "7", "A7"}));
    EXPECT_EQ(Query(Format(kRtuListFormat, kRtuTable)).at(0).size(), 13U);
}

TEST_P(StatementFormsTest, RegistryEditChangesOnlyItsRow) {
    ASSERT_TRUE(AddRtu("12", "403"));
    ASSERT_TRUE(AddRtu("13", "403"));
    CSQLUpdate update(kRtuTable);
    update.AddField("RDATA1", "Tank's pump", kValueText);
    update.AddField("RDATA7", "402", kValueText);
    EXPECT_TRUE(Exec(Format(kRtuEditFormat, update.BuildSQL().c_str(), "12")));
    EXPECT_EQ(Query("SELECT UID, RDATA1, RDATA7 FROM RTU_TAB ORDER BY UID"),
              (Rows{{"12", "Tank's pump", "402"}, {"13", "Pump 13", "403"}}));
    EXPECT_FALSE(Exec(Format(kRtuEditFormat, update.BuildSQL().c_str(), "99")));
}

TEST_P(StatementFormsTest, RegistryDeleteWithAsteriskRemovesTheRow) {
    ASSERT_TRUE(AddRtu("12", "403"));
    EXPECT_TRUE(Exec(Format(kRtuDeleteFormat, kRtuTable, "12")));
    EXPECT_FALSE(Exec(Format(kRtuDeleteFormat, kRtuTable, "12")));
    EXPECT_EQ(Count("RTU_TAB"), 0);
}

TEST_P(StatementFormsTest, DuplicateUnitIdIsRefused) {
    ASSERT_TRUE(AddRtu("42", "403"));
    EXPECT_THROW(AddRtu("42", "402"), CSQLException);
}

TEST_P(StatementFormsTest, TimeRangeComparesRtimeAsText) {
    ASSERT_TRUE(CreateChannel("12", "AIN", 3, kChannelFloat));
    int rid = 1;
    for (const char* rtime :
         {"2014-04-10 23:59:59", "2014-04-11 00:00:00", "2014-04-11 23:59:59", "2014-04-12 00:00:00"})
        ASSERT_TRUE(WriteFloat(12, "AIN", 3, rid++, 1.0, rtime));
    HistoryFilter oneDay;
    oneDay.useTimeRange = true;
    oneDay.fromDate = oneDay.toDate = Day(2014, 4, 11);
    EXPECT_EQ(Selected("12_AIN3", oneDay).size(), 2U);
    EXPECT_EQ(Column("SELECT RTIME FROM 12_AIN3 WHERE RTIME >= '2014-04-11 00:00:00' AND "
                     "RTIME <= '2014-04-11 24:60:60'"),
              (std::vector<std::string>{"2014-04-11 00:00:00", "2014-04-11 23:59:59"}));
}

// The history query as the page composes it, with a value condition.
TEST_P(StatementFormsTest, ValueConditionComparesRvalueAsNumber) {
    ASSERT_TRUE(CreateChannel("12", "AIN", 3, kChannelFloat));
    int rid = 1;
    for (double value : {9.5, 10.25, 100.0}) ASSERT_TRUE(WriteFloat(12, "AIN", 3, rid++, value, "2014-04-11 09:00:00"));
    auto query = [this](int compare, const char* value) {
        HistoryFilter filter;
        filter.valueCompare = compare;
        filter.valueText = value;
        return Selected("12_AIN3", filter);
    };
    EXPECT_EQ(query(0, "10"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(query(1, "10.25"), (std::vector<std::string>{"2"}));
    EXPECT_EQ(query(2, "5"), std::vector<std::string>{});
    HistoryFilter both;
    both.useTimeRange = true;
    both.fromDate = both.toDate = Day(2014, 4, 11);
    both.valueCompare = 2;
    both.valueText = "10";
    EXPECT_EQ(Selected("12_AIN3", both), std::vector<std::string>{"1"});
}

TEST_P(StatementFormsTest, ChannelLoadFormsReadEveryRowInCreationColumnOrder) {
    ASSERT_TRUE(CreateChannel("12", "ECOUNTER", 1, kChannelFloat));
    ASSERT_TRUE(CreateChannel("12", "SIGNAL", -1, kChannelByte));
    ASSERT_TRUE(WriteFloat(12, "ECOUNTER", 1, 5, 1234567.891, "t"));
    ASSERT_TRUE(WriteInt(12, "SIGNAL", -1, 6, 27, "u", 0));
    EXPECT_EQ(Query("SELECT * FROM " + Table(12, "ECOUNTER", 1)), (Rows{{"5", "1234567.89", "t", kLtime, "0"}}));
    EXPECT_EQ(Query("SELECT * FROM " + Table(12, "SIGNAL", -1)), (Rows{{"6", "27", "u", kLtime, "0"}}));
}

TEST_P(StatementFormsTest, HistoryDeletionsByRidAndWholeTable) {
    ASSERT_TRUE(CreateChannel("12", "AIN", 3, kChannelFloat));
    for (int rid = 1; rid <= 3; ++rid) ASSERT_TRUE(WriteFloat(12, "AIN", 3, rid, 1.0, "t"));
    EXPECT_TRUE(Exec(Format(kHistoryDeleteRowFormat, "12_AIN3", "2")));
    EXPECT_FALSE(Exec(Format(kHistoryDeleteRowFormat, "12_AIN3", "2")));
    EXPECT_EQ(Column("SELECT RID FROM 12_AIN3"), (std::vector<std::string>{"1", "3"}));
    EXPECT_TRUE(Exec(Format(kHistoryDeleteAllFormat, "12_AIN3")));
    EXPECT_FALSE(Exec(Format(kHistoryDeleteAllFormat, "12_AIN3")));
}

TEST_P(StatementFormsTest, QuoteInTimeTextIsStoredIntact) {
    ASSERT_TRUE(CreateChannel("12", "RMESSAGES", -1, kChannelText));
    ASSERT_TRUE(
        Exec("INSERT INTO 12_RMESSAGES(RID, RVALUE, LTIME, RTIME, RTYPE) VALUES (1, 'it''s; DROP', '', "
             "'a\"b', 0)"));
    EXPECT_EQ(Query("SELECT RVALUE, RTIME FROM 12_RMESSAGES"), (Rows{{"it's; DROP", "a\"b"}}));
}

// RVALUE holds BYTE, FLOAT or INT by channel; each compares with a bare number as a number
// (as text "100" would sort before "9").
class RvalueTypeTest : public StatementFormsFixture,
                       public ::testing::WithParamInterface<std::tuple<TestEngine, ChannelValueType>> {
protected:
    TestEngine Engine() const override { return std::get<0>(GetParam()); }
};

TEST_P(RvalueTypeTest, BareNumberConditionIsNumeric) {
    ASSERT_TRUE(CreateChannel("12", "DIN", 0, std::get<1>(GetParam())));
    int rid = 1;
    for (int value : {9, 10, 100}) ASSERT_TRUE(WriteInt(12, "DIN", 0, rid++, value, "t", 0));
    EXPECT_EQ(Column("SELECT RID FROM 12_DIN0 WHERE RVALUE >= 10"), (std::vector<std::string>{"2", "3"}));
    EXPECT_EQ(Column("SELECT RID FROM 12_DIN0 WHERE RVALUE <= 9"), (std::vector<std::string>{"1"}));
}

std::string ValueTypeLabel(const std::tuple<TestEngine, ChannelValueType>& param) {
    static const char* const kTypeNames[] = {"BYTE", "FLOAT", "TEXT", "INT"};
    return std::string(kTypeNames[std::get<1>(param)]) + "_" + EngineLabel(std::get<0>(param));
}

INSTANTIATE_TEST_SUITE_P(ValueTypes, RvalueTypeTest,
                         ::testing::Combine(EachEngine(), ::testing::Values(kChannelByte, kChannelFloat, kChannelInt)),
                         [](const auto& info) { return ValueTypeLabel(info.param); });

}  // namespace
