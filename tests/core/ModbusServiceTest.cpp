// The Modbus/TCP service: read windows and reply layouts, writes and their echoes, the ADU loop.
#include <gtest/gtest.h>

#include "tests/core/CoreFixture.h"

namespace {

// A read or a write of the fixed 12-byte form.
Bytes Request(std::uint16_t tid, std::uint8_t unit, std::uint8_t fn, std::uint16_t address, std::uint16_t word) {
    return {static_cast<std::uint8_t>(tid >> 8),
            static_cast<std::uint8_t>(tid & 0xff),
            0,
            0,
            0,
            6,
            unit,
            fn,
            static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address & 0xff),
            static_cast<std::uint8_t>(word >> 8),
            static_cast<std::uint8_t>(word & 0xff)};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ModbusService : public CoreTest {
protected:
    ModbusService() { registerRtu(0, "5", 402); }
    RtuSlot& unit5() { return *table.FindRtu(5); }
};

TEST_F(ModbusService, ReadHoldingRegistersGivesAinTimesTen) {
    unit5().SetAin(0, 12.3);
    unit5().SetAin(1, 0.5);
    send(Request(0x1234, 5, 0x03, 1000, 2));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (Bytes{0x12, 0x34, 0, 0, 0, 7, 5, 0x03, 4, 0x00, 0x7B, 0x00, 0x05}));
    EXPECT_TRUE(logged("Query AIN from 0-2, Reply 13 Bytes"));
    EXPECT_TRUE(logged("12 34 00 00 00 07 05 03 04 00 7b 00 05 "));
}

TEST_F(ModbusService, ReadInputRegistersGivesFloatsLowWordFirst) {
    unit5().SetRegisterValue(0, 1.0);
    send(Request(1, 5, 0x04, 1200, 2));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (Bytes{0, 1, 0, 0, 0, 7, 5, 0x04, 4, 0x00, 0x00, 0x3F, 0x80}));
}

// The odd register is the low word of the next single: the reply holds the bytes its count promises.
TEST_F(ModbusService, FloatReadWithOddQuantityEndsWithHalfASingle) {
    unit5().SetRegisterValue(0, 1.0);
    unit5().SetRegisterValue(1, 0.1);  // 0x3DCCCCCD
    send(Request(1, 5, 0x04, 1200, 3));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (Bytes{0, 1, 0, 0, 0, 9, 5, 0x04, 6, 0x00, 0x00, 0x3F, 0x80, 0xCC, 0xCD}));
}

TEST_F(ModbusService, AinWindowContinuesWithBuiltInTemperature) {
    unit5().SetItemp(25.5);
    send(Request(1, 5, 0x03, 1007, 26));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].size(), 9u + 52);
    EXPECT_EQ(sent()[0][9 + 50], 0x00);
    EXPECT_EQ(sent()[0][9 + 51], 255);  // position 32
}

TEST_F(ModbusService, FullRegisterReadFitsOneAdu) {
    unit5().SetRegisterValue(124, 2.0);
    send(Request(1, 5, 0x03, 1200, 125));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0].size(), 259u);
    EXPECT_EQ(sent()[0][5], 253);
    EXPECT_EQ(sent()[0][8], 250);
    EXPECT_EQ(sent()[0][258], 20);
}

TEST_F(ModbusService, DinWindowContinuesWithDout) {
    unit5().SetDin(30, 1);
    unit5().SetDout(1, 1);
    send(Request(1, 5, 0x01, 1030, 4));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (Bytes{0, 1, 0, 0, 0, 4, 5, 0x01, 1, 0b1001}));
    EXPECT_TRUE(logged("Query DIN from 30-34, Reply 10 Bytes"));
}

TEST_F(ModbusService, DoutWindowBeyondItsChannelsReadsOff) {
    unit5().SetDout(31, 1);
    send(Request(1, 5, 0x01, 1131, 9));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (Bytes{0, 1, 0, 0, 0, 5, 5, 0x01, 2, 0x01, 0x00}));
}

TEST_F(ModbusService, BitReadOfNothingSendsNoDataByte) {
    send(Request(1, 5, 0x01, 1000, 0));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], (Bytes{0, 1, 0, 0, 0, 3, 5, 0x01, 0}));
}

struct UnansweredRead {
    const char* name;
    std::uint8_t unit;
    std::uint8_t fn;
    std::uint16_t address;
    std::uint16_t quantity;
};

class UnansweredReads : public ModbusService, public ::testing::WithParamInterface<UnansweredRead> {};

TEST_P(UnansweredReads, SendNothingAndGoOn) {
    const UnansweredRead& r = GetParam();
    send(Request(1, r.unit, r.fn, r.address, r.quantity) + Request(2, 5, 0x03, 1000, 1));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0][1], 2);
}

