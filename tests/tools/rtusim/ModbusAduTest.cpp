#include <gtest/gtest.h>

#include <bit>

#include "tools/rtusim/ModbusAdu.h"

using namespace rtusim;

namespace {

const WriteHeader kHeader{0x0102, 5, 1000};

WriteHeader at(std::uint16_t address) {
    WriteHeader header = kHeader;
    header.address = address;
    return header;
}

}  // namespace

TEST(ModbusAdu, ReadRequestHasTheStandardLayout) {
    EXPECT_EQ(readAdu({0x0102, 5, 0x03, 1000, 2}),
              (Bytes{0x01, 0x02, 0x00, 0x00, 0x00, 0x06, 0x05, 0x03, 0x03, 0xE8, 0x00, 0x02}));
}

TEST(ModbusAdu, ReplySizesFollowTheServersLayout) {
    EXPECT_EQ(readReplySize({0, 5, 0x03, 1000, 2}), 13u);
    EXPECT_EQ(readReplySize({0, 5, 0x04, 1200, 2}), 13u);
    EXPECT_EQ(readReplySize({0, 5, 0x04, 1200, 3}), 15u);  // two bytes per register, as the byte count says
    EXPECT_EQ(readReplySize({0, 5, 0x01, 1030, 4}), 10u);
    EXPECT_EQ(readReplySize({0, 5, 0x01, 1000, 9}), 11u);
}

TEST(ModbusAdu, SingleRegisterWriteIsEchoedWhole) {
    const WriteAdu write = writeSingleRegister(at(1100), 2500);
    EXPECT_EQ(write.bytes, (Bytes{0x01, 0x02, 0, 0, 0, 6, 5, 0x06, 0x04, 0x4C, 0x09, 0xC4}));
    EXPECT_EQ(write.echoLength, 12u);
    EXPECT_EQ(write.effects, (Effects{{Area::Itemp, 0, 25.0}}));
    // 25.3 is not whole, so rtusim does not claim to know how the server stores it.
    EXPECT_EQ(writeSingleRegister(at(1100), 2530).effects, (Effects{{Area::Itemp, 0, std::nullopt}}));
}

TEST(ModbusAdu, RegisterWriteIntoTheRegisterAreaLandsUnscaled) {
    const WriteAdu write = writeMultipleRegisters(at(1200), {5, -1});
    EXPECT_EQ(write.bytes, (Bytes{0x01, 0x02, 0, 0, 0, 11, 5, 0x10, 0x04, 0xB0, 0, 2, 4, 0x00, 0x05, 0xFF, 0xFF}));
    EXPECT_EQ(write.echoLength, write.bytes.size());
    EXPECT_EQ(write.effects, (Effects{{Area::Reg, 0, 5.0}, {Area::Reg, 1, -1.0}}));
}

TEST(ModbusAdu, CoilWritePacksBitsFromTheLowEnd) {
    const WriteAdu write = writeMultipleCoils(at(1000), {true, false, true});
    EXPECT_EQ(write.bytes, (Bytes{0x01, 0x02, 0, 0, 0, 8, 5, 0x0F, 0x03, 0xE8, 0, 3, 1, 0x05}));
    EXPECT_EQ(write.echoLength, 14u);
    EXPECT_EQ(write.effects, (Effects{{Area::Din, 0, 1.0}, {Area::Din, 1, 0.0}, {Area::Din, 2, 1.0}}));
}

TEST(ModbusAdu, SingleCoilWriteSetsDoutOrForgetsARegister) {
    const WriteAdu write = writeSingleCoil(at(1100), true);
    EXPECT_EQ(write.bytes, (Bytes{0x01, 0x02, 0, 0, 0, 6, 5, 0x05, 0x04, 0x4C, 0xFF, 0x00}));
    EXPECT_EQ(write.effects, (Effects{{Area::Dout, 0, 1.0}}));
    EXPECT_EQ(writeSingleCoil(at(1201), true).effects, (Effects{{Area::Reg, 1, std::nullopt}}));
}

TEST(ModbusAdu, TimedValuesSendLittleEndianItemsAndAreEchoedByTwelveBytes) {
    const WriteAdu write =
        writeTimedValues(at(1000), {14, 4, 11, 12, 30, 0}, {{3, std::bit_cast<std::uint32_t>(2.0f)}, {0, 1}});
    ASSERT_EQ(write.bytes.size(), 28u);
    EXPECT_EQ(write.bytes[5], 22);
    EXPECT_EQ((Bytes(write.bytes.begin() + 12, write.bytes.end())),
              (Bytes{14, 4, 11, 12, 30, 0, 3, 0x00, 0x00, 0x00, 0x40, 0, 1, 0, 0, 0}));
    EXPECT_EQ(write.echoLength, 12u);
    EXPECT_EQ(write.effects, (Effects{{Area::Ain, 0, 20.0}, {Area::Din, 1, 1.0}}));
}

TEST(ModbusAdu, LongRegisterWritesAreBigEndian) {
    const WriteAdu many = writeLongRegisters(at(1200), {700});
    EXPECT_EQ((Bytes(many.bytes.begin() + 10, many.bytes.end())), (Bytes{0, 1, 4, 0x00, 0x00, 0x02, 0xBC}));
    EXPECT_EQ(many.echoLength, 17u);
    EXPECT_EQ(many.effects, (Effects{{Area::Reg, 0, 7.0}}));
    const WriteAdu one = writeLongRegister(at(1200), 7);
    EXPECT_EQ((Bytes(one.bytes.begin() + 10, one.bytes.end())), (Bytes{0x00, 0x00, 0x00, 0x07}));
    EXPECT_EQ(one.echoLength, 14u);
    EXPECT_EQ(one.effects, (Effects{{Area::Reg, 0, 7.0}}));  // the server scales the register area by 100
    EXPECT_EQ(writeLongRegister(at(1000), 70).effects, (Effects{{Area::Ain, 0, 7.0}}));
}

TEST(ModbusAdu, WritesCountTheReadingsTheServerRecords) {
    EXPECT_EQ(writeMultipleCoils(at(1000), {true, false, true}).readings, 3u);       // DIN0..2
    EXPECT_EQ(writeMultipleCoils(at(1106), {true, true, true, true}).readings, 2u);  // DOUT6, DOUT7 only
    EXPECT_EQ(writeSingleCoil(at(1201), true).readings, 0u);                         // Modbus-area coil
    EXPECT_EQ(writeSingleRegister(at(1101), 31).readings, 1u);                       // signal
    EXPECT_EQ(writeMultipleRegisters(at(1230), {1, 2, 3, 4, 5}).readings, 3u);       // MBUSREG 30..32
    EXPECT_EQ(writeLongRegisters(at(1799), {1, 2, 3}).readings, 2u);                 // daily reports 0, 1
    EXPECT_EQ(writeLongRegister(at(2000), 5).readings, 0u);
    const std::vector<TimedItem> items{{0, 1}, {3, std::bit_cast<std::uint32_t>(2.0f)}, {7, 0}};
    EXPECT_EQ(writeTimedValues(at(1000), {}, items).readings, 2u);  // a coil and a float; type 7 is ignored
}
