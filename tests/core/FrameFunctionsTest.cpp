// Each frame function: which channel updates a frame of it becomes.
#include <gtest/gtest.h>

#include "tests/core/CoreFixture.h"

namespace {

struct FunctionRow {
    const char* name;
    const char* fn;
    const char* channel;
    const char* payload;
    std::vector<std::string> updates;  // the "Register#" and "Coil#" lines, in order
};

class FrameFunctions : public CoreTest, public ::testing::WithParamInterface<FunctionRow> {
protected:
    FrameFunctions() { registerRtu(0, "123", 403); }
};

TEST_P(FrameFunctions, BecomeChannelUpdates) {
    const FunctionRow& row = GetParam();
    send(frame(123, row.fn, row.channel, row.payload));
    EXPECT_EQ(updateLines(), row.updates);
}

const FunctionRow kFunctionRows[] = {
    {"PowerSignalTemperature",
     "00",
     "00",
     "x00287025.31",
     {"Register#1103 set value=1\n", "Register#1102 set value=287\n", "Register#1101 set value=2531\n"}},
    {"PowerSignalTemperatureFn01",
     "01",
     "00",
     "x1 287-1.50",
     {"Register#1103 set value=0\n", "Register#1102 set value=287\n", "Register#1101 set value=-150\n"}},
    {"DigitalInput", "02", "03", "1", {"Coil#1004 set value=ffh state=1\n"}},
    {"DigitalInputOff", "02", "03", "0", {"Coil#1004 set value=0h state=0\n"}},
    {"PowerStateFailure", "03", "00", "0", {"Register#1103 set value=1\n"}},
    {"Ain", "10", "01", "112.34", {"Register#1002 set value=123\n"}},
    {"ItempKeepsItsHundredths", "11", "00", "00.29", {"Register#1101 set value=29\n"}},
    {"ItempKeepsItsHundredths115", "11", "00", "01.15", {"Register#1101 set value=115\n"}},
    {"AinTruncatesHundredths", "10", "01", "149.89", {"Register#1002 set value=498\n"}},
    {"Graycode", "18", "00", "0123.45", {"Register#1401 set value=12345\n"}},
    {"CounterChannel0", "19", "00", "010.00", {"Register#1304 set value=1000\n"}},
    {"CounterChannel1", "19", "01", "010.00", {"Register#1308 set value=1000\n"}},
    {"InputStatesNone", "20", "00", "111", {}},
    {"InputStates",
     "20",
     "03",
     "101",
     {"Coil#1001 set value=ffh state=1\n", "Coil#1002 set value=0h state=0\n", "Coil#1003 set value=ffh state=1\n"}},
    {"OutputStates", "21", "02", "01", {"Coil#1101 set value=0h state=0\n", "Coil#1102 set value=ffh state=1\n"}},
    {"AinList", "22", "02", "11.00,02.50,", {"Register#1001 set value=10\n", "Register#1002 set value=25\n"}},
    {"ModbusCoil", "31", "02", "C15", {"Coil#1203 set value=ffh state=1\n"}},
    {"ModbusRegister", "31", "02", "R012.50", {"Register#1203 set value=1250\n"}},
    {"ModbusOtherType", "31", "02", "X012.50", {}},
    {"EtempList", "33", "02", "1-5.25,021.00,", {"Register#1501 set value=-525\n", "Register#1502 set value=2100\n"}},
    {"DailyReport", "36", "01", "0123.45", {"Register#1801 set value=12345\n"}},
    {"ModbusList",
     "41",
     "00",
     "01C11,02R0123.45,",
     {"Coil#1202 set value=ffh state=1\n", "Register#1203 set value=12345\n"}},
    {"Etemp", "43", "02", "121.50", {"Register#1503 set value=2150\n"}},
    {"Counter", "48", "03", "1500.00", {"Register#1304 set value=50000\n"}},
    {"NumberWithoutPoint", "10", "00", "1abc", {"Register#1001 set value=0\n"}},
};

INSTANTIATE_TEST_SUITE_P(Table, FrameFunctions, ::testing::ValuesIn(kFunctionRows),
                         [](const auto& info) { return std::string(info.param.name); });

class FramePayloads : public CoreTest {
protected:
    FramePayloads() { registerRtu(0, "123", 403); }
};

TEST_F(FramePayloads, ModbusListAppliesCoilValueAndRegister) {
    send(frame(123, "41", "00", "01C11,02R0123.45,"));
    EXPECT_EQ(rtu(123).reg[1], 100.0f);
    EXPECT_EQ(rtu(123).regKind[1], 2);
    EXPECT_EQ(rtu(123).reg[2], 123.45f);
    EXPECT_EQ(rtu(123).regKind[2], 1);
}

TEST_F(FramePayloads, ListCountBeyondReceivedBytesAppliesOnlyPresentItems) {
    // No end mark: the chunk ends right after the second item.
    const std::string f = frame(123, "22", "50", "11.00,02.50,");
    send(f.substr(0, f.size() - 1));
    EXPECT_EQ(updateLines().size(), 2u);
}

TEST_F(FramePayloads, ModbusListEndsAtChunkEnd) {
    const std::string f = frame(123, "41", "00", "01C11,02R0");
    send(f.substr(0, f.size() - 1));
    EXPECT_EQ(updateLines(),
              (std::vector<std::string>{"Coil#1202 set value=ffh state=1\n", "Register#1203 set value=0\n"}));
}

// A late end mark and an ADU whose first byte is "C" after the list are no item of it.
TEST_F(FramePayloads, ModbusListEndsAtItsEndMark) {
    const std::string adu = {'C', 1, 0, 0, 0, 6, 5, 3, 3, static_cast<char>(0xE8), 0, 1};
    send(frame(123, "41", "00", "01C11,") + "$" + adu);
    EXPECT_EQ(updateLines(), (std::vector<std::string>{"Coil#1202 set value=ffh state=1\n"}));
}

TEST_F(FramePayloads, GpsTextIsStoredAndCutToField) {
    const std::string gps = "GPRMC,4807.038,N,01131.000,E" + std::string(200, '0');
    send(frame(123, "35", "00", "xx" + gps));
    EXPECT_TRUE(logged("Register# set GPS=" + gps + "\n"));
    EXPECT_EQ(std::string(rtu(123).gps), gps.substr(0, 127));
    EXPECT_EQ(statePage.refreshes, 1);
}

TEST_F(FramePayloads, GpsTextNeedsStatePage) {
    core.SetStatePage(nullptr);
    send(frame(123, "35", "00", "xxGPRMC"));
    EXPECT_STREQ(rtu(123).gps, "");
}

TEST_F(FramePayloads, RegistrationTextIsStoredAndCutToField) {
    const std::string text(300, 'r');
    send(frame(123, "45", "00", text));
    EXPECT_EQ(std::string(rtu(123).registString), std::string(255, 'r'));
    EXPECT_TRUE(logged("Update Rtu123 Regist String\r\n"));
    EXPECT_EQ(statePage.refreshes, 1);
}

TEST_F(FramePayloads, RegistrationTextIsStoredWithoutRawDataList) {
    core.SetRawDataList(nullptr);
    send(frame(123, "45", "00", "hello"));
    EXPECT_STREQ(rtu(123).registString, "hello");
}

// The texts end before their frame's end mark, whatever follows it in the same receive.
TEST_F(FramePayloads, TextsEndAtTheirEndMark) {
    const std::string next = frame(123, "10", "01", "112.34");
    send(frame(123, "45", "00", "RTU-13 v2.1") + next);
    send(frame(123, "35", "00", "xxGPRMC,4807.038,N") + next);
    EXPECT_STREQ(rtu(123).registString, "RTU-13 v2.1");
    EXPECT_STREQ(rtu(123).gps, "GPRMC,4807.038,N");
    EXPECT_FLOAT_EQ(ain(123, 1), 12.3f);
}

}  // namespace
