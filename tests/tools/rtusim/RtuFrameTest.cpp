#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "tools/rtusim/RtuFrame.h"

using namespace rtusim;

namespace {

constexpr const char* kStamp = "20140411123000";

FrameValues single(std::uint16_t channel, bool state, std::int64_t hundredths) {
    FrameValues v;
    v.channel = channel;
    v.states = {state};
    v.numbers = {hundredths};
    return v;
}

}  // namespace

TEST(RtuFrame, AnalogueFrameHasItsExactBytes) {
    const BuiltFrame frame = buildFrame(0x10, 123, kStamp, single(1, true, 1234));
    EXPECT_EQ(frame.bytes, "$0000012300102014041112300001112.34$");
    EXPECT_EQ(frame.echoLength, frame.bytes.size() - 1);  // the parse stops at the end mark
}

TEST(RtuFrame, TimeRequestCarriesNoPayload) {
    const BuiltFrame frame = buildFrame(0x83, 123, kStamp, {});
    EXPECT_EQ(frame.bytes,
              "$000001230083201404111230000"
              "0$");
    EXPECT_EQ(frame.echoLength, 29u);
    EXPECT_TRUE(frame.effects.empty());
}

TEST(RtuFrame, ModbusItemListIsWrittenAsTheDecoderReadsIt) {
    FrameValues v;
    v.indexes = {1, 2};
    v.coils = {true, false};
    v.states = {true, false};
    v.digits = {1, 0};
    v.numbers = {0, 12345};
    const BuiltFrame frame = buildFrame(0x41, 7, kStamp, v);
    EXPECT_EQ(frame.bytes.substr(29), "01C11,02R0123.45,$");
    EXPECT_EQ(frame.echoLength, frame.bytes.size() - 1);
}

TEST(RtuFrame, DecimalsAreWrittenWithExactlyTwoPlaces) {
    EXPECT_EQ(decimalText(1234), "12.34");
    EXPECT_EQ(decimalText(-5), "-0.05");
    EXPECT_EQ(decimalText(0), "0.00");
    EXPECT_EQ(decimalText(100), "1.00");
}

TEST(RtuFrame, ChannelAboveNinetyNineUsesATensCharacterPastNine) {
    const std::string frame = frameText(1, 0x02, 100, kStamp, "1");
    EXPECT_EQ(frame[27], 0x3A);
    EXPECT_EQ(frame[28], '0');
}

TEST(RtuFrame, BitListSendsItsItemCountAsChannel) {
    FrameValues v;
    v.states = {true, false, true};
    const BuiltFrame frame = buildFrame(0x20, 5, kStamp, v);
    EXPECT_EQ(frame.bytes.substr(27), "03101$");
    EXPECT_EQ(frame.effects, (Effects{{Area::Din, 0, 1.0}, {Area::Din, 1, 0.0}, {Area::Din, 2, 1.0}}));
}

TEST(RtuFrame, WholeNumbersAreKnownAndOthersForgotten) {
    EXPECT_EQ(buildFrame(0x10, 1, kStamp, single(3, false, 1200)).effects, (Effects{{Area::Ain, 3, 12.0}}));
    EXPECT_EQ(buildFrame(0x10, 1, kStamp, single(3, false, 1234)).effects, (Effects{{Area::Ain, 3, std::nullopt}}));
    EXPECT_EQ(buildFrame(0x11, 1, kStamp, single(0, false, 2500)).effects, (Effects{{Area::Itemp, 0, 25.0}}));
    EXPECT_EQ(buildFrame(0x02, 1, kStamp, single(5, true, 0)).effects, (Effects{{Area::Din, 5, 1.0}}));
    EXPECT_EQ(buildFrame(0x01, 1, kStamp, single(0, true, -700)).effects, (Effects{{Area::Itemp, 0, -7.0}}));
    FrameValues registerItem = single(4, true, 700);
    registerItem.coils = {false};
    EXPECT_EQ(buildFrame(0x31, 1, kStamp, registerItem).effects, (Effects{{Area::Reg, 4, 7.0}}));
    registerItem.coils = {true};
    EXPECT_EQ(buildFrame(0x31, 1, kStamp, registerItem).effects, (Effects{{Area::Reg, 4, std::nullopt}}));
}

TEST(RtuFrame, UnreadableChannelsLeaveNoEffect) {
    EXPECT_TRUE(buildFrame(0x18, 1, kStamp, single(0, true, 100)).effects.empty());
    EXPECT_TRUE(buildFrame(0x43, 1, kStamp, single(2, true, 100)).effects.empty());
    EXPECT_TRUE(buildFrame(0x45, 1, kStamp, {}).effects.empty());
}

class EveryFrameFunction : public ::testing::TestWithParam<std::uint8_t> {};

