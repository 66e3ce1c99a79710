#include <gtest/gtest.h>

#include "core/ModbusMode.h"
#include "platform/profile/ProfileSettings.h"
#include "tests/ui/UiFixture.h"
#include "ui/PageModbusRegs.h"
#include "ui/PageRtuState.h"

namespace uitest {
namespace {

struct PortCase {
    const char* name;
    const char* file;
    int port;
};

class PortSettingTest : public UiTest, public ::testing::WithParamInterface<PortCase> {};

TEST_P(PortSettingTest, ReadsPortByTheProfileAndDecimalRules) {
    directory.Write("data_rtu.ini", GetParam().file);
    EXPECT_EQ(ReadServerSettings().port, GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(
    IniRules, PortSettingTest,
    ::testing::Values(PortCase{"Plain", "[SYSCONFIG]\nPORT=5020\n", 5020},
                      PortCase{"LowerCaseNames", "[sysconfig]\nport=5020\n", 5020},
                      PortCase{"BlanksAroundKeyAndValue", "[SYSCONFIG]\n   PORT   =   5020   \n", 5020},
                      PortCase{"QuotedNumber", "[SYSCONFIG]\nPORT=\"5020\"\n", 5020},
                      PortCase{"LettersAfterDigits", "[SYSCONFIG]\nPORT=502abc\n", 502},
                      PortCase{"EmptyValue", "[SYSCONFIG]\nPORT=\n", 0},
                      PortCase{"KeyAbsent", "[SYSCONFIG]\nTCPTO=5\n", 0},
                      PortCase{"FirstKeyWins", "[SYSCONFIG]\nPORT=1\nPORT=2\n", 1},
                      PortCase{"FirstSectionWins", "[SYSCONFIG]\nTCPTO=1\n[SYSCONFIG]\nPORT=2\n", 0},
                      PortCase{"OtherSectionIgnored", "[RTU]\nPORT=7\n", 0}, PortCase{"FileMissing", "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UiTest, StartupSettingsReadAllThreeServerKeysAndTheLogin) {
    directory.Write("data_rtu.ini",
                    "[SYSCONFIG]\nPORT=5020\nTCPTO=30\nECHOSERVER=1\nMODBUS=Standard\n[RTU_DB]\nUSER=admin\n"
                    "PWD=\" secret \"\n");
    ServerSettings settings = ReadServerSettings();
    EXPECT_EQ(settings.port, 5020);
    EXPECT_EQ(settings.timeoutSeconds, 30);
    EXPECT_EQ(settings.echoServer, 1);
    EXPECT_EQ(ModbusModeFromText(settings.modbus), ModbusMode::kStandard);
    EXPECT_EQ(ModbusModeFromText("standard-ish"), ModbusMode::kClassic);
    DatabaseLogin login = ReadDatabaseLogin();
    EXPECT_EQ(login.user, "admin");
    EXPECT_EQ(login.password, " secret ");
}

TEST_F(UiTest, QuotedCaptionKeepsItsInnerBlanks) {
    directory.Write("data_rtu.ini", "[RTU]\nRDATACOUNTS=2\nRDATA1=\"  Unit ID  \"\nRDATA2=  Name  \n");
    EXPECT_EQ(ReadRtuColumnCaptions(), (std::vector<std::string>{"  Unit ID  ", "Name"}));
}

TEST_F(UiTest, ColumnCountAbove32IsHeldAt32) {
    directory.Write("data_rtu.ini", "[RTU]\nRDATACOUNTS=40\nRDATA32=last\nRDATA33=beyond\n");
    std::vector<std::string> captions = ReadRtuColumnCaptions();
    ASSERT_EQ(captions.size(), 32u);
    EXPECT_EQ(captions.back(), "last");
}

TEST_F(UiTest, MissingOrNegativeColumnCountGivesNoColumns) {
    directory.Write("data_rtu.ini", "[RTU]\nRDATA1=Unit ID\n");
    EXPECT_TRUE(ReadRtuColumnCaptions().empty());
    directory.Write("data_rtu.ini", "[RTU]\nRDATACOUNTS=-3\nRDATA1=Unit ID\n");
    EXPECT_TRUE(ReadRtuColumnCaptions().empty());
}

TEST_F(UiTest, FortyCharacterChannelNameIsCutTo31OnTheStatePage) {
    std::string name40(40, 'x');
    directory.Write("name_rtu.ini", "[DEVNAMES]\nAD3=" + name40 + "\nad0_unit=bar\n");
    CSQLDatabase database;
    CPageRtuState page(nullptr, database, messageBox, saveFile);
    EXPECT_EQ(page.Names().AinName(3), std::string(31, 'x'));
    EXPECT_EQ(page.Names().AinUnit(0), "bar");
}

TEST_F(UiTest, RegisterWithoutNameIsCaptionedByNumber) {
    directory.Write("name_rtu.ini", "[DEVNAMES]\nMBUSREG0=Pump speed\nMBUSREG5=\n");
    CSQLDatabase database;
    CPageModbusRegs page(nullptr, database, messageBox, saveFile);
    QTreeWidget& list = page.RegisterList();
    ASSERT_EQ(list.topLevelItemCount(), 32);
    EXPECT_EQ(list.topLevelItem(0)->text(0), "Pump speed");
    EXPECT_EQ(list.topLevelItem(5)->text(0), "R05");
    EXPECT_EQ(list.topLevelItem(31)->text(0), "R31");
}

}  // namespace
}  // namespace uitest
