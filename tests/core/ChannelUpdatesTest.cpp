// Channel updates: every row of the register-number table, and what each stores.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "tests/core/CoreFixture.h"

namespace {

enum class Kind { Coil, Register };

struct UpdateRow {
    const char* name;
    Kind kind;
    std::uint32_t registerNumber;
    std::int32_t value;
    std::uint8_t state;
    const char* line;     // the row's own log line, or null for none
    const char* history;  // "<channel> <number> <value> <state>", or null for none
    bool refresh;
};

class ChannelUpdates : public CoreTest, public ::testing::WithParamInterface<UpdateRow> {
protected:
    ChannelUpdates() { registerRtu(0, "12", 403); }

    void apply(const UpdateRow& row) {
        if (row.kind == Kind::Coil) {
            core.UpdateCoil(12, row.registerNumber, row.value, "20140411123000", row.state);
        } else {
            core.UpdateRegister(12, row.registerNumber, row.value, "20140411123000", row.state);
        }
    }
};

std::string Describe(const HistoryCall& call) {
    char text[128];
    std::snprintf(text, sizeof text, "%s %d %.2f %d", call.channel.c_str(), call.number, call.value, call.state);
    return text;
}

TEST_P(ChannelUpdates, LogRecordAndRefresh) {
    const UpdateRow& row = GetParam();
    apply(row);
    const std::vector<std::string> l = lines();
    ASSERT_GE(l.size(), 1u);
    EXPECT_EQ(l.size(), row.line ? 2u : 1u);
    if (row.line && l.size() == 2) {
        EXPECT_EQ(l[1], row.line);
    }
    const auto calls = history();
    EXPECT_EQ(calls.size(), row.history ? 1u : 0u);
    if (row.history && calls.size() == 1) {
        EXPECT_EQ(Describe(calls[0]), row.history);
        EXPECT_EQ(calls[0].unit, 12);
        EXPECT_EQ(calls[0].rtuTime, "20140411123000");
    }
    EXPECT_EQ(statePage.refreshes, row.refresh ? 1 : 0);
}

const UpdateRow kRows[] = {
    {"Din", Kind::Coil, 1001, 2, 1, "Update DIN0 State1\r\n", "DIN 0 1.00 1", true},
    {"DinOff", Kind::Coil, 1008, 0, 1, "Update DIN7 State0\r\n", "DIN 7 0.00 0", true},
    {"Dout", Kind::Coil, 1103, 1, 0, "Update DOUT2 State1\r\n", "DOUT 2 1.00 1", true},
    {"ModbusCoil", Kind::Coil, 1202, 300, 1, "Update COIL1 State1\r\n", nullptr, true},
    {"CoilOutsideTable", Kind::Coil, 1009, 1, 0, nullptr, nullptr, false},
    {"Ain", Kind::Register, 1002, 123, 1, "Update AIN1 12.30, State:1\r\n", "AIN 1 12.30 1", true},
    {"Itemp", Kind::Register, 1101, 2530, 2, "Update Buildin-Temperature 25.30 State:2\r\n", "ITEMP -1 25.30 2", true},
    {"Signal", Kind::Register, 1102, 287, 3, "Update GSM/GPRS Signal 31\r\n", "SIGNAL -1 287.00 0", true},
    {"PowerFailure", Kind::Register, 1103, 0, 0, "Update PowerState 1\r\n", "BATT -1 1.00 0", true},
    {"PowerPresent", Kind::Register, 1103, 5, 0, "Update PowerState 0\r\n", "BATT -1 0.00 0", true},
    {"ModbusRegister", Kind::Register, 1233, -150, 0, "Update ModbusRegister32 -1.50, State:0\r\n",
     "MBUSREG 32 -1.50 0", true},
    {"Counter", Kind::Register, 1301, 1500, 0, "Update Counter0 15.00\r\n", "ECOUNTER 0 15.00 0", true},
    {"CounterNotStored", Kind::Register, 1306, 1500, 0, "Update Counter5 15.00\r\n", "ECOUNTER 5 15.00 0", true},
    {"Graycode", Kind::Register, 1401, 777, 0, "Update Graycode0 7.77\r\n", "GRYCODE 0 7.77 0", true},
    {"Etemp", Kind::Register, 1508, -525, 1, "Update Ex-Temperatures7 -5.25, State:1\r\n", "ETEMP 7 -5.25 1", true},
    {"DailyReport0", Kind::Register, 1800, 12345, 0, "Update Counter0 Daily Report 20140411123000,123.45\r\n",
     "ECOUNTER_REPORT 0 123.45 0", false},
    {"DailyReport1", Kind::Register, 1801, 5, 0, "Update Counter1 Daily Report 20140411123000,0.05\r\n",
     "ECOUNTER_REPORT 1 0.05 0", false},
    {"RegisterOutsideTable", Kind::Register, 1009, 5, 0, nullptr, nullptr, false},
    {"RegisterOnCoilOnlyRange", Kind::Register, 1102 + 6, 5, 0, nullptr, nullptr, false},
};

INSTANTIATE_TEST_SUITE_P(Rows, ChannelUpdates, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

class ChannelStores : public CoreTest {
protected:
    ChannelStores() { registerRtu(0, "12", 403); }
    void reg(std::uint32_t number, std::int32_t value) { core.UpdateRegister(12, number, value, "", 0); }
    void coil(std::uint32_t number, std::int32_t value) { core.UpdateCoil(12, number, value, "", 0); }
};

TEST_F(ChannelStores, EachRowStoresItsField) {
    coil(1001, 2);
    coil(1102, 1);
    coil(1202, 300);
    reg(1002, 123);
    reg(1101, 2530);
    reg(1102, 287);
    reg(1103, 0);
    reg(1203, 250);
    reg(1302, 1500);
    reg(1401, 777);
    reg(1502, 2150);
    const RtuRecord r = rtu(12);
    EXPECT_EQ(r.din[0], 2);
    EXPECT_EQ(r.dout[1], 1);
    EXPECT_EQ(r.reg[1], 44.0f);
    EXPECT_EQ(r.regKind[1], 2);
    EXPECT_EQ(r.ain[1], 12.3f);
    EXPECT_EQ(r.itemp, 25.3f);
    EXPECT_EQ(r.signal, 31);
    EXPECT_EQ(r.batt, 0);
    EXPECT_EQ(r.reg[2], 2.5f);
    EXPECT_EQ(r.regKind[2], 1);
    EXPECT_EQ(r.ecounter[1], 15.0f);
    EXPECT_EQ(r.graycode[0], 7.77f);
    EXPECT_EQ(r.etemp[1], 21.5f);
}

TEST_F(ChannelStores, HighCounterChangesNoCounterSlot) {
    reg(1306, 1500);
    const RtuRecord r = rtu(12);
    for (float c : r.ecounter) EXPECT_EQ(c, 0.0f);
}

TEST_F(ChannelStores, DailyReportStoresNothing) {
    reg(1800, 12345);
    const RtuRecord r = rtu(12);
    const RtuRecord zero = [] {
        RtuSlot s;
        s.SetUidText("12");
        s.SetModel(403);
        return s.Snapshot();
    }();
    EXPECT_EQ(0, std::memcmp(&r, &zero, sizeof r));
}

TEST_F(ChannelStores, NoStatePageNoChange) {
    core.SetStatePage(nullptr);
    reg(1002, 123);
    coil(1001, 1);
    EXPECT_EQ(rtu(12).ain[1], 0.0f);
    EXPECT_EQ(rtu(12).din[0], 0);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"Register#1002 set value=123\n", "Coil#1001 set value=ffh state=0\n"}));
}

TEST_F(ChannelStores, MissingHistoryWriterStillStoresAndRefreshes) {
    core.SetHistoryWriter(nullptr);
    reg(1002, 123);
    EXPECT_EQ(rtu(12).ain[1], 12.3f);
    EXPECT_EQ(statePage.refreshes, 1);
}

TEST_F(ChannelStores, ExtremeValuesDoNotOverflow) {
    reg(1102, INT32_MIN);
    EXPECT_EQ(rtu(12).signal, INT32_MAX - 255);  // wraps like 32-bit arithmetic
}

TEST_F(ChannelStores, RegistStringForUnknownUnitOnlyLogs) {
    core.UpdateRegistString(99, "text");
    EXPECT_EQ(lines(), (std::vector<std::string>{"Update Rtu99 Regist String\r\n"}));
    EXPECT_EQ(statePage.refreshes, 0);
}

}  // namespace