// Every frame must be one the server delimits: "$" at both ends and nowhere else, so that its
// end-mark scan from the parse position finds this frame's end.
TEST_P(EveryFrameFunction, IsDelimitedByItsOwnMarks) {
    FrameValues v;
    v.channel = 2;
    v.numbers = {1234, -500, 99999};
    v.states = {true, false, true};
    v.coils = {false, true, false};
    v.indexes = {0, 17, 32};
    v.digits = {1, 0, 1};
    v.signal = 287;
    const BuiltFrame frame = buildFrame(GetParam(), 65535, kStamp, v);
    char fn[4];
    std::snprintf(fn, sizeof fn, "%02X", GetParam());
    EXPECT_EQ(frame.bytes.substr(0, 9), "$00065535");
    EXPECT_EQ(frame.bytes.substr(11, 2), fn);
    EXPECT_EQ(frame.bytes.substr(13, 14), kStamp);
    EXPECT_EQ(std::count(frame.bytes.begin(), frame.bytes.end(), '$'), 2);
    EXPECT_EQ(frame.bytes.back(), '$');
    EXPECT_GE(frame.echoLength, kFrameHeaderSize);
    EXPECT_LT(frame.echoLength, frame.bytes.size());
}

INSTANTIATE_TEST_SUITE_P(RtuFrame, EveryFrameFunction, ::testing::ValuesIn(frameFunctions()), [](const auto& info) {
    char name[8];
    std::snprintf(name, sizeof name, "Fn%02X", info.param);
    return std::string(name);
});

// Readings are the history rows the server records: one per DIN/DOUT bit and per numeric channel
// with a history table, none for Modbus-area coils, GPS, registration texts and time requests.
struct ReadingsCase {
    const char* name;
    std::uint8_t fn;
    FrameValues values;
    unsigned readings;
};

class FrameReadings : public ::testing::TestWithParam<ReadingsCase> {};

TEST_P(FrameReadings, CountTheRowsTheServerRecords) {
    EXPECT_EQ(buildFrame(GetParam().fn, 1, kStamp, GetParam().values).readings, GetParam().readings);
}

FrameValues list(std::size_t items) {
    FrameValues v;
    v.states.assign(items, true);
    v.numbers.assign(items, 100);
    return v;
}

FrameValues modbusItems() {
    FrameValues v;
    v.indexes = {1, 2, 3};
    v.coils = {true, false, false};
    v.states = {true, false, true};
    v.digits = {1, 0, 0};
    v.numbers = {0, 100, 200};
    return v;
}

FrameValues coilItem() {
    FrameValues v = single(4, true, 0);
    v.coils = {true};
    v.digits = {1};
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    RtuFrame, FrameReadings,
    ::testing::Values(ReadingsCase{"PowerSignalTemperature", 0x00, single(0, true, 2500), 3},
                      ReadingsCase{"BatteryState", 0x03, single(0, true, 0), 1},
                      ReadingsCase{"DigitalInput", 0x02, single(7, true, 0), 1},
                      ReadingsCase{"DigitalInputPastTheEighth", 0x02, single(8, true, 0), 0},
                      ReadingsCase{"Analogue", 0x10, single(3, true, 100), 1},
                      ReadingsCase{"BoardTemperature", 0x11, single(0, true, 100), 1},
                      ReadingsCase{"Fn11OnAChannelWithoutHistory", 0x11, single(3, true, 100), 0},
                      ReadingsCase{"GrayCode", 0x18, single(0, true, 100), 1},
                      ReadingsCase{"GrayCodeSecondChannel", 0x18, single(1, true, 100), 0},
                      ReadingsCase{"UpperCounter", 0x19, single(1, true, 100), 1},
                      ReadingsCase{"DailyReport", 0x36, single(1, true, 100), 1},
                      ReadingsCase{"DailyReportThirdChannel", 0x36, single(2, true, 100), 0},
                      ReadingsCase{"ExternalTemperature", 0x43, single(7, true, 100), 1},
                      ReadingsCase{"Counter", 0x48, single(7, true, 100), 1},
                      ReadingsCase{"InputStates", 0x20, list(5), 5}, ReadingsCase{"OutputStates", 0x21, list(8), 8},
                      ReadingsCase{"AnalogueList", 0x22, list(4), 4}, ReadingsCase{"CounterReport", 0x32, list(3), 3},
                      ReadingsCase{"TemperatureList", 0x33, list(2), 2},
                      ReadingsCase{"ModbusRegister", 0x31, single(4, true, 100), 1},
                      ReadingsCase{"ModbusCoil", 0x31, coilItem(), 0},
                      ReadingsCase{"ModbusListRegistersOnly", 0x41, modbusItems(), 2},
                      ReadingsCase{"Gps", 0x35, single(0, true, 100), 0}, ReadingsCase{"Registration", 0x45, {}, 0},
                      ReadingsCase{"TimeRequest", 0x83, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });
