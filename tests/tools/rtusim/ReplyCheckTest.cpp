#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "tests/support/CalendarTime.h"
#include "tools/rtusim/ReplyCheck.h"
#include "tools/rtusim/ReplyStream.h"

using namespace rtusim;

namespace {

// Reads of unit 5 and their correct replies, as the server frames them.
const ReadRequest kAinRead{0x0102, 5, 0x03, 1000, 2};
const Bytes kAinReply{0x01, 0x02, 0x00, 0x00, 0x00, 0x07, 0x05, 0x03, 0x04, 0x00, 0x7B, 0x00, 0x05};
const ReadRequest kFloatRead{0x0203, 5, 0x04, 1200, 2};
const Bytes kFloatReply{0x02, 0x03, 0x00, 0x00, 0x00, 0x07, 0x05, 0x04, 0x04, 0x00, 0x00, 0x3F, 0x80};

Bytes with(Bytes bytes, std::size_t at, std::uint8_t value) {
    bytes[at] = value;
    return bytes;
}

ValueModel knowing(Area area, std::uint16_t index, double value) {
    ValueModel model;
    model.apply(5, {{area, index, value}});
    return model;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t = Calendar(year, month, day, hour, minute, second);
    return std::mktime(&t);
}

}  // namespace

TEST(ReadReply, ServerRepliesAreAccepted) {
    EXPECT_EQ(checkReadReply(kAinRead, kAinReply, nullptr), ReplyFault::None);
    EXPECT_EQ(checkReadReply(kFloatRead, kFloatReply, nullptr), ReplyFault::None);
    const ReadRequest bits{7, 5, 0x01, 1030, 4};
    EXPECT_EQ(checkReadReply(bits, Bytes{0, 7, 0, 0, 0, 4, 5, 1, 1, 0x0A}, nullptr), ReplyFault::None);
}

struct WrongReply {
    const char* name;
    Bytes reply;
    ReplyFault fault;
};

class EachWrongReadReply : public ::testing::TestWithParam<WrongReply> {};

TEST_P(EachWrongReadReply, IsRejectedForItsFault) {
    EXPECT_EQ(checkReadReply(kAinRead, GetParam().reply, nullptr), GetParam().fault);
}