INSTANTIATE_TEST_SUITE_P(Reads, UnansweredReads,
                         ::testing::Values(UnansweredRead{"TooManyAin", 5, 0x03, 1000, 33},
                                           UnansweredRead{"AfterAinWindow", 5, 0x03, 1008, 1},
                                           UnansweredRead{"TooManyRegisters", 5, 0x04, 1200, 257},
                                           UnansweredRead{"MoreRegistersThanOneAduHolds", 5, 0x03, 1200, 126},
                                           UnansweredRead{"TooManyBits", 5, 0x01, 1000, 33},
                                           UnansweredRead{"BetweenBitWindows", 5, 0x01, 1032, 1},
                                           UnansweredRead{"UnknownUnit", 6, 0x03, 1000, 1},
                                           UnansweredRead{"UnitZeroOfAnEmptySlot", 0, 0x03, 1000, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReadBack {
    const char* name;
    const char* frameFn;  // a frame of that function sent first, unless null
    const char* framePayload;
    Bytes write;  // sent next, unless empty
    std::uint16_t address;
    std::uint16_t word;  // what fn 0x03 then reads there
};

class ExactReadBack : public ModbusService, public ::testing::WithParamInterface<ReadBack> {};

// A value that came in as a decimal reads back as that decimal scaled, though the live table keeps
// it in a float; real fractions are still cut off.
TEST_P(ExactReadBack, GivesTheDecimalScaled) {
    if (GetParam().frameFn) send(frame(5, GetParam().frameFn, "00", GetParam().framePayload));
    if (!GetParam().write.empty()) send(GetParam().write);
    send(Request(7, 5, 0x03, GetParam().address, 1));
    ASSERT_FALSE(sent().empty());
    const Bytes reply = sent().back();
    ASSERT_EQ(reply.size(), 11u);
    EXPECT_EQ(reply[9] << 8 | reply[10], GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ExactReadBack,
    ::testing::Values(ReadBack{"FrameTenths", "10", "149.80", {}, 1000, 498},
                      ReadBack{"FrameHundredthsInTheRegisterWindow", "31", "R12.30", {}, 1200, 23},
                      ReadBack{"WrittenUnscaled", nullptr, nullptr, Request(1, 5, 0x06, 1000, 7), 1000, 7},
                      ReadBack{"WrittenNegative", nullptr, nullptr, Request(1, 5, 0x06, 1001, 0xFFF9), 1001, 0xFFF9},
                      ReadBack{"RealFractionCutOff", nullptr, nullptr, Request(1, 5, 0x06, 1200, 15), 1200, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModbusService, WriteRegisterSetsTemperatureAndEchoes) {
    const Bytes request = Request(9, 5, 0x06, 1100, 2530);
    send(request);
    EXPECT_FLOAT_EQ(rtu(5).itemp, 25.3f);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], request);
}

TEST_F(ModbusService, WriteCoilSetsDin) {
    send(Request(9, 5, 0x05, 1002, 0xFF00));
    EXPECT_EQ(rtu(5).din[2], 1);
}

TEST_F(ModbusService, WriteMultipleRegistersScalesModbusRegisters) {
    const Bytes request = {0, 3, 0, 0, 0, 11, 5, 0x10, 0x04, 0xB0, 0, 2, 4, 0x00, 0x05, 0xFF, 0xFF};
    send(request);
    EXPECT_EQ(rtu(5).reg[0], 5.0f);
    EXPECT_EQ(rtu(5).reg[1], -1.0f);
    EXPECT_TRUE(logged("Register#1201 set value=500\n"));
    EXPECT_TRUE(logged("Register#1202 set value=-100\n"));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], request);
}

TEST_F(ModbusService, WriteMultipleCoilsTakesBitsInOrder) {
    send(Bytes{0, 3, 0, 0, 0, 8, 5, 0x0F, 0x03, 0xE8, 0, 3, 1, 0x05});
    EXPECT_EQ(rtu(5).din[0], 1);
    EXPECT_EQ(rtu(5).din[1], 0);
    EXPECT_EQ(rtu(5).din[2], 1);
}

TEST_F(ModbusService, TimestampedWritesCoilAndFloat) {
    // Item 0: coil, value 1; item 1: IEEE single 2.5 (0x40200000) little-endian.
    const Bytes request = {0,  4,  0,  0, 0, 22, 5, 0x23, 0x03, 0xE8, 0,    2,    14,   4,
                           11, 12, 30, 5, 0, 1,  0, 0,    0,    3,    0x00, 0x00, 0x20, 0x40};
    send(request);
    EXPECT_TRUE(logged("MODTCP: TIMESTAMP=14/04/11 12-30-05"));
    EXPECT_EQ(rtu(5).din[0], 1);
    EXPECT_EQ(rtu(5).ain[1], 25.0f);
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], Bytes(request.begin(), request.begin() + 12));
}

