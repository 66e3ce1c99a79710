#include "tests/storage/StorageFixture.h"

#include "core/RtuTable.h"
#include "storage/OpenDatabase.h"
#include "storage/RtuRegistry.h"
#include "storage/Schema.h"

namespace {

// The rows of the input dialog, as typed.
class InputRows final : public IRtuInputRows {
public:
    InputRows(std::initializer_list<std::string> texts) : rows(texts) {}
    int RowCount() const override { return static_cast<int>(rows.size()); }
    std::string RowText(int row) const override { return rows.at(static_cast<std::size_t>(row)); }

    std::vector<std::string> rows;
};

const ShownBox kDuplicateNotice{"CSQLException exception when write database!", "", MessageIcon::None,
                                MessageButtons::Ok};

class RtuRegistryFixture : public StorageTest {
protected:
    void SetUp() override {
        StorageTest::SetUp();
        OpenDatabase(db, box);
        box.shown.clear();
    }

    int TablesOf(const std::string& uid) {
        const std::vector<std::string> tables = Tables();
        return static_cast<int>(std::count_if(tables.begin(), tables.end(),
                                              [&](const std::string& name) { return name.rfind(uid + "_", 0) == 0; }));
    }

    std::vector<std::string> Uids() { return Column("SELECT UID FROM RTU_TAB ORDER BY UID"); }
};

std::vector<std::string> ExpectedTablesOfUnit7() {
    std::vector<std::string> names;
    for (int n = 0; n < 16; ++n) {
        names.push_back("7_DIN" + std::to_string(n));
        names.push_back("7_DOUT" + std::to_string(n));
    }
    for (const char* name : {"7_BATT", "7_SIGNAL", "7_ITEMP", "7_IHUMI"}) names.push_back(name);
    for (int n = 0; n < 8; ++n)
        for (const char* name : {"AIN", "ETEMP", "EHUMI", "GRYCODE", "SENSOR", "ECOUNTER", "ECOUNTER_REPORT"})
            names.push_back(std::string("7_") + name + std::to_string(n));
    for (int n = 0; n < 64; ++n) names.push_back("7_MBUSREG" + std::to_string(n));
    names.push_back("7_RMESSAGES");
    names.push_back("7_RALARMS");
    return names;
}

using RtuRegistryTest = OnEachEngine<RtuRegistryFixture>;
INSTANTIATE_TEST_SUITE_P(Engines, RtuRegistryTest, EachEngine(), EngineName);

TEST_P(RtuRegistryTest, AddingUnit7CreatesThe158ChannelTablesInOrder) {
    ASSERT_TRUE(AddRtu(db, InputRows{"7"}, box));

    std::vector<std::string> tables = Tables();
    tables.erase(tables.begin(), tables.begin() + 3);  // RTU_TAB, FULLRCDS, LTIME_ZONE
    EXPECT_EQ(tables.size(), 158u);
    EXPECT_EQ(tables, ExpectedTablesOfUnit7());
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(RtuRegistryFixture, ChannelTablesHaveTheirValueTypes) {
    CreateChannelTables(db, "7");
    const auto creation = [this](const std::string& table) {
        return Column("SELECT sql FROM sqlite_master WHERE name='" + table + "'").at(0);
    };
    EXPECT_NE(creation("7_DIN0").find("RVALUE BYTE, RTIME TEXT(32), LTIME TEXT(32), RTYPE INT)"), std::string::npos);
    EXPECT_NE(creation("7_AIN3").find("RVALUE FLOAT,"), std::string::npos);
    EXPECT_NE(creation("7_RALARMS").find("RVALUE TEXT(128), RTIME TEXT(32), LTIME TEXT(32), RTYPE INT )"),
              std::string::npos);
}

TEST_P(RtuRegistryTest, CreateChannelTableRefusesIncompleteInput) {
    EXPECT_FALSE(CreateChannelTable(db, "", "AIN", 0, kChannelFloat));
    EXPECT_FALSE(CreateChannelTable(db, "7", "", 0, kChannelFloat));
    EXPECT_FALSE(CreateChannelTable(db, "7", "AIN", 0, 4));
    EXPECT_TRUE(CreateChannelTable(db, "7", "AIN", 0, kChannelInt));
    EXPECT_EQ(TablesOf("7"), 1);
}

TEST_P(RtuRegistryTest, DigitOnlyUnitIdIsNormalised) {
    ASSERT_TRUE(AddRtu(db, InputRows{"0042", "Pump station", "North"}, box));

    EXPECT_EQ(Query("SELECT UID, RDATA1, RDATA2 FROM RTU_TAB", 3), (Rows{{"42", "Pump station", "North"}}));
    EXPECT_TRUE(HasTable("42_DIN0"));
    EXPECT_TRUE(HasTable("42_RALARMS"));
}

TEST_P(RtuRegistryTest, AUnitIdThatIsNotOneToEightDigitsIsRefused) {
    EXPECT_FALSE(AddRtu(db, InputRows{"A7"}, box));
    EXPECT_FALSE(AddRtu(db, InputRows{"123456789"}, box));
    EXPECT_EQ(box.shown, std::vector<ShownBox>(
                             2, {"Unit Id must be 1 to 8 decimal digits!", "", MessageIcon::Stop, MessageButtons::Ok}));
    EXPECT_TRUE(Uids().empty());
    EXPECT_EQ(Tables().size(), 3u);  // RTU_TAB, FULLRCDS and LTIME_ZONE
    ASSERT_TRUE(AddRtu(db, InputRows{"\t 7 "}, box));
    EXPECT_EQ(Uids(), std::vector<std::string>{"7"});
}

TEST_P(RtuRegistryTest, EmptyUnitIdIsRefusedWithItsBox) {
    EXPECT_FALSE(AddRtu(db, InputRows{"", "Pump"}, box));
    EXPECT_EQ(box.shown,
              (std::vector<ShownBox>{{"Unit Id can't be null!", "", MessageIcon::Stop, MessageButtons::Ok}}));
    EXPECT_TRUE(Uids().empty());
}

TEST_P(RtuRegistryTest, ClosedDatabaseIsRefusedWithItsBox) {
    CSQLDatabase closed;
    EXPECT_FALSE(AddRtu(closed, InputRows{"12"}, box));
    EXPECT_EQ(box.shown,
              (std::vector<ShownBox>{{"database is closed when write", "", MessageIcon::None, MessageButtons::Ok}}));
}

TEST_P(RtuRegistryTest, DuplicateUnitIdShowsTheDriverMessageThenTheNotice) {
    ASSERT_TRUE(AddRtu(db, InputRows{"12", "first"}, box));
    EXPECT_FALSE(AddRtu(db, InputRows{"012", "second"}, box));

    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_FALSE(box.shown[0].text.empty());
    EXPECT_EQ(box.shown[1], kDuplicateNotice);
    EXPECT_EQ(Column("SELECT RDATA1 FROM RTU_TAB"), std::vector<std::string>{"first"});
}

// The first creation meets the table left behind and ends the creation; the row is stored all the same.
TEST_P(RtuRegistryTest, RtuAddedAgainIsStoredAndItsFirstTableReportsItsError) {
    ASSERT_TRUE(AddRtu(db, InputRows{"12"}, box));
    Exec("DROP TABLE 12_RALARMS");
    box.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(DeleteRtu(db, InputRows{"12"}, box));
    box.shown.clear();

    EXPECT_TRUE(AddRtu(db, InputRows{"12", "again"}, box));
    ASSERT_EQ(box.shown.size(), 2u);
    EXPECT_FALSE(box.shown[0].text.empty());
    EXPECT_EQ(box.shown[1], kDuplicateNotice);
    EXPECT_EQ(Column("SELECT RDATA1 FROM RTU_TAB"), std::vector<std::string>{"again"});
    EXPECT_EQ(TablesOf("12"), 157);
}

TEST_P(RtuRegistryTest, QuoteInAValueIsStoredIntact) {
    ASSERT_TRUE(AddRtu(db, InputRows{"12", "O'Brien's well"}, box));
    EXPECT_EQ(Column("SELECT RDATA1 FROM RTU_TAB"), std::vector<std::string>{"O'Brien's well"});
}

TEST_P(RtuRegistryTest, EditChangesTheFieldsOfTheRow) {
    ASSERT_TRUE(AddRtu(db, InputRows{"12", "old", "x"}, box));
    EXPECT_TRUE(EditRtu(db, InputRows{"12", "new", "it's"}));
    EXPECT_EQ(Query("SELECT RDATA1, RDATA2 FROM RTU_TAB", 2), (Rows{{"new", "it's"}}));
}

TEST_P(RtuRegistryTest, EditOfAMissingRowFails) {
    EXPECT_FALSE(EditRtu(db, InputRows{"99", "new"}));
    EXPECT_TRUE(Uids().empty());
}

TEST_P(RtuRegistryTest, QuoteInTheEditedUnitIdChangesNoOtherRow) {
    ASSERT_TRUE(AddRtu(db, InputRows{"12", "old"}, box));
    EXPECT_FALSE(EditRtu(db, InputRows{"x' OR '1'='1", "new"}));
    EXPECT_EQ(Column("SELECT RDATA1 FROM RTU_TAB"), std::vector<std::string>{"old"});
}

TEST_P(RtuRegistryTest, EditFailsOnAClosedDatabaseOrAnOverlongStatement) {
    CSQLDatabase closed;
    EXPECT_FALSE(EditRtu(closed, InputRows{"12", "new"}));
    EXPECT_FALSE(EditRtu(db, InputRows{"12", std::string(600, 'x')}));
}

TEST_P(RtuRegistryTest, DeleteAnsweredNoChangesNothing) {
    ASSERT_TRUE(AddRtu(db, InputRows{"12"}, box));
    box.answers = {MessageAnswer::No};

    EXPECT_FALSE(DeleteRtu(db, InputRows{"12"}, box));
    EXPECT_EQ(box.shown, (std::vector<ShownBox>{{"DELETE_RTU", "", MessageIcon::Question, MessageButtons::YesNo}}));
    EXPECT_EQ(Uids(), std::vector<std::string>{"12"});
}

TEST_P(RtuRegistryTest, DeleteAnsweredYesRemovesOnlyTheRow) {
    ASSERT_TRUE(AddRtu(db, InputRows{"12"}, box));
    ASSERT_TRUE(AddRtu(db, InputRows{"13"}, box));
    box.answers = {MessageAnswer::Yes};

    EXPECT_TRUE(DeleteRtu(db, InputRows{"12"}, box));
    EXPECT_EQ(Uids(), std::vector<std::string>{"13"});
    EXPECT_EQ(TablesOf("12"), 158);
}

TEST_P(RtuRegistryTest, DeleteWithoutAUnitIdAsksNothing) {
    EXPECT_FALSE(DeleteRtu(db, InputRows{""}, box));
    EXPECT_TRUE(box.shown.empty());
}

TEST_P(RtuRegistryTest, LoadFillsSlotsInUnitIdTextOrder) {
    RtuTable table;
    Exec("INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('7', '403')");
    Exec("INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('12', '402')");
    Exec("INSERT INTO RTU_TAB(UID) VALUES ('A7')");

    const std::vector<RegistryRow> rows = LoadRegistry(db, table);

    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0][0], "12");
    EXPECT_EQ(rows[0][7], "402");
    const auto uidAndModel = [&table](std::size_t slot) {
        return table.Slot(slot).Read(
            [](const RtuRecord& r) { return std::make_pair(std::string(r.uidText), r.model); });
    };
    EXPECT_EQ(uidAndModel(0), std::make_pair(std::string("12"), 402));
    EXPECT_EQ(uidAndModel(1), std::make_pair(std::string("7"), 403));
    EXPECT_EQ(uidAndModel(2), std::make_pair(std::string("A7"), 0));
    EXPECT_NE(table.FindRtu(7), nullptr);
}

// An RTU no longer registered loses its slot; one that stays keeps its slot and values.
TEST_P(RtuRegistryTest, LoadFreesTheSlotsOfRemovedRtus) {
    RtuTable table;
    Exec("INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('7', '403')");
    Exec("INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('8', '403')");
    LoadRegistry(db, table);
    table.FindRtu(8)->SetAin(0, 8.5);
    Exec("DELETE FROM RTU_TAB WHERE UID = '7'");

    LoadRegistry(db, table);

    EXPECT_EQ(table.FindRtu(7), nullptr);
    ASSERT_NE(table.FindRtu(8), nullptr);
    EXPECT_FLOAT_EQ(table.FindRtu(8)->Snapshot().ain[0], 8.5f);
}

TEST_P(RtuRegistryTest, LoadWithoutADatabaseReadsNothing) {
    RtuTable table;
    CSQLDatabase closed;
    EXPECT_TRUE(LoadRegistry(closed, table).empty());
}

}  // namespace