INSTANTIATE_TEST_SUITE_P(
    ReadReply, EachWrongReadReply,
    ::testing::Values(WrongReply{"Transaction", with(kAinReply, 1, 0x03), ReplyFault::Transaction},
                      WrongReply{"ProtocolId", with(kAinReply, 3, 0x01), ReplyFault::Malformed},
                      WrongReply{"Unit", with(kAinReply, 6, 0x06), ReplyFault::Unit},
                      WrongReply{"Function", with(kAinReply, 7, 0x04), ReplyFault::Function},
                      WrongReply{"ByteCount", with(kAinReply, 8, 0x05), ReplyFault::ByteCount},
                      WrongReply{"LengthField", with(kAinReply, 5, 0x09), ReplyFault::Length},
                      WrongReply{"Short", Bytes(kAinReply.begin(), kAinReply.end() - 2), ReplyFault::Length},
                      WrongReply{"Tiny", Bytes(kAinReply.begin(), kAinReply.begin() + 8), ReplyFault::Malformed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReadReply, UnusedBitsOfTheLastByteMustBeClear) {
    const ReadRequest bits{7, 5, 0x01, 1000, 3};
    EXPECT_EQ(checkReadReply(bits, Bytes{0, 7, 0, 0, 0, 4, 5, 1, 1, 0x05}, nullptr), ReplyFault::None);
    EXPECT_EQ(checkReadReply(bits, Bytes{0, 7, 0, 0, 0, 4, 5, 1, 1, 0x0D}, nullptr), ReplyFault::Malformed);
}

TEST(ReadReply, ValuesAreComparedOnlyWhereKnown) {
    const ValueModel otherChannel = knowing(Area::Ain, 2, 1.0), ain0 = knowing(Area::Ain, 0, 12.0);
    std::size_t compared = 99;
    EXPECT_EQ(checkReadReply(kAinRead, kAinReply, &otherChannel, &compared), ReplyFault::None);
    EXPECT_EQ(compared, 0u);
    EXPECT_EQ(checkReadReply(kAinRead, with(kAinReply, 10, 0x78), &ain0, &compared), ReplyFault::None);
    EXPECT_EQ(compared, 1u);
    EXPECT_EQ(checkReadReply(kAinRead, kAinReply, &ain0), ReplyFault::Value);
}

TEST(ReadReply, FloatFormIsReadLowWordFirst) {
    const ValueModel one = knowing(Area::Reg, 0, 1.0), two = knowing(Area::Reg, 0, 2.0);
    EXPECT_EQ(checkReadReply(kFloatRead, kFloatReply, &one), ReplyFault::None);
    EXPECT_EQ(checkReadReply(kFloatRead, kFloatReply, &two), ReplyFault::Value);
}

TEST(ReadReply, BitsAreComparedWithWrittenDinAndDout) {
    const ReadRequest bits{7, 5, 0x01, 1030, 4};  // DIN30, DIN31, DOUT0, DOUT1
    const Bytes reply{0, 7, 0, 0, 0, 4, 5, 1, 1, 0x04};
    const ValueModel dout0 = knowing(Area::Dout, 0, 1.0), dout1 = knowing(Area::Dout, 1, 1.0);
    EXPECT_EQ(checkReadReply(bits, reply, &dout0), ReplyFault::None);
    EXPECT_EQ(checkReadReply(bits, reply, &dout1), ReplyFault::Value);
}

TEST(ReadReply, PositionsNeverWrittenReadZero) {
    const ReadRequest read{1, 5, 0x03, 1007, 32};  // AIN7..31, the temperature, then six zeros
    Bytes reply{0, 1, 0, 0, 0, 67, 5, 3, 64};
    reply.resize(9 + 64, 0);
    ValueModel nothingWritten;
    std::size_t compared = 0;
    EXPECT_EQ(checkReadReply(read, reply, &nothingWritten, &compared), ReplyFault::None);
    EXPECT_EQ(compared, 30u);  // AIN7 and the temperature are unknown
    EXPECT_EQ(checkReadReply(read, with(reply, 9 + 2 * 27, 1), &nothingWritten), ReplyFault::Value);  // position 34
    EXPECT_EQ(checkReadReply(read, with(reply, 9 + 2 * 2, 1), &nothingWritten), ReplyFault::Value);   // AIN9
    EXPECT_EQ(checkReadReply(read, with(reply, 9 + 2 * 25, 1), &nothingWritten), ReplyFault::None);   // temperature
    EXPECT_EQ(checkReadReply(read, with(reply, 9 + 2 * 0, 1), &nothingWritten), ReplyFault::None);    // AIN7
}

TEST(Echo, EachDifferenceHasItsFault) {
    const Bytes sent{0x01, 0x02, 0, 0, 0, 6, 5, 0x06, 0x04, 0x4C, 0x09, 0xC4};
    EXPECT_EQ(checkEcho(sent, sent, true), ReplyFault::None);
    EXPECT_EQ(checkEcho(sent, with(sent, 0, 9), true), ReplyFault::Transaction);
    EXPECT_EQ(checkEcho(sent, with(sent, 6, 9), true), ReplyFault::Unit);
    EXPECT_EQ(checkEcho(sent, with(sent, 7, 9), true), ReplyFault::Function);
    EXPECT_EQ(checkEcho(sent, with(sent, 11, 9), true), ReplyFault::Echo);
    EXPECT_EQ(checkEcho(sent, Bytes(sent.begin(), sent.end() - 1), true), ReplyFault::Length);
    EXPECT_EQ(checkEcho(text("$0001"), text("$0002"), false), ReplyFault::Echo);
}

TEST(TimeReply, ReplyWithinTheMinuteIsAccepted) {
    const std::time_t clock = localTime(2014, 4, 11, 12, 30, 20);
    EXPECT_EQ(checkTimeReply("00000123", text("$00000123SC8314/04/11 12:30$"), clock, clock, 120), ReplyFault::None);
}

TEST(TimeReply, EachWrongPartHasItsFault) {
    const std::time_t clock = localTime(2014, 4, 11, 12, 30, 20);
    auto check = [clock](const char* reply) { return checkTimeReply("00000123", text(reply), clock, clock, 120); };
    EXPECT_EQ(check("$00000124SC8314/04/11 12:30$"), ReplyFault::Unit);
    EXPECT_EQ(check("$00000123SC8414/04/11 12:30$"), ReplyFault::Function);
    EXPECT_EQ(check("$00000123SC8314/13/11 12:30$"), ReplyFault::Malformed);
    EXPECT_EQ(check("$00000123SC8314-04-11 12:30$"), ReplyFault::Malformed);
    EXPECT_EQ(check("$00000123SC8314/04/11 1:30$"), ReplyFault::Malformed);
    EXPECT_EQ(check("$00000123SC8314/04/11 13:30$"), ReplyFault::Time);
    EXPECT_EQ(check("$00000123SC8314/04/11 12:27$"), ReplyFault::Time);
    EXPECT_EQ(check("$00000123SC8314/04/11 12:29$"), ReplyFault::None);
}

TEST(Delimiting, ModbusRepliesAreCutByTheirLengthField) {
    EXPECT_EQ(modbusReplySize(Bytes(kAinReply.begin(), kAinReply.begin() + 5)), 0u);
    EXPECT_EQ(modbusReplySize(kAinReply), 13u);
    EXPECT_EQ(modbusReplySize(with(kAinReply, 5, 0)), std::nullopt);
    EXPECT_EQ(modbusReplySize(with(with(kAinReply, 4, 2), 5, 0x58)), std::nullopt);  // 600 bytes
}

TEST(Delimiting, TimeRepliesAreCutAtTheirClosingMark) {
    EXPECT_EQ(timeReplySize(Bytes{}), 0u);
    EXPECT_EQ(timeReplySize(text("$0000")), 0u);
    EXPECT_EQ(timeReplySize(text("$00$")), 4u);
    EXPECT_EQ(timeReplySize(text("X0000")), std::nullopt);
    EXPECT_EQ(timeReplySize(text(std::string("$") + std::string(30, '0'))), std::nullopt);
}

TEST(Delimiting, ReplySplitOverTwoReceivesWaitsForTheRest) {
    const ExpectedReply expected{ExpectedReply::Kind::ModbusRead, {}, kAinRead, {}};
    const Bytes first(kAinReply.begin(), kAinReply.begin() + 10);
    EXPECT_FALSE(judgeFront(expected, first, {}).has_value());
    Bytes twoReplies = kAinReply;
    twoReplies.insert(twoReplies.end(), kAinReply.begin(), kAinReply.end());
    const auto judged = judgeFront(expected, twoReplies, {});
    ASSERT_TRUE(judged.has_value());
    EXPECT_EQ(judged->size, 13u);
    EXPECT_EQ(judged->fault, ReplyFault::None);
}

TEST(Delimiting, FrameEchoMustStartWithTheStartMark) {
    const ExpectedReply expected{ExpectedReply::Kind::FrameEcho, text("$00000001"), {}, {}};
    EXPECT_EQ(judgeFront(expected, text("X"), {})->fault, ReplyFault::Malformed);
    EXPECT_FALSE(judgeFront(expected, text("$0000"), {}).has_value());
    EXPECT_EQ(judgeFront(expected, text("$00000001"), {})->fault, ReplyFault::None);
}

// Replies come from the network: no byte sequence may make a judge read outside the bytes given.
TEST(Delimiting, AnyBytesAreJudgedWithoutReadingPastThem) {
    std::mt19937 random(11);
    const ValueModel model = knowing(Area::Reg, 3, 4.0);
    const std::vector<ExpectedReply> kinds{{ExpectedReply::Kind::ModbusRead, {}, kAinRead, {}},
                                           {ExpectedReply::Kind::ModbusRead, {}, {9, 5, 0x01, 1100, 17}, {}},
                                           {ExpectedReply::Kind::ModbusRead, {}, {9, 5, 0x04, 1200, 200}, {}},
                                           {ExpectedReply::Kind::ModbusEcho, kAinReply, {}, {}},
                                           {ExpectedReply::Kind::FrameEcho, text("$0000000100"), {}, {}},
                                           {ExpectedReply::Kind::TimeReply, {}, {}, "00000001"}};
    for (int round = 0; round < 20000; ++round) {
        Bytes bytes(std::uniform_int_distribution<std::size_t>(0, 600)(random));
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() % 4 == 0 ? '$' : random());
        if (bytes.size() >= 6 && round % 2 == 0) {  // often a plausible length field
            bytes[4] = 0;
            bytes[5] = static_cast<std::uint8_t>(bytes.size() - 6);
        }
        const auto judged =
            judgeFront(kinds[static_cast<std::size_t>(round) % kinds.size()], bytes, {&model, 0, 0, 120});
        if (judged) {
            EXPECT_LE(judged->size, bytes.size());
        }
    }
}