TEST_F(ModbusService, LongRegisterWritesTakeSigned32Bits) {
    send(Bytes{0, 5, 0, 0, 0, 11, 5, 0x80, 0x04, 0xB0, 0, 1, 4, 0xFF, 0xFF, 0xFF, 0x9C});
    EXPECT_EQ(rtu(5).reg[0], -1.0f);
    send(Bytes{0, 6, 0, 0, 0, 8, 5, 0x86, 0x04, 0xB1, 0x00, 0x00, 0x00, 0x07});
    EXPECT_EQ(rtu(5).reg[1], 7.0f);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[1].size(), 14u);
}

TEST_F(ModbusService, WriteForUnknownUnitIsStillEchoed) {
    send(Request(9, 77, 0x06, 1000, 1));
    EXPECT_EQ(sent().size(), 1u);
}

TEST_F(ModbusService, TwoReadsInOneChunkAreBothAnswered) {
    send(Request(0x0101, 5, 0x03, 1000, 1) + Request(0x0202, 5, 0x03, 1000, 1));
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0][0], 0x01);
    EXPECT_EQ(sent()[1][0], 0x02);
    EXPECT_TRUE(logged("Decode ModTcp: 12 24"));
}

TEST_F(ModbusService, ForeignProtocolIdDropsChunk) {
    const int unknownBefore = unknowCount.load();
    send(Bytes{0, 1, 0, 1, 0, 6, 5, 3});
    EXPECT_EQ(unknowCount.load(), unknownBefore + 1);
    EXPECT_EQ(lines().back(), "Decode ModTcp: 0 8");
}

struct BadAdu {
    const char* name;
    Bytes adu;
    std::size_t readsAnswered;  // of the read behind it in the same chunk
    const char* trace;
};

class BadAdus : public ModbusService, public ::testing::WithParamInterface<BadAdu> {};

// A function not served or a protocol id other than 0 is skipped by its length field; only a length
// that fits no ADU drops the rest of the chunk.
TEST_P(BadAdus, CostOnlyThemselves) {
    const int unknownBefore = unknowCount.load();
    testing::internal::CaptureStdout();
    send(GetParam().adu + Request(2, 5, 0x03, 1000, 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().trace);
    EXPECT_EQ(unknowCount.load(), unknownBefore + 1);
    EXPECT_EQ(sent().size(), GetParam().readsAnswered);
}

INSTANTIATE_TEST_SUITE_P(
    Adus, BadAdus,
    ::testing::Values(BadAdu{"FunctionNotServed", Request(1, 5, 0x07, 1000, 1), 1,
                             "Meet unknow data!\noffset = 12, Packsize=24\noffset = 24, Packsize=24\n"},
                      BadAdu{"ShortFunctionNotServed", Bytes{0, 1, 0, 0, 0, 2, 5, 0x11}, 1,
                             "Meet unknow data!\noffset = 8, Packsize=20\noffset = 20, Packsize=20\n"},
                      BadAdu{"ForeignProtocol", Bytes{0, 1, 0, 1, 0, 6, 5, 3, 3, 0xE8, 0, 1}, 1,
                             "offset = 12, Packsize=24\noffset = 24, Packsize=24\n"},
                      BadAdu{"LengthOfNoAdu", Bytes{0, 1, 0, 0, 1, 6, 5, 0x07, 3, 0xE8, 0, 1}, 0,
                             "Meet unknow data!\noffset = 24, Packsize=24\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ModbusService, AduLongerThanChunkEndsLoopUnserved) {
    testing::internal::CaptureStdout();
    send(Request(1, 5, 0x06, 1000, 1) + Bytes{0, 3, 0, 0, 0, 11, 5, 0x10, 0x03, 0xE8, 0, 2, 4, 0x00, 0x05});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "offset = 12, Packsize=27\n");
    EXPECT_EQ(sent().size(), 1u);
    EXPECT_EQ(updateLines().size(), 1u);
}

TEST_F(ModbusService, RequestLogLineShowsHeader) {
    send(Request(0xAB, 5, 0x03, 1000, 1));
    EXPECT_TRUE(logged("Recv Mod TCP: Tid=ab, Pid=0, Length=6, UnitId=5, Fn=3, DataLen=2\n"));
    EXPECT_TRUE(logged("Reply Fn 0x03, RegStart=1000, Cnts=1, pState=1\r\n"));
}

}  // namespace
